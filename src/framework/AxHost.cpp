#include "AxHost.h"

#include "ScopedHandle.h"
#include "trace/TraceLog.h"

#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

const wchar_t kAxHostClassName[] = L"CallvaneAxHost";

namespace {

const wchar_t kHostApplicationName[] = L"Callvane";
const int kHimetricPerInch = 2540;
// A class id in braces, with its terminator.
const int kGuidChars = 39;
// "major.minor" of a type library version, with its terminator.
const DWORD kVersionChars = 16;
// What the trace says when a control's events cannot arrive (class id, and
// the error of a refused connection), and when its init stream could not be
// loaded (class id, error).
const wchar_t kTraceNoEventInterface[] = L"Control %s has no event interface: none of its events will arrive";
const wchar_t kTraceNoConnection[] =
    L"Control %s refused the connection to its event interface (0x%08lX): none of its events will arrive";
const wchar_t kTraceInitNew[] = L"Control %s did not load its init stream (0x%08lX): initialised new";

// Shared IUnknown of the small COM objects below: they live on the heap,
// are reference counted, and may outlive their host window if a control
// keeps a reference; each holds only the host's handle, cleared on teardown.
// One count serves every interface an object implements.
template <typename... Bases>
class CRefCounted : public Bases... {
public:
    explicit CRefCounted(HWND hHost) : m_hHost(hHost) {}
    // Called at teardown: from then on the object has no window to offer.
    void Detach() { m_hHost = nullptr; }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG count = InterlockedDecrement(&m_cRef);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

protected:
    virtual ~CRefCounted() = default;

