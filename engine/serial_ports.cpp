#include "serial_ports.h"

#include "device_names.h"

#include <windows.h>

#include <algorithm>

#include "handles.h"

namespace korvex {
namespace {

// Longest value name the registry allows, plus the terminator.
constexpr DWORD kValueNameCapacity = 16384;
// Values may grow while they are enumerated; give up on one after this many retries.
constexpr int kMaxRetries = 8;

}  // namespace

std::vector<std::wstring> SerialPortNames()
{
    std::vector<std::wstring> names;
    orrelin::UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return names;  // no serial ports on this machine
    DWORD maxDataBytes = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &maxDataBytes, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::wstring valueName(kValueNameCapacity, L'\0');
    // One spare character so that data stored without its terminator still ends.
    std::vector<wchar_t> data(maxDataBytes / sizeof(wchar_t) + 2);
    int retries = 0;
    for (DWORD index = 0;;) {
        DWORD nameLength = kValueNameCapacity;
        DWORD type = 0;
        DWORD dataBytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        const LONG result = RegEnumValueW(key.get(), index, &valueName[0], &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (result == ERROR_MORE_DATA && retries < kMaxRetries) {
            ++retries;
            data.resize(std::max<std::size_t>(dataBytes / sizeof(wchar_t) + 2, data.size() * 2));
            continue;
        }
        retries = 0;
        if (result == ERROR_NO_MORE_ITEMS) break;
        ++index;
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        const std::size_t count = dataBytes / sizeof(wchar_t);
        const std::size_t length =
            static_cast<std::size_t>(std::find(data.begin(), data.begin() + count, L'\0') - data.begin());
        if (length > 0) names.emplace_back(data.data(), length);
    }
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return NaturalLess(a, b); });
    return names;
}

}  // namespace korvex
