#include "PhoneControl.h"

#include "SimIds.h"
#include "SimModule.h"
#include "VirtualHandset.h"

#include <cwctype>
#include <new>
#include <string>

LONG g_cModuleRefs = 0;

namespace {

// What the control tells a container about itself: activate when visible,
// site before loading, inside-out, no linking inside, recompose on resize.
const DWORD kMiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT |
                          OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

// The init stream: two reserved DWORDs, the stream version, then the
// control's extent in HIMETRIC (cx, cy).
const ULONG kStreamBytes = 20;
const DWORD kStreamVersion = 0x00010000;

std::wstring Hex(const BYTE* data, ULONG count)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (ULONG i = 0; i < count; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0xF];
    }
    return text;
}

DWORD ReadDword(const BYTE* data)
{
    return DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
}

void WriteDword(BYTE* data, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        data[i] = BYTE(value >> (8 * i));
}

const wchar_t* VarTypeName(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY: return L"EMPTY";
    case VT_I2: return L"I2";
    case VT_I4: return L"I4";
    case VT_BOOL: return L"BOOL";
    case VT_BSTR: return L"BSTR";
    case VT_UI2: return L"UI2";
    case VT_UI4: return L"UI4";
    case VT_INT: return L"INT";
    case VT_R8: return L"R8";
    default: return L"other";
    }
}

}  // namespace

HRESULT CPhoneControl::Create(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    auto* control = new (std::nothrow) CPhoneControl;
    if (!control)
        return E_OUTOFMEMORY;
    HRESULT hr = control->QueryInterface(riid, ppv);
    control->Release();
    return hr;
}

CPhoneControl::CPhoneControl() : m_pHandset(CVirtualHandset::ForThisThread()), m_eventPoint(this)
{
    InterlockedIncrement(&g_cModuleRefs);
    ReadSwitches();
    m_pHandset->Attach(this);
    m_pHandset->OleLog(L"Create");
}

void CPhoneControl::ReadSwitches()
{
    wchar_t value[256] = {};
    DWORD length = GetEnvironmentVariableW(kControlEnvironment, value, ARRAYSIZE(value));
    if (length == 0 || length >= ARRAYSIZE(value))
        return;
    std::wstring word;
    for (DWORD i = 0; i <= length; ++i) {
        wchar_t c = i < length ? value[i] : L' ';
        if (c != L' ' && c != L',' && c != L';' && c != L'\t') {
            word += static_cast<wchar_t>(towlower(c));
            continue;
        }
        if (word == L"noclassinfo2")
            m_bNoClassInfo2 = true;
        else if (word == L"noclassinfo")
            m_bNoClassInfo = true;
        else if (word == L"loadfails")
            m_bLoadFails = true;
        else if (word == L"noconnection")
            m_bNoConnection = true;
        word.clear();
    }
}

CPhoneControl::~CPhoneControl()
{
    m_connections.clear();
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    m_pInPlaceSite.reset();
    m_pSite.reset();
    m_pHandset->OleLog(L"Destroyed");
    m_pHandset->Detach(this);
    InterlockedDecrement(&g_cModuleRefs);
}

STDMETHODIMP CPhoneControl::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_UsbPhoneSim)
        *ppv = static_cast<IDispatch*>(this);
    else if (riid == IID_IOleObject)
        *ppv = static_cast<IOleObject*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
        *ppv = static_cast<IOleInPlaceObject*>(this);
    else if (riid == IID_IOleControl)
        *ppv = static_cast<IOleControl*>(this);
    else if (riid == IID_IPersist || riid == IID_IPersistStreamInit)
        *ppv = static_cast<IPersistStreamInit*>(this);
    else if ((riid == IID_IProvideClassInfo && !m_bNoClassInfo) ||
             (riid == IID_IProvideClassInfo2 && !m_bNoClassInfo && !m_bNoClassInfo2))
        *ppv = static_cast<IProvideClassInfo2*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *ppv = static_cast<IConnectionPointContainer*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CPhoneControl::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CPhoneControl::Release()
{
    LONG count = InterlockedDecrement(&m_cRef);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

// --- IDispatch -------------------------------------------------------------

STDMETHODIMP CPhoneControl::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP CPhoneControl::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0)
        return DISP_E_BADINDEX;
    return LoadSimTypeInfo(DIID_UsbPhoneSim, ppTInfo);
}

STDMETHODIMP CPhoneControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* rawInfo = nullptr;
    HRESULT hr = LoadSimTypeInfo(DIID_UsbPhoneSim, &rawInfo);
    if (FAILED(hr))
        return hr;
    CSimComPtr<ITypeInfo> info(rawInfo);
    return info->GetIDsOfNames(names, count, ids);
}