    HWND m_hHost;

private:
    LONG m_cRef = 1;
};

// IDispatch without type information: the host's dispatch objects are
// called by number only.
class CUntypedDispatch : public IDispatch {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override
    {
        if (ppTInfo)
            *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
};

SIZEL PixelsToHimetric(int cx, int cy)
{
    HDC hdc = GetDC(nullptr);
    int dpiX = hdc ? GetDeviceCaps(hdc, LOGPIXELSX) : 96;
    int dpiY = hdc ? GetDeviceCaps(hdc, LOGPIXELSY) : 96;
    if (hdc)
        ReleaseDC(nullptr, hdc);
    SIZEL size = {MulDiv(cx, kHimetricPerInch, dpiX ? dpiX : 96), MulDiv(cy, kHimetricPerInch, dpiY ? dpiY : 96)};
    return size;
}

// The frame a control asks for during in-place activation. It offers no
// menus, tools or status bar: the host's dialogs are never shown.
class CInPlaceFrame final : public CRefCounted<IOleInPlaceFrame> {
public:
    explicit CInPlaceFrame(HWND hFrame) : CRefCounted(hFrame) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
            riid == IID_IOleInPlaceFrame) {
            *ppv = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        if (!phwnd)
            return E_POINTER;
        *phwnd = m_hHost;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

// The control's site: client site, in-place site, control site and the
// ambient properties (the IDispatch of the site).
class CControlSite final
    : public CRefCounted<IOleClientSite, IOleInPlaceSite, IOleControlSite, CUntypedDispatch> {
public:
    explicit CControlSite(HWND hHost) : CRefCounted(hHost) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleControlSite)
            *ppv = static_cast<IOleControlSite*>(this);
        else if (riid == IID_IDispatch)
            *ppv = static_cast<IDispatch*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override
    {
        if (ppContainer)
            *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow / IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        if (!phwnd)
            return E_POINTER;
        *phwnd = m_hHost;
        return m_hHost ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return m_hHost ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override
    {
        if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect || !lpFrameInfo)
            return E_POINTER;
        *ppFrame = nullptr;
        *ppDoc = nullptr;
        if (!m_hHost)
            return E_FAIL;
        HWND hRoot = GetAncestor(m_hHost, GA_ROOT);
        *ppFrame = new CInPlaceFrame(hRoot ? hRoot : m_hHost);
        GetClientRect(m_hHost, lprcPosRect);
        *lprcClipRect = *lprcPosRect;
        // The caller sets cb; the rest is ours to fill.
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = hRoot;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** ppDisp) override
    {
        if (ppDisp)
            *ppDisp = nullptr;
        return E_NOTIMPL;
    }
    // Container coordinates are pixels.
    STDMETHODIMP TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer, DWORD dwFlags) override
    {
        if (!pPtlHimetric || !pPtfContainer)
            return E_POINTER;
        SIZEL perInch = PixelsToHimetric(1000, 1000);   // HIMETRIC of 1000 pixels
        if (dwFlags & XFORMCOORDS_HIMETRICTOCONTAINER) {
            pPtfContainer->x = static_cast<float>(pPtlHimetric->x) * 1000.0f / static_cast<float>(perInch.cx);
            pPtfContainer->y = static_cast<float>(pPtlHimetric->y) * 1000.0f / static_cast<float>(perInch.cy);
            return S_OK;
        }
        if (dwFlags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
            pPtlHimetric->x = static_cast<LONG>(pPtfContainer->x * static_cast<float>(perInch.cx) / 1000.0f);
            pPtlHimetric->y = static_cast<LONG>(pPtfContainer->y * static_cast<float>(perInch.cy) / 1000.0f);
            return S_OK;
        }
        return E_INVALIDARG;
    }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IDispatch: ambient properties. The host runs controls in user mode,
    // never in a designer.
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override
    {
        if (!(flags & DISPATCH_PROPERTYGET) || !result)
            return DISP_E_MEMBERNOTFOUND;
        VariantInit(result);
        switch (id) {
        case DISPID_AMBIENT_USERMODE:
        case DISPID_AMBIENT_AUTOCLIP:
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = VARIANT_TRUE;
            return S_OK;
        case DISPID_AMBIENT_UIDEAD:
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_SHOWHATCHING:
        case DISPID_AMBIENT_DISPLAYASDEFAULT:
        case DISPID_AMBIENT_MESSAGEREFLECT:
        case DISPID_AMBIENT_SUPPORTSMNEMONICS:
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = VARIANT_FALSE;
            return S_OK;
        case DISPID_AMBIENT_LOCALEID:
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(GetUserDefaultLCID());
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    ~CControlSite() = default;
};

// Receives the control's events on its source interface and hands each one,
// by number, to the host window's parent.
class CEventSink final : public CRefCounted<CUntypedDispatch> {
public:
    // Detached at teardown: events arriving later are dropped.
    CEventSink(HWND hHost, const IID& source) : CRefCounted(hHost), m_source(source) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_source) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override
    {
        if (result)
            VariantInit(result);
        HWND hParent = m_hHost ? GetParent(m_hHost) : nullptr;
        if (!hParent)
            return S_OK;
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        AxEvent event = {id, params ? params : &none};
        SendMessageW(hParent, WM_AXEVENT, static_cast<WPARAM>(GetDlgCtrlID(m_hHost)), reinterpret_cast<LPARAM>(&event));
        return S_OK;
    }

private:
    IID m_source;
};

// Everything one host window holds of its control.
struct HostedControl {
    bool hasClsid = false;
    CLSID clsid = {};
    std::vector<BYTE> initStream;   // creation data of the template item
    bool tearingDown = false;

