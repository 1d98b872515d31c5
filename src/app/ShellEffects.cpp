#include "ShellEffects.h"

#include <windows.h>
#include <shellapi.h>

namespace {
class CSystemShell : public IShellEffects {
public:
    bool Open(const wchar_t* target) override
    {
        // Above 32 means the shell started something for it.
        return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
    }
    bool CopyNew(const wchar_t* source, const wchar_t* destination) override
    {
        return CopyFileW(source, destination, TRUE) != FALSE;
    }
    bool Remove(const wchar_t* path) override { return DeleteFileW(path) != FALSE; }
};
}  // namespace

IShellEffects& SystemShell()
{
    static CSystemShell shell;
    return shell;
}