// Checks the call against the method table exactly: the number of
// arguments and each argument's type must be the declared ones. A call that
// does not fit is journalled as refused and has no effect.
STDMETHODIMP CPhoneControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT* argErr)
{
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    const SimMethodSpec* spec = FindSimMethod(id);
    if (!spec || !(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (!params)
        return E_INVALIDARG;
    if (params->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    if (params->cArgs != spec->argCount) {
        m_pHandset->JournalRefused(*spec, L"expects " + std::to_wstring(spec->argCount) + L" argument(s), got " +
                                              std::to_wstring(params->cArgs));
        return DISP_E_BADPARAMCOUNT;
    }
    VARIANT args[2];
    for (UINT i = 0; i < spec->argCount; ++i) {
        // Arguments arrive last first.
        UINT slot = params->cArgs - 1 - i;
        const VARIANT& arg = params->rgvarg[slot];
        if (V_VT(&arg) != spec->argTypes[i]) {
            m_pHandset->JournalRefused(*spec, L"argument " + std::to_wstring(i + 1) + L" is " +
                                                  VarTypeName(V_VT(&arg)) + L", not " +
                                                  VarTypeName(spec->argTypes[i]));
            if (argErr)
                *argErr = slot;
            return DISP_E_TYPEMISMATCH;
        }
        args[i] = arg;   // borrowed, not copied
    }
    VARIANT value;
    VariantInit(&value);
    m_pHandset->CallMethod(*this, *spec, args, &value);
    if (result)
        *result = value;
    else
        VariantClear(&value);
    return S_OK;
}

// --- IOleObject ------------------------------------------------------------

STDMETHODIMP CPhoneControl::SetClientSite(IOleClientSite* pClientSite)
{
    if (pClientSite)
        pClientSite->AddRef();
    m_pSite.reset(pClientSite);
    if (!pClientSite) {
        m_pHandset->OleLog(L"SetClientSite(null)");
        return S_OK;
    }
    // A control asks its container whether it runs in user mode.
    std::wstring userMode = L"?";
    IDispatch* rawAmbient = nullptr;
    if (SUCCEEDED(pClientSite->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&rawAmbient)))) {
        CSimComPtr<IDispatch> ambient(rawAmbient);
        DISPPARAMS none = {};
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                      &none, &value, nullptr, nullptr)) &&
            V_VT(&value) == VT_BOOL)
            userMode = V_BOOL(&value) ? L"1" : L"0";
        VariantClear(&value);
    }
    m_pHandset->OleLog(L"SetClientSite(site,usermode=" + userMode + L")");
    return S_OK;
}

STDMETHODIMP CPhoneControl::GetClientSite(IOleClientSite** ppClientSite)
{
    if (!ppClientSite)
        return E_POINTER;
    *ppClientSite = m_pSite.get();
    if (m_pSite)
        m_pSite->AddRef();
    return S_OK;
}

STDMETHODIMP CPhoneControl::SetHostNames(LPCOLESTR app, LPCOLESTR)
{
    m_pHandset->OleLog(std::wstring(L"SetHostNames(") + (app ? app : L"") + L")");
    return S_OK;
}

STDMETHODIMP CPhoneControl::Close(DWORD)
{
    InPlaceDeactivate();
    m_pHandset->OleLog(L"Close");
    return S_OK;
}

STDMETHODIMP CPhoneControl::DoVerb(LONG iVerb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT)
{
    m_pHandset->OleLog(L"DoVerb(" + std::to_wstring(iVerb) + L")");
    switch (iVerb) {
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_SHOW:
    case OLEIVERB_PRIMARY:
        return ActivateInPlace(activeSite ? activeSite : m_pSite.get());
    case OLEIVERB_HIDE:
        if (m_hWnd)
            ShowWindow(m_hWnd, SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

// In-place activation as a container expects it: ask the site, tell it, get
// the parent window and the position from it, then create the window there.
HRESULT CPhoneControl::ActivateInPlace(IOleClientSite* site)
{
    if (m_hWnd)
        return S_OK;
    if (!site)
        return E_UNEXPECTED;
    IOleInPlaceSite* rawSite = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&rawSite))))
        return E_NOINTERFACE;
    CSimComPtr<IOleInPlaceSite> inPlaceSite(rawSite);
    if (inPlaceSite->CanInPlaceActivate() != S_OK)
        return E_FAIL;
    inPlaceSite->OnInPlaceActivate();
    HWND hParent = nullptr;
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT pos = {};
    RECT clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof frameInfo;
    bool placed = SUCCEEDED(inPlaceSite->GetWindow(&hParent)) &&
                  SUCCEEDED(inPlaceSite->GetWindowContext(&frame, &document, &pos, &clip, &frameInfo));
    // Not needed by a control without menus or tools.
    CSimComPtr<IOleInPlaceFrame> frameOwner(frame);
    CSimComPtr<IOleInPlaceUIWindow> documentOwner(document);
    if (!placed || !hParent) {
        inPlaceSite->OnInPlaceDeactivate();
        return E_FAIL;
    }
    m_hWnd = CreateWindowExW(0, L"STATIC", L"USB Phone", WS_CHILD | WS_VISIBLE | SS_CENTER, pos.left, pos.top,
                             pos.right - pos.left, pos.bottom - pos.top, hParent, nullptr, GetSimModule(), nullptr);
    if (!m_hWnd) {
        inPlaceSite->OnInPlaceDeactivate();
        return E_FAIL;
    }
    m_pInPlaceSite = std::move(inPlaceSite);
    m_pHandset->OleLog(L"InPlaceActive(parent=" + std::to_wstring(GetDlgCtrlID(hParent)) + L")");
    return S_OK;
}