    CComPtr<IOleObject> object;     // null for a control that is not an OLE object
    CComPtr<IDispatch> dispatch;
    CComPtr<IConnectionPoint> eventPoint;
    DWORD cookie = 0;
    CComPtr<CControlSite> site;
    CComPtr<CEventSink> sink;
};

HostedControl* FromWindow(HWND hWnd)
{
    // Only a host window of this process carries a HostedControl.
    if (!hWnd)
        return nullptr;
    DWORD processId = 0;
    GetWindowThreadProcessId(hWnd, &processId);
    if (processId != GetCurrentProcessId())
        return nullptr;
    wchar_t className[32] = {};
    if (!GetClassNameW(hWnd, className, ARRAYSIZE(className)) || wcscmp(className, kAxHostClassName) != 0)
        return nullptr;
    return reinterpret_cast<HostedControl*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

// Template creation data begins with a WORD giving the number of bytes that
// follow it.
void ReadCreationData(const CREATESTRUCTW& create, HostedControl& hosted)
{
    if (!create.lpCreateParams)
        return;
    const BYTE* data = static_cast<const BYTE*>(create.lpCreateParams);
    WORD size = 0;
    memcpy(&size, data, sizeof size);
    hosted.initStream.assign(data + sizeof(WORD), data + sizeof(WORD) + size);
}

// A class id as text, for the trace.
struct ClsidText {
    explicit ClsidText(REFGUID guid)
    {
        if (!StringFromGUID2(guid, text, kGuidChars))
            text[0] = L'\0';
    }
    wchar_t text[kGuidChars];
};

// Loads the control from a stream holding initStream.
HRESULT LoadStream(IPersistStreamInit* persist, const std::vector<BYTE>& initStream)
{
    CComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (FAILED(hr))
        return hr;
    ULONG written = 0;
    hr = stream->Write(initStream.data(), static_cast<ULONG>(initStream.size()), &written);
    if (FAILED(hr))
        return hr;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return persist->Load(stream.Get());
}

// Loads the init stream; without one, or when the control refuses it, the
// control is initialised new, as a container does: a control is never left
// uninitialised.
void InitialiseControl(IUnknown* control, const HostedControl& hosted)
{
    CComPtr<IPersistStreamInit> persist;
    if (FAILED(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))))
        return;
    if (!hosted.initStream.empty()) {
        HRESULT hr = LoadStream(persist.Get(), hosted.initStream);
        if (SUCCEEDED(hr))
            return;
        Trace(kTraceInitNew, ClsidText(hosted.clsid).text, static_cast<unsigned long>(hr));
    }
    persist->InitNew();
}

// A type's attributes, released with the owner.
class CTypeAttr {
public:
    explicit CTypeAttr(ITypeInfo* info) : m_info(info)
    {
        if (FAILED(info->GetTypeAttr(&m_attr)))
            m_attr = nullptr;
    }
    ~CTypeAttr()
    {
        if (m_attr)
            m_info->ReleaseTypeAttr(m_attr);
    }
    CTypeAttr(const CTypeAttr&) = delete;
    CTypeAttr& operator=(const CTypeAttr&) = delete;
    explicit operator bool() const { return m_attr != nullptr; }
    const TYPEATTR* operator->() const { return m_attr; }

private:
    ITypeInfo* m_info;
    TYPEATTR* m_attr = nullptr;
};

// The coclass's default source interface: the one it implements flagged
// default and source, and not restricted. Only a dispatch interface will do,
// since the sink answers nothing but IDispatch.
bool FindCoclassSource(ITypeInfo* coclass, IID& source)
{
    CTypeAttr classAttr(coclass);
    if (!classAttr || classAttr->typekind != TKIND_COCLASS)
        return false;
    const INT wanted = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    for (UINT i = 0; i < classAttr->cImplTypes; ++i) {
        INT flags = 0;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || (flags & (wanted | IMPLTYPEFLAG_FRESTRICTED)) != wanted)
            continue;
        HREFTYPE ref = 0;
        CComPtr<ITypeInfo> sourceInfo;
        if (FAILED(coclass->GetRefTypeOfImplType(i, &ref)) || FAILED(coclass->GetRefTypeInfo(ref, &sourceInfo)))
            return false;
        CTypeAttr sourceAttr(sourceInfo.Get());
        if (!sourceAttr || sourceAttr->typekind != TKIND_DISPATCH)
            return false;
        source = sourceAttr->guid;
        return true;
    }
    return false;
}

// The default string value of a key under HKEY_CLASSES_ROOT, cut to
// chars - 1 characters.
bool ReadClassesValue(const std::wstring& subKey, wchar_t* value, DWORD chars)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return false;
    CRegKeyHandle key(hKey);
    DWORD type = 0;
    DWORD bytes = chars * sizeof(wchar_t);
    if (RegQueryValueExW(hKey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    // A stored string need not end in a terminator.
    value[std::min<DWORD>(bytes / sizeof(wchar_t), chars - 1)] = L'\0';
    return true;
}

// A type library version as the registry writes it: "major.minor" in
// hexadecimal.
bool ParseVersion(const wchar_t* text, WORD& major, WORD& minor)
{
    unsigned textMajor = 0;
    unsigned textMinor = 0;
    if (swscanf(text, L"%x.%x", &textMajor, &textMinor) != 2 || textMajor > 0xFFFF || textMinor > 0xFFFF)
        return false;
    major = static_cast<WORD>(textMajor);
    minor = static_cast<WORD>(textMinor);
    return true;
}

// The highest version of a type library registered under
// HKCR\TypeLib\{libid}, whose keys are "major.minor" in hexadecimal.
bool HighestRegisteredVersion(const wchar_t* libid, WORD& major, WORD& minor)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"TypeLib\\") + libid).c_str(), 0, KEY_ENUMERATE_SUB_KEYS,
                      &hKey) != ERROR_SUCCESS)
        return false;
    CRegKeyHandle key(hKey);
    bool found = false;
    wchar_t name[kVersionChars];
    DWORD chars = kVersionChars;
    for (DWORD index = 0; RegEnumKeyExW(hKey, index, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
                          ERROR_NO_MORE_ITEMS;
         ++index, chars = kVersionChars) {
        WORD keyMajor = 0;
        WORD keyMinor = 0;
        if (!ParseVersion(name, keyMajor, keyMinor))
            continue;
        if (!found || keyMajor > major || (keyMajor == major && keyMinor > minor)) {
            major = keyMajor;
            minor = keyMinor;
            found = true;
        }
    }
    return found;
}

