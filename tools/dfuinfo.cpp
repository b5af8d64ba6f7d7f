// dfuinfo FILE...: what Korvex.dll reads from each .dfu file, and the serial ports and USB
// DFU devices it lists. Exit code 0 when every file is valid, 1 when one is not, 2 on a
// usage error.
#include <windows.h>

#include <cstdio>

#include "Korvex.h"

namespace {

void PrintNumber(const wchar_t* label, unsigned int value)
{
    if (value == 0xFFFF)
        wprintf(L"  %-10ls not stated\n", label);
    else
        wprintf(L"  %-10ls 0x%04X\n", label, value);
}

void PrintList(const wchar_t* heading, const CStringListX& names)
{
    wprintf(L"%ls:", heading);
    bool any = false;
    for (CStringListX::POSITION position = names.GetHeadPosition(); position != nullptr;) {
        wprintf(L"\n  %ls", static_cast<const wchar_t*>(names.GetNext(position)));
        any = true;
    }
    wprintf(any ? L"\n" : L" none\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: dfuinfo FILE.dfu...\n");
        return 2;
    }
    Korvex::InitDLL();
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        CStringX comment;
        unsigned int vendor = 0, product = 0, release = 0;
        if (!Korvex::IsDFUFileValid(argv[i], comment, vendor, product, release)) {
            wprintf(L"%ls: not a valid DFU file\n", argv[i]);
            status = 1;
            continue;
        }
        wprintf(L"%ls: valid DFU file\n", argv[i]);
        PrintNumber(L"Vendor", vendor);
        PrintNumber(L"Product", product);
        PrintNumber(L"Release", release);
        wprintf(L"  %-10ls %ls\n", L"Comment", comment.IsEmpty() ? L"(none)" : static_cast<const wchar_t*>(comment));
    }
    CStringListX ports;
    Korvex::GetCOMPortNames(ports);
    PrintList(L"Serial ports", ports);
    CStringListX devices;
    Korvex::GetUSBDeviceNames(devices);
    PrintList(L"USB DFU devices", devices);
    return status;
}
