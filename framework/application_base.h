// The library's application object: one per module, started when the process attaches the
// library and stopped when it detaches, with the library's module state current for both.
#pragma once

#include <windows.h>

namespace orrelin {

class Application {
public:
    Application() noexcept;
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up; false makes the library fail to load.
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }

    // The application object of this module, or null when it has none.
    static Application* Current() noexcept;
};

// For DllMain: process attach starts the application object (false: the load fails, after
// the object's ExitInstance); process detach stops it. The caller's module state is
// current again when either returns.
bool ApplicationProcessAttach(HINSTANCE instance) noexcept;
void ApplicationProcessDetach() noexcept;

// The framework's own reasons to stay loaded, beside the COM module's lock count: each lock
// makes ApplicationCanUnloadNow answer S_FALSE until it is given back.
void ApplicationLock() noexcept;
void ApplicationUnlock() noexcept;
HRESULT ApplicationCanUnloadNow() noexcept;

}  // namespace orrelin