// The coclass in the type library registered for the class:
// HKCR\CLSID\{clsid}\TypeLib names the library and \Version its version
// (without one, the highest registered).
bool LoadRegisteredCoclass(const CLSID& clsid, CComPtr<ITypeInfo>& coclass)
{
    std::wstring classKey = std::wstring(L"CLSID\\") + ClsidText(clsid).text;
    wchar_t libidText[kGuidChars] = {};
    GUID libid = {};
    if (!ReadClassesValue(classKey + L"\\TypeLib", libidText, kGuidChars) || FAILED(CLSIDFromString(libidText, &libid)))
        return false;
    wchar_t version[kVersionChars] = {};
    WORD libMajor = 0;
    WORD libMinor = 0;
    if (!(ReadClassesValue(classKey + L"\\Version", version, kVersionChars) &&
          ParseVersion(version, libMajor, libMinor)) &&
        !HighestRegisteredVersion(libidText, libMajor, libMinor))
        return false;
    CComPtr<ITypeLib> library;
    if (FAILED(LoadRegTypeLib(libid, libMajor, libMinor, LOCALE_NEUTRAL, &library)))
        return false;
    return SUCCEEDED(library->GetTypeInfoOfGuid(clsid, &coclass));
}

// The control's default source interface, looked for where a standard
// container looks, each place tried when the one before gives none:
// IProvideClassInfo2; the coclass type information of IProvideClassInfo; the
// type library registered for the class.
bool FindDefaultSource(IUnknown* control, const CLSID& clsid, IID& source)
{
    CComPtr<IProvideClassInfo2> classInfo2;
    if (SUCCEEDED(control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo2))) &&
        SUCCEEDED(classInfo2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)))
        return true;
    CComPtr<IProvideClassInfo> classInfo;
    CComPtr<ITypeInfo> coclass;
    if (SUCCEEDED(control->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&classInfo))) &&
        SUCCEEDED(classInfo->GetClassInfo(&coclass)) && FindCoclassSource(coclass.Get(), source))
        return true;
    return LoadRegisteredCoclass(clsid, coclass) && FindCoclassSource(coclass.Get(), source);
}

// Finds the default source interface and connects a sink to it. A control
// without one, or that refuses the connection, still works, but none of its
// events can arrive: the trace says so.
void ConnectEvents(HWND hWnd, IUnknown* control, HostedControl& hosted)
{
    IID source = {};
    if (!FindDefaultSource(control, hosted.clsid, source)) {
        Trace(kTraceNoEventInterface, ClsidText(hosted.clsid).text);
        return;
    }
    CComPtr<IConnectionPointContainer> container;
    HRESULT hr = control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    CComPtr<IConnectionPoint> point;
    if (SUCCEEDED(hr))
        hr = container->FindConnectionPoint(source, &point);
    CComPtr<CEventSink> sink(new CEventSink(hWnd, source));
    DWORD cookie = 0;
    if (SUCCEEDED(hr))
        hr = point->Advise(static_cast<IDispatch*>(sink.Get()), &cookie);
    if (FAILED(hr)) {
        Trace(kTraceNoConnection, ClsidText(hosted.clsid).text, static_cast<unsigned long>(hr));
        return;
    }
    hosted.sink = sink;
    hosted.eventPoint = point;
    hosted.cookie = cookie;
}

// The reverse of CreateControl: no more events, out of place, closed, no
// site, released.
void DestroyControl(HostedControl& hosted)
{
    hosted.tearingDown = true;
    if (hosted.sink)
        hosted.sink->Detach();
    if (hosted.eventPoint) {
        hosted.eventPoint->Unadvise(hosted.cookie);
        hosted.eventPoint.Release();
    }
    hosted.sink.Release();
    if (hosted.object) {
        CComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(hosted.object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))))
            inPlace->InPlaceDeactivate();
        inPlace.Release();
        hosted.object->Close(OLECLOSE_NOSAVE);
        hosted.object->SetClientSite(nullptr);
    }
    if (hosted.site)
        hosted.site->Detach();
    hosted.site.Release();
    hosted.dispatch.Release();
    hosted.object.Release();
    hosted.tearingDown = false;
}

