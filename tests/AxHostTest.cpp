// Hosting an ActiveX control in a dialog item: the container's calls in the
// order an OLE container makes them and their reverse at teardown, the init
// stream from the template's creation data, events by number to the item's
// parent, and a control that is not installed.
#include <gtest/gtest.h>

#include "PhoneFixture.h"
#include "SimIds.h"
#include "TestSupport.h"
#include "app/AppIds.h"
#include "framework/AxHost.h"
#include "framework/ScopedHandle.h"
#include "phone/PhoneIds.h"
#include "res/resource.h"
#include "tools/DebugOutputReader.h"

#include <algorithm>
#include <regex>

namespace {

// What template 129 carries for item 1000.
const char kTemplateStreamHex[] = "0000000000000000000001004D0900003D040000";
const DWORD kStartTimeoutMs = 15000;

// A dialog template built in memory: a popup with host items of the given
// ids, control class texts and creation data.
class CTemplateBuilder {
public:
    struct Item {
        WORD id;
        std::wstring text;
        std::vector<BYTE> creationData;
    };

    explicit CTemplateBuilder(const std::vector<Item>& items)
    {
        Align();
        Word(1);        // dlgVer
        Word(0xFFFF);   // signature
        Dword(0);       // helpID
        Dword(0);       // exStyle
        Dword(WS_POPUP | WS_CAPTION);
        Word(static_cast<WORD>(items.size()));
        Word(0), Word(0), Word(200), Word(100);
        Word(0);        // no menu
        Word(0);        // default class
        Text(L"AxHost test");
        for (const Item& item : items) {
            Align();
            Dword(0);   // helpID
            Dword(0);   // exStyle
            Dword(WS_CHILD | WS_VISIBLE);
            Word(10), Word(10), Word(60), Word(25);
            Dword(item.id);
            Text(kAxHostClassName);
            Text(item.text.c_str());
            Word(static_cast<WORD>(item.creationData.size()));
            m_bytes.insert(m_bytes.end(), item.creationData.begin(), item.creationData.end());
        }
    }
    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(m_bytes.data()); }

private:
    void Align()
    {
        while (m_bytes.size() % 4)
            m_bytes.push_back(0);
    }
    void Word(WORD value)
    {
        m_bytes.push_back(static_cast<BYTE>(value));
        m_bytes.push_back(static_cast<BYTE>(value >> 8));
    }
    void Dword(DWORD value)
    {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const wchar_t* text)
    {
        for (; *text; ++text)
            Word(*text);
        Word(0);
    }
    std::vector<BYTE> m_bytes;
};

// What the test dialog's procedure saw of WM_AXEVENT.
struct SeenEvent {
    WPARAM item;
    DISPID dispid;
    UINT args;
    LONG firstArg;   // as I4, or -1 when it did not convert
};
std::vector<SeenEvent> g_seenEvents;

INT_PTR CALLBACK RecordingDialogProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg != WM_AXEVENT)
        return FALSE;
    const auto& event = *reinterpret_cast<const AxEvent*>(lParam);
    VARIANT arg;
    LONG first = GetAxEventArg(event, 0, VT_I4, arg) ? V_I4(&arg) : -1;
    VariantClear(&arg);
    g_seenEvents.push_back({wParam, event.dispid, event.params->cArgs, first});
    return TRUE;
}

// A modeless dialog from a built template, destroyed with the object.
class CTestDialog {
public:
    explicit CTestDialog(const std::vector<CTemplateBuilder::Item>& items) : m_template(items)
    {
        m_hWnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), m_template.Template(), nullptr,
                                            RecordingDialogProc, 0);
    }
    ~CTestDialog() { Destroy(); }
    void Destroy()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

    CTemplateBuilder m_template;
    HWND m_hWnd = nullptr;
};

std::wstring Repeat(const wchar_t* text, int times)
{
    std::wstring repeated;
    for (int i = 0; i < times; ++i)
        repeated += text;
    return repeated;
}

std::vector<BYTE> HexBytes(const char* hex)
{
    std::vector<BYTE> bytes;
    for (; hex[0] && hex[1]; hex += 2)
        bytes.push_back(static_cast<BYTE>(std::stoi(std::string(hex, 2), nullptr, 16)));
    return bytes;
}

// Index of line in lines from position from on, or -1.
int IndexOf(const std::vector<std::wstring>& lines, const std::wstring& line, size_t from = 0)
{
    auto it = std::find(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end(), line);
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
}

