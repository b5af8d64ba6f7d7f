#include "dialog_driver.h"

namespace dfutest {
namespace {

struct Search {
    const std::wstring* caption;
    HWND except;
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || window == search.except || !IsWindowVisible(window)) return TRUE;
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (*search.caption != text) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

HWND WaitForWindow(const std::wstring& caption, HWND except, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{&caption, except, nullptr};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start > timeout) return search.found;
        Sleep(20);
    }
}

std::wstring ControlText(HWND dialog, int control)
{
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, control, text, 1024);
    return text;
}

void TypeInto(HWND dialog, int control, const std::wstring& text)
{
    SetDlgItemTextW(dialog, control, text.c_str());
}

void ChooseRadio(HWND dialog, int first, int last, int chosen)
{
    for (int id = first; id <= last; ++id)
        SendDlgItemMessageW(dialog, id, BM_SETCHECK, id == chosen ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chosen, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, chosen)));
}

void Press(HWND window, int button)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
}

DialogDriver::DialogDriver(std::function<void()> drive) : m_drive(std::move(drive))
{
    m_thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DialogDriver::~DialogDriver()
{
    if (m_thread) {
        WaitForSingleObject(m_thread, 60000);
        CloseHandle(m_thread);
    }
}

DWORD WINAPI DialogDriver::Run(void* self)
{
    static_cast<DialogDriver*>(self)->m_drive();
    return 0;
}

}  // namespace dfutest