// Once per thread, kept until the thread ends: controls are created and
// released on it at any time.
bool StartOle()
{
    thread_local bool started = false;
    if (!started)
        started = SUCCEEDED(OleInitialize(nullptr));
    return started;
}

// Creates the control and sites it as an OLE container does: client site
// (before loading if the control asks for it), init stream, host names,
// event connection, extent, then in-place activation in the host window.
bool CreateControl(HWND hWnd, HostedControl& hosted)
{
    if (!hosted.hasClsid || !StartOle())
        return false;
    CComPtr<IUnknown> control;
    if (FAILED(CoCreateInstance(hosted.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&control))))
        return false;
    if (FAILED(control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&hosted.dispatch))))
        return false;
    control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&hosted.object));
    if (!hosted.object) {
        // A plain automation object: loaded and connected, nothing to site.
        InitialiseControl(control.Get(), hosted);
        ConnectEvents(hWnd, control.Get(), hosted);
        return true;
    }

    hosted.site = CComPtr<CControlSite>(new CControlSite(hWnd));
    IOleClientSite* site = static_cast<IOleClientSite*>(hosted.site.Get());
    DWORD misc = 0;
    hosted.object->GetMiscStatus(DVASPECT_CONTENT, &misc);
    bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst)
        hosted.object->SetClientSite(site);
    InitialiseControl(control.Get(), hosted);
    if (!siteFirst)
        hosted.object->SetClientSite(site);
    hosted.object->SetHostNames(kHostApplicationName, nullptr);
    ConnectEvents(hWnd, control.Get(), hosted);

    RECT client = {};
    GetClientRect(hWnd, &client);
    SIZEL extent = PixelsToHimetric(client.right - client.left, client.bottom - client.top);
    hosted.object->SetExtent(DVASPECT_CONTENT, &extent);
    hosted.object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, hWnd, &client);
    return true;
}

LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE: {
        const auto& create = *reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* hosted = new HostedControl;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(hosted));
        ReadCreationData(create, *hosted);
        hosted->hasClsid =
            create.lpszName && SUCCEEDED(CLSIDFromString(const_cast<LPWSTR>(create.lpszName), &hosted->clsid));
        // A control that is not installed leaves an empty host: the window
        // still exists, and the control can be created later.
        if (!CreateControl(hWnd, *hosted))
            DestroyControl(*hosted);
        return 0;
    }
    case WM_SIZE: {
        HostedControl* hosted = FromWindow(hWnd);
        CComPtr<IOleInPlaceObject> inPlace;
        if (hosted && hosted->object &&
            SUCCEEDED(hosted->object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
            RECT client = {0, 0, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            inPlace->SetObjectRects(&client, &client);
        }
        break;
    }
    case WM_DESTROY:
        if (HostedControl* hosted = FromWindow(hWnd))
            DestroyControl(*hosted);
        break;
    case WM_NCDESTROY:
        delete FromWindow(hWnd);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

}  // namespace

bool GetAxEventArg(const AxEvent& event, UINT index, VARTYPE vt, VARIANT& out)
{
    VariantInit(&out);
    if (!event.params || index >= event.params->cArgs || !event.params->rgvarg)
        return false;
    VARIANT& arg = event.params->rgvarg[event.params->cArgs - 1 - index];
    if (FAILED(VariantChangeType(&out, &arg, 0, vt))) {
        VariantInit(&out);
        return false;
    }
    return true;
}

bool EnableControlContainer()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kAxHostClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    return true;
}

IDispatch* GetHostedControl(HWND hHost)
{
    HostedControl* hosted = FromWindow(hHost);
    return hosted ? hosted->dispatch.Get() : nullptr;
}

IDispatch* EnsureHostedControl(HWND hHost)
{
    HostedControl* hosted = FromWindow(hHost);
    if (!hosted)
        return nullptr;
    if (!hosted->dispatch && !hosted->tearingDown && IsWindow(hHost)) {
        if (!CreateControl(hHost, *hosted))
            DestroyControl(*hosted);
    }
    return hosted->dispatch.Get();
}