STDMETHODIMP CPhoneControl::GetUserClassID(CLSID* pClsid)
{
    return GetClassID(pClsid);
}

STDMETHODIMP CPhoneControl::SetExtent(DWORD dwDrawAspect, SIZEL* psizel)
{
    if (dwDrawAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!psizel)
        return E_POINTER;
    m_extent = *psizel;
    m_pHandset->OleLog(L"SetExtent(" + std::to_wstring(psizel->cx) + L"x" + std::to_wstring(psizel->cy) + L")");
    return S_OK;
}

STDMETHODIMP CPhoneControl::GetExtent(DWORD dwDrawAspect, SIZEL* psizel)
{
    if (dwDrawAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!psizel)
        return E_POINTER;
    *psizel = m_extent;
    return S_OK;
}

STDMETHODIMP CPhoneControl::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus)
{
    if (!pdwStatus)
        return E_POINTER;
    *pdwStatus = dwAspect == DVASPECT_CONTENT ? kMiscStatus : 0;
    m_pHandset->OleLog(L"GetMiscStatus");
    return S_OK;
}

// --- IOleInPlaceObject -----------------------------------------------------

STDMETHODIMP CPhoneControl::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP CPhoneControl::InPlaceDeactivate()
{
    if (!m_hWnd)
        return S_OK;
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    if (m_pInPlaceSite) {
        m_pInPlaceSite->OnInPlaceDeactivate();
        m_pInPlaceSite.reset();
    }
    m_pHandset->OleLog(L"InPlaceDeactivate");
    return S_OK;
}

STDMETHODIMP CPhoneControl::SetObjectRects(LPCRECT posRect, LPCRECT)
{
    if (!posRect)
        return E_POINTER;
    if (m_hWnd)
        MoveWindow(m_hWnd, posRect->left, posRect->top, posRect->right - posRect->left,
                   posRect->bottom - posRect->top, TRUE);
    return S_OK;
}

// --- IOleControl -----------------------------------------------------------

STDMETHODIMP CPhoneControl::GetControlInfo(CONTROLINFO* pCI)
{
    if (!pCI || pCI->cb < sizeof(CONTROLINFO))
        return E_INVALIDARG;
    pCI->hAccel = nullptr;
    pCI->cAccel = 0;
    pCI->dwFlags = 0;
    return S_OK;
}

// Frozen events are dropped, as the container asked not to receive them.
STDMETHODIMP CPhoneControl::FreezeEvents(BOOL bFreeze)
{
    if (bFreeze)
        ++m_nFreeze;
    else if (m_nFreeze > 0)
        --m_nFreeze;
    m_pHandset->OleLog(L"FreezeEvents(" + std::to_wstring(bFreeze ? 1 : 0) + L")");
    return S_OK;
}

// --- IPersistStreamInit ----------------------------------------------------

STDMETHODIMP CPhoneControl::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_UsbPhoneSim;
    return S_OK;
}

STDMETHODIMP CPhoneControl::Load(LPSTREAM pStm)
{
    if (!pStm)
        return E_POINTER;
    BYTE data[kStreamBytes] = {};
    ULONG total = 0;
    while (total < kStreamBytes) {
        ULONG got = 0;
        HRESULT hr = pStm->Read(data + total, kStreamBytes - total, &got);
        if (FAILED(hr) || got == 0)
            break;
        total += got;
    }
    if (m_bLoadFails || total < kStreamBytes || ReadDword(data + 8) != kStreamVersion) {
        m_pHandset->OleLog(L"Load(" + Hex(data, total) + L") refused");
        return STG_E_READFAULT;
    }
    m_extent.cx = static_cast<LONG>(ReadDword(data + 12));
    m_extent.cy = static_cast<LONG>(ReadDword(data + 16));
    m_pHandset->OleLog(L"Load(" + Hex(data, total) + L")");
    return S_OK;
}