// A class object that answers every creation with "class not registered",
// registered in this process for the maker's class while it lives, and
// counting the attempts.
class CNotRegisteredClass : public IClassFactory {
public:
    CNotRegisteredClass()
    {
        m_hr = CoRegisterClassObject(CLSID_UsbPhoneSim, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
    }
    ~CNotRegisteredClass() { Revoke(); }
    void Revoke()
    {
        if (SUCCEEDED(m_hr) && m_cookie)
            CoRevokeClassObject(m_cookie);
        m_cookie = 0;
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) override
    {
        *ppv = nullptr;
        ++m_attempts;
        return REGDB_E_CLASSNOTREG;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    HRESULT m_hr;
    DWORD m_cookie = 0;
    int m_attempts = 0;
};

// Sets an environment variable of this process for the object's life.
class CEnvironmentOverride {
public:
    CEnvironmentOverride(const wchar_t* name, const wchar_t* value) : m_name(name)
    {
        wchar_t old[512] = {};
        DWORD length = GetEnvironmentVariableW(name, old, ARRAYSIZE(old));
        m_hadValue = length > 0 && length < ARRAYSIZE(old);
        m_old = old;
        SetEnvironmentVariableW(name, value);
    }
    ~CEnvironmentOverride() { Restore(); }
    void Restore() { SetEnvironmentVariableW(m_name.c_str(), m_hadValue ? m_old.c_str() : nullptr); }

private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_hadValue = false;
};

bool VisibleDialogOfThisProcess()
{
    HWND hWnd = nullptr;
    while ((hWnd = FindWindowExW(nullptr, hWnd, L"#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hWnd, &owner);
        if (owner == GetCurrentProcessId() && IsWindowVisible(hWnd))
            return true;
    }
    return false;
}

}  // namespace

using AxHostFixture = PhoneFixture;

TEST_F(AxHostFixture, SitesLoadsConnectsAndActivatesLikeAContainerThenTearsDownInReverse)
{
    CDeviceDialog dlg(nullptr);
    ASSERT_TRUE(dlg.Create(IDD_DEVICE_DIALOG, nullptr));
    HWND hItem = GetDlgItem(dlg.m_hWnd, IDC_USBPHONE);
    ASSERT_NE(hItem, nullptr);
    EXPECT_NE(GetHostedControl(hItem), nullptr);
    // The control's own window sits in the item, as large as the item.
    HWND hControlWnd = FindWindowExW(hItem, nullptr, L"Static", L"USB Phone");
    ASSERT_NE(hControlWnd, nullptr);
    RECT item = {};
    RECT control = {};
    GetClientRect(hItem, &item);
    GetClientRect(hControlWnd, &control);
    EXPECT_EQ(control.right, item.right);
    EXPECT_EQ(control.bottom, item.bottom);

    HDC hdc = GetDC(nullptr);
    std::wstring extent = L"SetExtent(" + std::to_wstring(MulDiv(item.right, 2540, GetDeviceCaps(hdc, LOGPIXELSX))) +
                          L"x" + std::to_wstring(MulDiv(item.bottom, 2540, GetDeviceCaps(hdc, LOGPIXELSY))) + L")";
    ReleaseDC(nullptr, hdc);
    std::wstring load = L"Load(";
    for (const char* c = kTemplateStreamHex; *c; ++c)
        load += static_cast<wchar_t>(*c);
    load += L")";
    std::vector<std::wstring> created = {
        L"Create",           L"GetMiscStatus", L"SetClientSite(site,usermode=1)", load, L"SetHostNames(Callvane)",
        L"GetGUID(source)", L"FindConnectionPoint(events)", L"Advise(1)", extent, L"DoVerb(-5)",
        L"InPlaceActive(parent=1000)",
    };
    EXPECT_EQ(OleLog(), created);

    ClearRecords();
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(hControlWnd));
    std::vector<std::wstring> destroyed = {L"Unadvise(1)", L"InPlaceDeactivate", L"Close", L"SetClientSite(null)",
                                           L"Destroyed"};
    EXPECT_EQ(OleLog(), destroyed);
    // No handset was open: nothing to close.
    EXPECT_TRUE(Journal().empty());
}

TEST_F(AxHostFixture, TheTemplatesCreationDataIsTheInitStreamWhateverItsSize)
{
    struct Case {
        std::vector<BYTE> data;
        std::wstring loaded;
    } cases[] = {
        {HexBytes(kTemplateStreamHex), L"Load(0000000000000000000001004D0900003D040000)"},
        {{}, L"InitNew"},
        {{1, 2, 3}, L"Load(010203) refused"},
        {std::vector<BYTE>(300, 0xAB), L"Load(" + Repeat(L"AB", 20) + L") refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.loaded));
        ClearRecords();
        CTestDialog dlg({{IDC_USBPHONE, kMakersClsid, c.data}});
        ASSERT_NE(dlg.m_hWnd, nullptr);
        std::vector<std::wstring> log = OleLog();
        EXPECT_NE(IndexOf(log, c.loaded), -1) << testing::PrintToString(log);
        // Loaded or not, the control is sited, connected and in place.
        EXPECT_NE(IndexOf(log, L"InPlaceActive(parent=1000)"), -1);
        EXPECT_NE(GetHostedControl(dlg.Item(IDC_USBPHONE)), nullptr);
    }
}

TEST_F(AxHostFixture, EventsReachTheItemsParentByNumberWithTheirArgumentsUntilTeardown)
{
    CTestDialog dlg({{1000, kMakersClsid, {}}, {1001, kMakersClsid, {}}});
    ASSERT_NE(dlg.m_hWnd, nullptr);
    HandsetOk(L"plug");
    for (int id : {1000, 1001}) {
        IDispatch* control = GetHostedControl(dlg.Item(id));
        ASSERT_NE(control, nullptr);
        VARIANT arg;
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = 0;
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        ASSERT_HRESULT_SUCCEEDED(
            control->Invoke(kDispOpenDevice, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    }
    g_seenEvents.clear();
    EXPECT_EQ(HandsetOk(L"key 5"), L"ok delivered=2");
    EXPECT_EQ(HandsetOk(L"hook off"), L"ok delivered=2");
    EXPECT_EQ(HandsetOk(L"fire 9 i4:70000 bstr:x"), L"ok delivered=2");
    ASSERT_EQ(g_seenEvents.size(), 6u);
    const SeenEvent expected[] = {{1000, 2, 1, '5'}, {1001, 2, 1, '5'}, {1000, 4, 1, 0},
                                  {1001, 4, 1, 0},   {1000, 9, 2, 70000}, {1001, 9, 2, 70000}};
    for (size_t i = 0; i < ARRAYSIZE(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g_seenEvents[i].item, expected[i].item);
        EXPECT_EQ(g_seenEvents[i].dispid, expected[i].dispid);
        EXPECT_EQ(g_seenEvents[i].args, expected[i].args);
        EXPECT_EQ(g_seenEvents[i].firstArg, expected[i].firstArg);
    }

    dlg.Destroy();
    g_seenEvents.clear();
    EXPECT_EQ(HandsetOk(L"key 5"), L"ok delivered=0");
    EXPECT_TRUE(g_seenEvents.empty());
}

TEST(AxHost, EventArgumentsAreReadInDeclarationOrderAndConvertedOrRefused)
{
    VARIANT lastFirst[3];
    V_VT(&lastFirst[0]) = VT_BSTR;
    V_BSTR(&lastFirst[0]) = SysAllocString(L"abc");
    V_VT(&lastFirst[1]) = VT_I4;
    V_I4(&lastFirst[1]) = 70000;
    V_VT(&lastFirst[2]) = VT_BOOL;
    V_BOOL(&lastFirst[2]) = VARIANT_TRUE;
    DISPPARAMS params = {lastFirst, nullptr, 3, 0};
    AxEvent event = {4, &params};
    VARIANT out;
    ASSERT_TRUE(GetAxEventArg(event, 0, VT_BOOL, out));
    EXPECT_EQ(V_BOOL(&out), VARIANT_TRUE);
    ASSERT_TRUE(GetAxEventArg(event, 1, VT_I4, out));
    EXPECT_EQ(V_I4(&out), 70000);
    EXPECT_FALSE(GetAxEventArg(event, 1, VT_I2, out));   // does not fit 16 bits
    EXPECT_EQ(V_VT(&out), VT_EMPTY);
    EXPECT_FALSE(GetAxEventArg(event, 2, VT_I2, out));   // not a number
    EXPECT_FALSE(GetAxEventArg(event, 3, VT_I2, out));   // no such argument
    ASSERT_TRUE(GetAxEventArg(event, 2, VT_BSTR, out));
    EXPECT_STREQ(V_BSTR(&out), L"abc");
    VariantClear(&out);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    AxEvent bare = {1, &none};
    EXPECT_FALSE(GetAxEventArg(bare, 0, VT_I2, out));
    AxEvent missing = {1, nullptr};
    EXPECT_FALSE(GetAxEventArg(missing, 0, VT_I2, out));
    VariantClear(&lastFirst[0]);
}

TEST(AxHost, AControlThatIsNotInstalledLeavesAnEmptyHostAndNothingElseHostsOne)
{
    const wchar_t* names[] = {L"{0B4E6A8D-0000-4000-8000-00000000C0DE}", L"not a class id", L""};
    for (const wchar_t* name : names) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        CTestDialog dlg({{IDC_USBPHONE, name, HexBytes(kTemplateStreamHex)}});
        ASSERT_NE(dlg.m_hWnd, nullptr);
        HWND hItem = dlg.Item(IDC_USBPHONE);
        ASSERT_NE(hItem, nullptr);
        EXPECT_EQ(GetHostedControl(hItem), nullptr);
        EXPECT_EQ(EnsureHostedControl(hItem), nullptr);
        EXPECT_EQ(GetWindow(hItem, GW_CHILD), nullptr);
    }
    // Windows that are not host windows of this process host nothing.
    HWND hButton = CreateWindowExW(0, L"Button", L"x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(hButton, GWLP_USERDATA, 0x1234);
    EXPECT_EQ(GetHostedControl(hButton), nullptr);
    EXPECT_EQ(EnsureHostedControl(hButton), nullptr);
    DestroyWindow(hButton);
    EXPECT_EQ(GetHostedControl(nullptr), nullptr);
    EXPECT_EQ(GetHostedControl(GetDesktopWindow()), nullptr);
}

// The maker's control not installed: the program runs on without a handset,
// says so in the tray, shows nothing, and keeps trying every 2 s; once the
// control can be created, the handset is found.
TEST(AxHost, UnregisteredControlMeansNoHandsetAndDetectionKeepsTryingUntilItIsThere)
{
    CEnvironmentOverride plugged(kHandsetEnvironment, L"plugged model=0x0100");
    CNotRegisteredClass notRegistered;
    ASSERT_HRESULT_SUCCEEDED(notRegistered.m_hr);
    // A handset of this process from an earlier test takes the new defaults.
    CHandsetChannel channel;
    std::wstring reply;
    for (HWND hHandset : CHandsetChannel::FindHandsets(GetCurrentProcessId()))
        channel.Send(hHandset, L"reset", reply);

    // Timed from before the first attempt: a creation slowed by load must not
    // eat into the gap between attempts.
    DWORD start = GetTickCount();
    auto dlg = std::make_unique<CCallvaneDlg>(nullptr);
    ASSERT_TRUE(dlg->Create(IDD_CALLVANE_DIALOG));
    HWND hItem = GetDlgItem(dlg->m_pDeviceDlg->m_hWnd, IDC_USBPHONE);
    ASSERT_NE(hItem, nullptr);
    EXPECT_EQ(GetHostedControl(hItem), nullptr);
    EXPECT_EQ(notRegistered.m_attempts, 1);

    EXPECT_TRUE(WaitFor([&] { return notRegistered.m_attempts >= 3; }, 6000));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 3500u);   // two attempts, 2 s apart
    EXPECT_FALSE(dlg->m_pDeviceDlg->IsDevicePresent());
    EXPECT_STREQ(dlg->m_trayIcon.Data().szTip, kTipNoHandset);
    EXPECT_FALSE(VisibleDialogOfThisProcess());

    notRegistered.Revoke();
    EXPECT_TRUE(WaitFor([&] { return dlg->m_pDeviceDlg->IsDevicePresent() != FALSE; }, 3000));
    EXPECT_NE(GetHostedControl(hItem), nullptr);
    EXPECT_EQ(dlg->m_pDeviceDlg->m_nModel, 0x0100u);
    EXPECT_STRNE(dlg->m_trayIcon.Data().szTip, kTipNoHandset);
    dlg.reset();
    plugged.Restore();
    for (HWND hHandset : CHandsetChannel::FindHandsets(GetCurrentProcessId()))
        channel.Send(hHandset, L"reset", reply);
}

// However the control tells its event interface (IProvideClassInfo2, the
// coclass of IProvideClassInfo, the type library registered for its class),
// Callvane receives its events; a control that tells none works without them
// and the trace says so, as it says when the init stream was refused.
TEST(AxHost, EventsArriveWhereverTheEventInterfaceIsFoundAndTheTraceSaysWhenNoneIs)
{
    const std::string control = "Control {797E1292-653D-43DD-AE7E-F6606A73C647} ";
    struct Case {
        const wchar_t* switches;           // the stand-in's (CALLVANE_HANDSET_CONTROL)
        const wchar_t* hiddenValue;        // taken from the class's registration for the run, or null
        std::vector<std::wstring> asked;   // the control's log lines of the class info and InitNew
        bool arrive;                       // a key and a hook change reach Callvane, which shows the key
        std::vector<std::string> traced;
    } cases[] = {
        {L"", nullptr, {L"GetGUID(source)"}, true, {}},
        {L"noclassinfo2", nullptr, {L"GetClassInfo"}, true, {}},
        {L"noclassinfo", nullptr, {}, true, {}},
        {L"noclassinfo", L"Version", {}, true, {}},
        {L"noclassinfo", L"TypeLib", {}, false, {control + "has no event interface: none of its events will arrive"}},
        {L"noconnection", nullptr, {L"GetGUID(source)"}, false,
         {control + "refused the connection to its event interface (0x80040200): none of its events will arrive"}},
        {L"loadfails", nullptr, {L"GetGUID(source)", L"InitNew"}, true,
         {control + "did not load its init stream (0x8003001E): initialised new"}},
    };
    CDebugOutputReader reader;
    ASSERT_TRUE(reader.IsListening()) << "another debugger-output reader is running";
    CRegistryValueOverride syslog(HKEY_CURRENT_USER, kTraceSwitchKey, kTraceSwitchValue);
    const DWORD on = 1;
    syslog.Set(REG_DWORD, &on, sizeof on);
    CLocalAppDataOverride localAppData;
    CEnvironmentOverride plugged(kHandsetEnvironment, L"plugged");
    CInstalledCopy copy;
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        CEnvironmentOverride switches(kControlEnvironment, c.switches);
        CRegistryValueOverride hidden(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kMakersClsid + L"\\" +
                                                             (c.hiddenValue ? c.hiddenValue : L"TypeLib"), L"");
        if (c.hiddenValue)
            hidden.Delete();
        CChildProcess app(copy.ExePath(), L"");
        CHandsetChannel channel;
        std::vector<HWND> handsets;
        std::wstring reply;
        auto send = [&](const wchar_t* command) {
            return handsets.size() == 1 && channel.Send(handsets[0], command, reply) ? reply : L"error: no reply";
        };
        ASSERT_TRUE(WaitFor([&] {
            handsets = CHandsetChannel::FindHandsets(app.Id());
            return ReplyValue(send(L"state"), L"open") == L"1";
        }, kStartTimeoutMs));
        const wchar_t* delivered = c.arrive ? L"ok delivered=1" : L"ok delivered=0";
        EXPECT_EQ(send(L"key 5"), delivered);
        EXPECT_EQ(ReplyValue(send(L"state"), L"display"), c.arrive ? L"\"5\"" : L"\"\"");
        EXPECT_EQ(send(L"hook off"), delivered);
        std::wstring log = send(L"olelog");
        std::vector<std::wstring> asked;
        for (const wchar_t* line : {L"GetGUID(source)", L"GetClassInfo", L"InitNew"}) {
            if (log.find(L"\n" + std::wstring(line) + L"\n") != std::wstring::npos)
                asked.push_back(line);
        }
        EXPECT_EQ(asked, c.asked) << testing::PrintToString(log);
        CChildProcess exitRequest(copy.ExePath(), L"*exit*");
        EXPECT_TRUE(app.WaitForExit(kStartTimeoutMs));
        ASSERT_TRUE(reader.Flush());
        std::vector<std::string> traced;   // the messages about the control
        std::smatch match;
        for (const std::string& line : reader.LinesFrom(app.Id())) {
            if (std::regex_match(line, match, std::regex(R"(\[KVT\+\w+:\w+\] +[0-9.]+ (.*)\n)")) &&
                match[1].str().rfind("Control ", 0) == 0)
                traced.push_back(match[1]);
        }
        EXPECT_EQ(traced, c.traced);
    }
}
