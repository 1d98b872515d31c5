// Small owners for Windows handles and COM pointers: each releases what it
// holds exactly once, so no code path needs its own cleanup.
#pragma once

#include <windows.h>
#include <objbase.h>

template <typename T, typename Traits>
class CScopedHandle {
public:
    CScopedHandle() = default;
    explicit CScopedHandle(T h) : m_h(h) {}
    ~CScopedHandle() { Reset(); }

    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;
    CScopedHandle(CScopedHandle&& other) noexcept : m_h(other.Detach()) {}
    CScopedHandle& operator=(CScopedHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }

    T Get() const { return m_h; }
    bool IsValid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return IsValid(); }

    T Detach()
    {
        T h = m_h;
        m_h = Traits::Invalid();
        return h;
    }

    void Reset(T h = Traits::Invalid())
    {
        if (Traits::IsValid(m_h))
            Traits::Close(m_h);
        m_h = h;
    }

private:
    T m_h = Traits::Invalid();
};

template <typename T>
struct NullInvalid {
    static T Invalid() { return nullptr; }
    static bool IsValid(T h) { return h != nullptr; }
};

struct IconTraits : NullInvalid<HICON> {
    static void Close(HICON h) { DestroyIcon(h); }
};
struct MenuTraits : NullInvalid<HMENU> {
    static void Close(HMENU h) { DestroyMenu(h); }
};
struct RegKeyTraits : NullInvalid<HKEY> {
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct KernelHandleTraits : NullInvalid<HANDLE> {
    static void Close(HANDLE h) { CloseHandle(h); }
};
// CreateFile reports failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};

using CIconHandle = CScopedHandle<HICON, IconTraits>;
using CMenuHandle = CScopedHandle<HMENU, MenuTraits>;
using CRegKeyHandle = CScopedHandle<HKEY, RegKeyTraits>;
using CKernelHandle = CScopedHandle<HANDLE, KernelHandleTraits>;
using CFileHandle = CScopedHandle<HANDLE, FileHandleTraits>;

// Owner of one COM interface pointer.
template <typename T>
class CComPtr {
public:
    CComPtr() = default;
    explicit CComPtr(T* p) : m_p(p) {}   // takes over a reference
    CComPtr(const CComPtr& other) : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CComPtr& operator=(const CComPtr& other)
    {
        if (other.m_p)
            other.m_p->AddRef();
        Release();
        m_p = other.m_p;
        return *this;
    }
    ~CComPtr() { Release(); }

    void Release()
    {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held first.
    T** operator&()
    {
        Release();
        return &m_p;
    }
    template <typename Q>
    HRESULT QueryInterface(CComPtr<Q>& out) const
    {
        if (!m_p)
            return E_POINTER;
        return m_p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(&out));
    }

private:
    T* m_p = nullptr;
};
