// CPhoneControl: the stand-in for the maker's handset control, one COM object
// per container site. It offers the control's dispatch interface and the OLE
// control interfaces a container uses to site, load, activate and connect to
// it, and forwards every method call to the thread's virtual handset, which
// holds the device state and fires the events back through the controls that
// have the device open.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <vector>

#include "SimHandles.h"

class CVirtualHandset;

class CPhoneControl final : public IDispatch,
                      public IOleObject,
                      public IOleInPlaceObject,
                      public IOleControl,
                      public IPersistStreamInit,
                      public IProvideClassInfo2,
                      public IConnectionPointContainer {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch: the control's methods, by dispatch number.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepInfo, UINT* argErr) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG msg, IOleClientSite* activeSite, LONG lindex, HWND hwndParent,
                        LPCRECT posRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return OLE_S_USEREG; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP Unadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow / IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

    // IPersist / IPersistStreamInit: the container's init stream.
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM pStm) override;
    STDMETHODIMP Save(LPSTREAM pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pCbSize) override;
    STDMETHODIMP InitNew() override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // Called by the virtual handset.
    bool IsOpen() const { return m_bOpen; }
    void SetOpen(bool open) { m_bOpen = open; }
    // Calls every connected sink's Invoke with the event on this thread.
    // Returns how many sinks received it (none while events are frozen).
    int FireEvent(DISPID id, VARIANT* args, UINT count);

private:
    // The one connection point: the event interface.
    class CEventPoint : public IConnectionPoint {
    public:
        explicit CEventPoint(CPhoneControl* owner) : m_pOwner(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override { return m_pOwner->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_pOwner->Release(); }
        STDMETHODIMP GetConnectionInterface(IID* pIID) override;
        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
        STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
        STDMETHODIMP Unadvise(DWORD dwCookie) override;
        STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    private:
        CPhoneControl* m_pOwner;
    };

    struct Connection {
        DWORD cookie;
        CSimComPtr<IDispatch> sink;
    };

    CPhoneControl();
    ~CPhoneControl();
    CPhoneControl(const CPhoneControl&) = delete;
    CPhoneControl& operator=(const CPhoneControl&) = delete;

    void ReadSwitches();
    HRESULT ActivateInPlace(IOleClientSite* site);
    void Log(const wchar_t* format, ...);

    LONG m_cRef = 1;
    CVirtualHandset* m_pHandset;          // the thread's handset; outlives every control
    CSimComPtr<IOleClientSite> m_pSite;
    CSimComPtr<IOleInPlaceSite> m_pInPlaceSite;   // while in place
    HWND m_hWnd = nullptr;                // in-place window, a child of the container's
    SIZEL m_extent = {2381, 1085};        // HIMETRIC
    bool m_bOpen = false;
    LONG m_nFreeze = 0;
    // Switches of kControlEnvironment, read at creation.
    bool m_bNoClassInfo2 = false;
    bool m_bNoClassInfo = false;
    bool m_bLoadFails = false;
    bool m_bNoConnection = false;
    DWORD m_nextCookie = 1;
    std::vector<Connection> m_connections;
    CEventPoint m_eventPoint;
};

// Objects and locks alive in this module, for DllCanUnloadNow.
extern LONG g_cModuleRefs;
