// Drives a modal window of the test's own process from a second thread, while the test's
// thread sits in the window's message loop: find it by caption, fill its fields, press its
// buttons. Posted presses, so that a message box the press opens can be answered too.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace dfutest {

// A top-level window of this process with this caption (and not `except`), waited for up to
// `timeout` milliseconds; null when none came.
HWND WaitForWindow(const std::wstring& caption, HWND except = nullptr, DWORD timeout = 10000);
std::wstring ControlText(HWND dialog, int control);
// Sets a field's text; the dialog sees its change notification as if typed.
void TypeInto(HWND dialog, int control, const std::wstring& text);
// Checks a radio button of a group and tells the dialog it was clicked.
void ChooseRadio(HWND dialog, int first, int last, int chosen);
// Presses a button (posted: it may open a message box).
void Press(HWND window, int button);

// Runs drive on a thread of its own; the destructor waits for it to end.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void()> drive);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

private:
    static DWORD WINAPI Run(void* self);
    std::function<void()> m_drive;
    HANDLE m_thread = nullptr;
};

}  // namespace dfutest
