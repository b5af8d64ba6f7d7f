// The engine's operations as Orrelin.dll calls them. Every one catches at this boundary:
// an exception must not unwind into the caller's module (the 32-bit build cannot unwind
// through foreign frames), so a failure answers false or an empty list instead.
#include "Korvex.h"
#include "ansi_text.h"
#include "korvex_lists.h"

#include "dfu_reader.h"
#include "korvex_remembered.h"
#include "serial_ports.h"
#include "usb_devices.h"
#include "verdict_cache.h"
#include "win_file_source.h"

#include <windows.h>

namespace {

// The verdicts of this process, shared by every thread that asks. A static SRW lock needs
// no setup or teardown, so loading and freeing the DLL leaves nothing behind.
SRWLOCK g_verdictLock = SRWLOCK_INIT;
korvex::VerdictCache g_verdicts;

std::int64_t Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
}

bool Remembered(const korvex::FileState& state, bool& valid, korvex::DfuFileInfo& info)
{
    AcquireSRWLockExclusive(&g_verdictLock);
    const bool found = g_verdicts.Find(state, valid, info);
    ReleaseSRWLockExclusive(&g_verdictLock);
    return found;
}

void Remember(const korvex::FileState& state, bool valid, const korvex::DfuFileInfo& info)
{
    AcquireSRWLockExclusive(&g_verdictLock);
    g_verdicts.Store(state, valid, info);
    ReleaseSRWLockExclusive(&g_verdictLock);
}

// The verdict on the file at path: remembered for an unchanged file, else read. The state
// is taken from the open handle before the read; a file changed during the read has a newer
// state, so a stale verdict is never found for it.
bool ReadVerdict(const wchar_t* path, korvex::DfuFileInfo& info)
{
    const std::int64_t now = Now();
    korvex::WinFileSource source;
    if (!source.Open(path)) {
        korvex::ForgetPathVerdict(path);
        return false;
    }
    korvex::FileState state;
    const bool known = source.QueryState(state);
    bool valid = false;
    if (known && Remembered(state, valid, info)) {
        korvex::RememberPathVerdict(path, valid);
        return valid;
    }
    valid = korvex::ReadDfuFile(source, info);
    // A read that failed says nothing about the file's bytes.
    if (known && (valid || source.LastError() == 0) && korvex::Settled(state, now)) {
        Remember(state, valid, info);
        korvex::RememberPathVerdict(path, valid);
    } else {
        korvex::ForgetPathVerdict(path);
    }
    return valid;
}

bool ReadFileInfo(const wchar_t* path, CStringX& comment, korvex::DfuFileInfo& info)
{
    if (!ReadVerdict(path, info)) return false;
    comment = korvex::AnsiToWide(info.comment).c_str();
    return true;
}

}  // namespace

void Korvex::InitDLL() {}

bool Korvex::IsDFUFileValid(const wchar_t* path, CStringX& comment)
{
    try {
        korvex::DfuFileInfo info;
        return ReadFileInfo(path, comment, info);
    } catch (...) {
        return false;
    }
}

bool Korvex::IsDFUFileValid(const wchar_t* path, CStringX& comment, unsigned int& vendor, unsigned int& product,
                            unsigned int& release)
{
    try {
        korvex::DfuFileInfo info;
        if (!ReadFileInfo(path, comment, info)) return false;
        vendor = info.vendor;
        product = info.product;
        release = info.release;
        return true;
    } catch (...) {
        return false;
    }
}

int Korvex::GetCOMPortNames(CStringListX& names)
{
    try {
        return korvex::ReplaceListContents(names, korvex::SerialPortNames());
    } catch (...) {
        return names.GetCount();
    }
}

int Korvex::GetUSBDeviceNames(CStringListX& names)
{
    try {
        return korvex::ReplaceListContents(names, korvex::UsbDfuDeviceNames());
    } catch (...) {
        return names.GetCount();
    }
}
