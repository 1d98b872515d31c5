#include "AxHost.h"

#include "ScopedHandle.h"

#include <ole2.h>

#include <vector>

const wchar_t kAxHostClassName[] = L"CallvaneAxHost";

namespace {

struct HostedControl {
    CComPtr<IDispatch> dispatch;
    std::vector<BYTE> initStream;   // creation data of the template item
};

HostedControl* FromWindow(HWND hWnd)
{
    return reinterpret_cast<HostedControl*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

void CreateControl(HWND hWnd, const CREATESTRUCTW& create)
{
    auto* hosted = new HostedControl;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(hosted));

    // Template creation data starts with its own size in bytes (a WORD).
    if (create.lpCreateParams) {
        const BYTE* data = static_cast<const BYTE*>(create.lpCreateParams);
        WORD size = 0;
        memcpy(&size, data, sizeof size);
        if (size > sizeof(WORD))
            hosted->initStream.assign(data + sizeof(WORD), data + size);
    }

    CLSID clsid;
    if (!create.lpszName || FAILED(CLSIDFromString(const_cast<LPWSTR>(create.lpszName), &clsid)))
        return;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(&hosted->dispatch));
}

LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        CreateControl(hWnd, *reinterpret_cast<const CREATESTRUCTW*>(lParam));
        return 0;
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

bool EnableControlContainer()
{
    if (FAILED(OleInitialize(nullptr)))
        return false;
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
    HostedControl* hosted = hHost ? FromWindow(hHost) : nullptr;
    return hosted ? hosted->dispatch.Get() : nullptr;
}
