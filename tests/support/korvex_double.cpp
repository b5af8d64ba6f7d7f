// The engine's test double: the Korvex operations answer what a test has set through the
// KorvexDouble_* calls, and count how often they were asked. Built as a Korvex.dll with the
// same exports as the real engine, so a library linked against the real one loads it.
#include "KorvexDouble.h"
#include "korvex_lists.h"
#include "remembered_paths.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

struct State {
    bool valid = true;
    std::wstring comment;
    unsigned int vendor = 0xFFFF;
    unsigned int product = 0xFFFF;
    unsigned int release = 0xFFFF;
    std::vector<std::wstring> ports;
    std::vector<std::wstring> devices;
    int initCount = 0;
    int validityCheckCount = 0;
    int portQueryCount = 0;
    int deviceQueryCount = 0;
    std::wstring lastPath;
    // Every answer is remembered, as the engine remembers the answers on settled files.
    korvex::RememberedPaths remembered;
    int rememberedQueryCount = 0;
};

// The host may call from several threads (the shell runs info tips on its own threads).
SRWLOCK g_lock = SRWLOCK_INIT;
State g_state;

class Locked {
public:
    Locked() { AcquireSRWLockExclusive(&g_lock); }
    ~Locked() { ReleaseSRWLockExclusive(&g_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

std::vector<std::wstring> Names(const wchar_t* const* names, int count)
{
    std::vector<std::wstring> list;
    for (int i = 0; names != nullptr && i < count; ++i) list.emplace_back(names[i] != nullptr ? names[i] : L"");
    return list;
}

bool AnswerValidity(const wchar_t* path, CStringX& comment)
{
    Locked lock;
    ++g_state.validityCheckCount;
    g_state.lastPath = path != nullptr ? path : L"";
    if (!g_state.lastPath.empty()) g_state.remembered.Store(g_state.lastPath, g_state.valid, GetTickCount64());
    if (g_state.valid) comment = g_state.comment.c_str();
    return g_state.valid;
}

}  // namespace

void Korvex::InitDLL()
{
    Locked lock;
    ++g_state.initCount;
}

bool Korvex::IsDFUFileValid(const wchar_t* path, CStringX& comment)
{
    try {
        return AnswerValidity(path, comment);
    } catch (...) {
        return false;
    }
}

bool Korvex::IsDFUFileValid(const wchar_t* path, CStringX& comment, unsigned int& vendor, unsigned int& product,
                            unsigned int& release)
{
    try {
        if (!AnswerValidity(path, comment)) return false;  // the numbers stay as the caller left them
        Locked lock;
        vendor = g_state.vendor;
        product = g_state.product;
        release = g_state.release;
        return true;
    } catch (...) {
        return false;
    }
}

int Korvex::GetCOMPortNames(CStringListX& names)
{
    try {
        Locked lock;
        ++g_state.portQueryCount;
        return korvex::ReplaceListContents(names, g_state.ports);
    } catch (...) {
        return names.GetCount();
    }
}

int Korvex::GetUSBDeviceNames(CStringListX& names)
{
    try {
        Locked lock;
        ++g_state.deviceQueryCount;
        return korvex::ReplaceListContents(names, g_state.devices);
    } catch (...) {
        return names.GetCount();
    }
}

extern "C" int KORVEX_CALL KorvexRememberedValidity(const wchar_t* path)
{
    try {
        Locked lock;
        ++g_state.rememberedQueryCount;
        if (path == nullptr) return KORVEX_NOT_REMEMBERED;
        switch (g_state.remembered.Find(path, GetTickCount64())) {
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

// The control calls are made by tests; a failed allocation there may end the test program.
void ResetLayoutDouble();  // korvex_double_layout.cpp

KORVEX_DOUBLE_API void KorvexDouble_Reset()
{
    ResetLayoutDouble();
    Locked lock;
    g_state = State();
}

KORVEX_DOUBLE_API void KorvexDouble_SetValid(bool valid)
{
    Locked lock;
    g_state.valid = valid;
}

KORVEX_DOUBLE_API void KorvexDouble_SetComment(const wchar_t* comment)
{
    Locked lock;
    g_state.comment = comment != nullptr ? comment : L"";
}

KORVEX_DOUBLE_API void KorvexDouble_SetNumbers(unsigned int vendor, unsigned int product, unsigned int release)
{
    Locked lock;
    g_state.vendor = vendor;
    g_state.product = product;
    g_state.release = release;
}

KORVEX_DOUBLE_API void KorvexDouble_SetPorts(const wchar_t* const* names, int count)
{
    std::vector<std::wstring> ports = Names(names, count);
    Locked lock;
    g_state.ports.swap(ports);
}

KORVEX_DOUBLE_API void KorvexDouble_SetDevices(const wchar_t* const* names, int count)
{
    std::vector<std::wstring> devices = Names(names, count);
    Locked lock;
    g_state.devices.swap(devices);
}

KORVEX_DOUBLE_API int KorvexDouble_InitCount()
{
    Locked lock;
    return g_state.initCount;
}

KORVEX_DOUBLE_API int KorvexDouble_ValidityCheckCount()
{
    Locked lock;
    return g_state.validityCheckCount;
}

KORVEX_DOUBLE_API int KorvexDouble_PortQueryCount()
{
    Locked lock;
    return g_state.portQueryCount;
}

KORVEX_DOUBLE_API int KorvexDouble_DeviceQueryCount()
{
    Locked lock;
    return g_state.deviceQueryCount;
}

KORVEX_DOUBLE_API const wchar_t* KorvexDouble_LastPath()
{
    Locked lock;
    return g_state.lastPath.c_str();
}

KORVEX_DOUBLE_API int KorvexDouble_RememberedQueryCount()
{
    Locked lock;
    return g_state.rememberedQueryCount;
}
