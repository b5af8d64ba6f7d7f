// Long work on files, off Explorer's thread: the menu returns at once, and the work runs on a
// thread of its own that keeps this library loaded until it is done, showing the shell's
// progress dialog with its cancel button.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "work_progress.h"

namespace orrelin {

struct BackgroundJob {
    HWND owner = nullptr;
    std::wstring title;  // the progress dialog's title and the caption of a failure's box
    bool quiet = false;  // the invoker asked for no UI: no progress dialog, no message box
    // Before the work and its progress dialog, on the same thread (a dialog that asks for the
    // work's values runs here). May be empty; false: the user chose not to go on.
    std::function<bool(HWND owner)> before;
    // The work. On failure it answers the HRESULT and fills error with what and where; a
    // cancelled work answers HRESULT_FROM_WIN32(ERROR_CANCELLED) and shows nothing.
    std::function<HRESULT(WorkProgress& progress, std::wstring& error)> work;
    // After a successful work, once the progress dialog is gone, on the same thread (a
    // result window runs its message loop here). May be empty.
    std::function<void(HWND owner)> afterwards;
};

// Starts the job on a new thread; S_OK once it runs. The library stays loaded, and
// DllCanUnloadNow answers S_FALSE, until the thread ends.
HRESULT StartBackgroundWork(BackgroundJob job);

}  // namespace orrelin
