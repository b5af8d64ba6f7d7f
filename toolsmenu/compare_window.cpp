#include "compare_window.h"

#include "module_state.h"

namespace orrelin {
namespace {

const wchar_t kFrameClass[] = L"Orrelin.CompareWindow";
constexpr int kTextId = 1;

// The frame fills itself with its text; closing it ends this thread's loop.
LRESULT CALLBACK FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, kTextId), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(GetDlgItem(window, kTextId));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

std::wstring WithCarriageReturns(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size() + text.size() / 32);
    for (wchar_t c : text) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

}  // namespace

void ShowCompareWindow(HWND owner, const std::wstring& caption, const std::wstring& text)
{
    const HINSTANCE instance = ThisModule();
    WNDCLASSEXW frameClass = {};
    frameClass.cbSize = sizeof frameClass;
    frameClass.lpfnWndProc = FrameProcedure;
    frameClass.hInstance = instance;
    frameClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    frameClass.lpszClassName = kFrameClass;
    // Another comparison's window may have it registered already.
    if (RegisterClassExW(&frameClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;

    const HWND frame = CreateWindowExW(WS_EX_APPWINDOW, kFrameClass, caption.c_str(), WS_OVERLAPPEDWINDOW,
                                       CW_USEDEFAULT, CW_USEDEFAULT, 720, 420, owner, nullptr, instance, nullptr);
    if (frame != nullptr) {
        RECT client = {};
        GetClientRect(frame, &client);
        const HWND edit = CreateWindowExW(0, L"EDIT", L"",
                                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                                              ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                                          0, 0, client.right, client.bottom, frame,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance, nullptr);
        if (edit != nullptr) {
            SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
            // An edit control keeps at most 30,000 characters unless told otherwise.
            SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
            SetWindowTextW(edit, WithCarriageReturns(text).c_str());
        }
        ShowWindow(frame, SW_SHOWNORMAL);
        SetForegroundWindow(frame);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            // Ctrl+A selects the whole text, as in any editor.
            if (message.message == WM_KEYDOWN && message.wParam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000) != 0 &&
                message.hwnd == edit) {
                SendMessageW(edit, EM_SETSEL, 0, -1);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // Fails while another comparison's window still uses it; the last one out removes it, so
    // no class names this library's code once it is unloaded.
    UnregisterClassW(kFrameClass, instance);
}

}  // namespace orrelin
