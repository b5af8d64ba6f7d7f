// KorvexRememberedValidity: the engine's latest verdict on a path, from memory alone.
#include "KorvexLayout.h"
#include "korvex_remembered.h"
#include "remembered_paths.h"

#include <windows.h>

namespace {

// A static SRW lock needs no setup or teardown, so loading and freeing the DLL leaves
// nothing behind; the paths' texts are freed with the module's statics.
SRWLOCK g_lock = SRWLOCK_INIT;
korvex::RememberedPaths g_paths;

class Exclusive {
public:
    Exclusive() { AcquireSRWLockExclusive(&g_lock); }
    ~Exclusive() { ReleaseSRWLockExclusive(&g_lock); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;
};

}  // namespace

namespace korvex {

void RememberPathVerdict(const wchar_t* path, bool valid) noexcept
{
    if (path == nullptr || *path == L'\0') return;
    try {
        const std::wstring key(path);
        Exclusive lock;
        g_paths.Store(key, valid, GetTickCount64());
    } catch (...) {
    }
}

void ForgetPathVerdict(const wchar_t* path) noexcept
{
    if (path == nullptr || *path == L'\0') return;
    try {
        const std::wstring key(path);
        Exclusive lock;
        g_paths.Forget(key);
    } catch (...) {
    }
}

}  // namespace korvex

extern "C" int KORVEX_CALL KorvexRememberedValidity(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0') return KORVEX_NOT_REMEMBERED;
    try {
        const std::wstring key(path);
        Exclusive lock;
        switch (g_paths.Find(key, GetTickCount64())) {
        case korvex::RememberedVerdict::kValid:
            return 1;
        case korvex::RememberedVerdict::kInvalid:
            return 0;
        case korvex::RememberedVerdict::kUnknown:
            break;
        }
    } catch (...) {
    }
    return KORVEX_NOT_REMEMBERED;
}
