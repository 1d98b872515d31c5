#include "HandsetChannel.h"

#include "SimIds.h"

namespace {

const wchar_t kReplyWindowClass[] = L"CallvaneHandsetReply";

struct FindContext {
    DWORD processId;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectHandset(HWND hWnd, LPARAM lParam)
{
    auto* context = reinterpret_cast<FindContext*>(lParam);
    wchar_t className[64] = {};
    if (!GetClassNameW(hWnd, className, ARRAYSIZE(className)) || wcscmp(className, kHandsetWindowClass) != 0)
        return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(hWnd, &owner);
    if (context->processId == 0 || owner == context->processId)
        context->found->push_back(hWnd);
    return TRUE;
}

}  // namespace

CHandsetChannel::CHandsetChannel()
{
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ReplyWindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = kReplyWindowClass;
    RegisterClassExW(&wc);   // fails harmlessly when a previous channel registered it
    m_hReplyWnd = CreateWindowExW(0, kReplyWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, hInstance, this);
}

CHandsetChannel::~CHandsetChannel()
{
    if (m_hReplyWnd)
        DestroyWindow(m_hReplyWnd);
}

std::vector<HWND> CHandsetChannel::FindHandsets(DWORD processId)
{
    std::vector<HWND> found;
    FindContext context = {processId, &found};
    EnumWindows(CollectHandset, reinterpret_cast<LPARAM>(&context));
    return found;
}

bool CHandsetChannel::Send(HWND hHandset, const std::wstring& command, std::wstring& reply, DWORD timeoutMs)
{
    reply.clear();
    if (!m_hReplyWnd || !hHandset || !IsWindow(hHandset))
        return false;
    std::wstring received;
    m_pPending = &received;
    m_bGotReply = false;
    COPYDATASTRUCT request = {kChannelRequest, static_cast<DWORD>(command.size() * sizeof(wchar_t)),
                              const_cast<wchar_t*>(command.data())};
    DWORD_PTR handled = 0;
    LRESULT sent = SendMessageTimeoutW(hHandset, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hReplyWnd),
                                       reinterpret_cast<LPARAM>(&request), SMTO_NORMAL, timeoutMs, &handled);
    m_pPending = nullptr;
    if (!sent || !handled || !m_bGotReply)
        return false;
    reply = received;
    return true;
}

LRESULT CALLBACK CHandsetChannel::ReplyWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (msg != WM_COPYDATA)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    auto* channel = reinterpret_cast<CHandsetChannel*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!channel || !channel->m_pPending || !data || data->dwData != kChannelReply ||
        data->cbData % sizeof(wchar_t) != 0 || (data->cbData && !data->lpData))
        return FALSE;
    size_t chars = data->cbData / sizeof(wchar_t);
    channel->m_pPending->assign(chars, L'\0');
    if (chars)
        memcpy(&(*channel->m_pPending)[0], data->lpData, data->cbData);
    channel->m_bGotReply = true;
    return TRUE;
}
