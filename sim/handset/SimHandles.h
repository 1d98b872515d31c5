// Owners for the handles and COM references the stand-in holds, so that
// each is released exactly once. (The stand-in is its own component and does
// not use the program's framework.)
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <memory>
#include <type_traits>

struct ComReleaser {
    void operator()(IUnknown* p) const { p->Release(); }
};
// Owns one reference.
template <typename T>
using CSimComPtr = std::unique_ptr<T, ComReleaser>;

template <typename H>
struct GdiDeleter {
    void operator()(H h) const { DeleteObject(h); }
};
template <typename H>
using CSimGdiObject = std::unique_ptr<std::remove_pointer_t<H>, GdiDeleter<H>>;

struct RegKeyCloser {
    void operator()(HKEY h) const { RegCloseKey(h); }
};
using CSimRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyCloser>;
