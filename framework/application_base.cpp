#include "application_base.h"

#include "module_state.h"

namespace orrelin {
namespace {

Application* g_application = nullptr;
bool g_started = false;
LONG g_applicationLocks = 0;

}  // namespace

Application::Application() noexcept
{
    g_application = this;
}

Application::~Application()
{
    if (g_application == this) g_application = nullptr;
}

Application* Application::Current() noexcept
{
    return g_application;
}

bool ApplicationProcessAttach(HINSTANCE) noexcept
{
    ModuleStateGuard guard;
    Application* app = Application::Current();
    if (app == nullptr) return true;
    try {
        if (app->InitInstance()) {
            g_started = true;
            return true;
        }
        app->ExitInstance();
    } catch (...) {
        // An exception cannot leave the loader's call; the load fails instead.
    }
    return false;
}

void ApplicationProcessDetach() noexcept
{
    {
        ModuleStateGuard guard;
        Application* app = Application::Current();
        if (app != nullptr && g_started) {
            g_started = false;
            try {
                app->ExitInstance();
            } catch (...) {
            }
        }
    }
    ReleaseModuleActivationContext();
}

void ApplicationLock() noexcept
{
    InterlockedIncrement(&g_applicationLocks);
}

void ApplicationUnlock() noexcept
{
    InterlockedDecrement(&g_applicationLocks);
}

HRESULT ApplicationCanUnloadNow() noexcept
{
    return g_applicationLocks == 0 ? S_OK : S_FALSE;
}

}  // namespace orrelin