STDMETHODIMP CPhoneControl::Save(LPSTREAM pStm, BOOL)
{
    if (!pStm)
        return E_POINTER;
    BYTE data[kStreamBytes] = {};
    WriteDword(data + 8, kStreamVersion);
    WriteDword(data + 12, static_cast<DWORD>(m_extent.cx));
    WriteDword(data + 16, static_cast<DWORD>(m_extent.cy));
    ULONG written = 0;
    HRESULT hr = pStm->Write(data, kStreamBytes, &written);
    return FAILED(hr) ? hr : (written == kStreamBytes ? S_OK : STG_E_WRITEFAULT);
}

STDMETHODIMP CPhoneControl::GetSizeMax(ULARGE_INTEGER* pCbSize)
{
    if (!pCbSize)
        return E_POINTER;
    pCbSize->QuadPart = kStreamBytes;
    return S_OK;
}

STDMETHODIMP CPhoneControl::InitNew()
{
    m_pHandset->OleLog(L"InitNew");
    return S_OK;
}

// --- IProvideClassInfo2 ----------------------------------------------------

STDMETHODIMP CPhoneControl::GetClassInfo(ITypeInfo** ppTI)
{
    if (!ppTI)
        return E_POINTER;
    *ppTI = nullptr;
    m_pHandset->OleLog(L"GetClassInfo");
    return LoadSimTypeInfo(CLSID_UsbPhoneSim, ppTI);
}

STDMETHODIMP CPhoneControl::GetGUID(DWORD dwGuidKind, GUID* pGUID)
{
    if (!pGUID)
        return E_POINTER;
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID)
        return E_INVALIDARG;
    *pGUID = DIID_UsbPhoneSimEvents;
    m_pHandset->OleLog(L"GetGUID(source)");
    return S_OK;
}

// --- Connection point ------------------------------------------------------

STDMETHODIMP CPhoneControl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID_UsbPhoneSimEvents || m_bNoConnection)
        return CONNECT_E_NOCONNECTION;
    *ppCP = &m_eventPoint;
    m_eventPoint.AddRef();
    m_pHandset->OleLog(L"FindConnectionPoint(events)");
    return S_OK;
}

STDMETHODIMP CPhoneControl::CEventPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CPhoneControl::CEventPoint::GetConnectionInterface(IID* pIID)
{
    if (!pIID)
        return E_POINTER;
    *pIID = DIID_UsbPhoneSimEvents;
    return S_OK;
}

STDMETHODIMP CPhoneControl::CEventPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC)
{
    if (!ppCPC)
        return E_POINTER;
    *ppCPC = static_cast<IConnectionPointContainer*>(m_pOwner);
    m_pOwner->AddRef();
    return S_OK;
}

STDMETHODIMP CPhoneControl::CEventPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    if (!pUnkSink || !pdwCookie)
        return E_POINTER;
    *pdwCookie = 0;
    IDispatch* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(DIID_UsbPhoneSimEvents, reinterpret_cast<void**>(&sink))) &&
        FAILED(pUnkSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink))))
        return CONNECT_E_CANNOTCONNECT;
    DWORD cookie = m_pOwner->m_nextCookie++;
    m_pOwner->m_connections.push_back({cookie, CSimComPtr<IDispatch>(sink)});
    *pdwCookie = cookie;
    m_pOwner->m_pHandset->OleLog(L"Advise(" + std::to_wstring(cookie) + L")");
    return S_OK;
}

STDMETHODIMP CPhoneControl::CEventPoint::Unadvise(DWORD dwCookie)
{
    auto& connections = m_pOwner->m_connections;
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        if (it->cookie != dwCookie)
            continue;
        // Released after it has left the list: its release may call back.
        CSimComPtr<IDispatch> sink = std::move(it->sink);
        connections.erase(it);
        sink.reset();
        m_pOwner->m_pHandset->OleLog(L"Unadvise(" + std::to_wstring(dwCookie) + L")");
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

int CPhoneControl::FireEvent(DISPID id, VARIANT* args, UINT count)
{
    if (m_nFreeze > 0 || count > 4)
        return 0;
    // DISPPARAMS carry the arguments last first.
    VARIANT reversed[4];
    for (UINT i = 0; i < count; ++i)
        reversed[count - 1 - i] = args[i];
    DISPPARAMS params = {count ? reversed : nullptr, nullptr, count, 0};
    // A sink may unadvise, or release the container, while it handles the
    // event: work on referenced copies.
    std::vector<CSimComPtr<IDispatch>> sinks;
    for (const Connection& connection : m_connections) {
        connection.sink->AddRef();
        sinks.emplace_back(connection.sink.get());
    }
    AddRef();
    CSimComPtr<IUnknown> self(static_cast<IDispatch*>(this));
    for (const CSimComPtr<IDispatch>& sink : sinks)
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    return static_cast<int>(sinks.size());
}
