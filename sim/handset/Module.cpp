// The in-process server: class factory, unloading and registration. The
// control is registered in HKEY_CLASSES_ROOT, as the maker's installer
// registers it (Wine does not look at per-user class registrations).
#include "PhoneControl.h"
#include "SimHandles.h"
#include "SimIds.h"
#include "SimModule.h"
#include "VirtualHandset.h"

#include <string>

namespace {

HINSTANCE g_hModule = nullptr;

const wchar_t kClsidKey[] = L"CLSID\\{797E1292-653D-43DD-AE7E-F6606A73C647}";
const wchar_t kProgId[] = L"Callvane.UsbPhoneSim.1";
const wchar_t kClassName[] = L"USB Phone Control (Callvane stand-in)";
// OLEMISC flags a container reads before loading the control (see the
// control's GetMiscStatus).
const wchar_t kMiscStatus[] = L"131473";

std::wstring ModulePath()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(g_hModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(path, length);
}

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40] = {};
    if (StringFromGUID2(guid, text, 40) == 0)
        return std::wstring();
    return text;
}

bool SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY hKey = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr) !=
        ERROR_SUCCESS)
        return false;
    CSimRegKey owner(hKey);
    return RegSetValueExW(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

class CClassFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: its references only keep the module loaded.
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&g_cModuleRefs)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&g_cModuleRefs)); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (ppv)
            *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return CPhoneControl::Create(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&g_cModuleRefs);
        else
            InterlockedDecrement(&g_cModuleRefs);
        return S_OK;
    }
};

CClassFactory g_factory;

}  // namespace

HINSTANCE GetSimModule()
{
    return g_hModule;
}

HRESULT LoadSimTypeInfo(REFGUID guid, ITypeInfo** ppInfo)
{
    if (!ppInfo)
        return E_POINTER;
    *ppInfo = nullptr;
    std::wstring path = ModulePath();
    ITypeLib* rawLibrary = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &rawLibrary);
    if (FAILED(hr))
        return hr;
    CSimComPtr<ITypeLib> library(rawLibrary);
    return library->GetTypeInfoOfGuid(guid, ppInfo);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_hModule = hInstance;
        DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_UsbPhoneSim)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

// The virtual handset's window runs this module's code for the rest of the
// process once it exists.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_cModuleRefs == 0 && !CVirtualHandset::AnyCreated() ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    std::wstring path = ModulePath();
    if (path.empty())
        return SELFREG_E_CLASS;
    std::wstring clsid = kClsidKey;
    bool ok = SetKey(clsid, nullptr, kClassName) && SetKey(clsid + L"\\InprocServer32", nullptr, path) &&
              SetKey(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
              SetKey(clsid + L"\\ProgID", nullptr, kProgId) && SetKey(clsid + L"\\Control", nullptr, L"") &&
              SetKey(clsid + L"\\MiscStatus", nullptr, L"0") && SetKey(clsid + L"\\MiscStatus\\1", nullptr, kMiscStatus) &&
              SetKey(clsid + L"\\TypeLib", nullptr, GuidText(LIBID_UsbPhoneSim)) &&
              SetKey(clsid + L"\\Version", nullptr, L"1.0") && SetKey(kProgId, nullptr, kClassName) &&
              SetKey(std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_UsbPhoneSim));
    if (!ok)
        return SELFREG_E_CLASS;
    ITypeLib* rawLibrary = nullptr;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &rawLibrary)))
        return SELFREG_E_TYPELIB;
    CSimComPtr<ITypeLib> library(rawLibrary);
    HRESULT hr = RegisterTypeLib(library.get(), const_cast<OLECHAR*>(path.c_str()), nullptr);
    return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
#ifdef _WIN64
    UnRegisterTypeLib(LIBID_UsbPhoneSim, kSimTypeLibMajor, kSimTypeLibMinor, LOCALE_NEUTRAL, SYS_WIN64);
#else
    UnRegisterTypeLib(LIBID_UsbPhoneSim, kSimTypeLibMajor, kSimTypeLibMinor, LOCALE_NEUTRAL, SYS_WIN32);
#endif
    return S_OK;
}
