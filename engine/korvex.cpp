// The engine's operations as Orrelin.dll calls them. Every one catches at this boundary:
// an exception must not unwind into the caller's module (the 32-bit build cannot unwind
// through foreign frames), so a failure answers false or an empty list instead.
#include "Korvex.h"
#include "ansi_text.h"
#include "korvex_lists.h"

#include "dfu_reader.h"
#include "serial_ports.h"
#include "usb_devices.h"
#include "win_file_source.h"

#include <windows.h>

namespace {

bool ReadFileInfo(const wchar_t* path, CStringX& comment, korvex::DfuFileInfo& info)
{
    korvex::WinFileSource source;
    if (!source.Open(path) || !korvex::ReadDfuFile(source, info)) return false;
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
