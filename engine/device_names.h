// The pure parts of finding download targets: ordering port names, recognising a USB DFU
// interface from its hardware and compatible IDs, and naming a device for the user.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// Natural order: letters compared without regard to ASCII case, runs of digits compared
// as numbers ("COM2" before "COM10"). Names equal in that order (e.g. "COM1", "com01")
// are then ordered by fewer leading zeros and finally by their code units, so the order
// is total and a sort gives the same list whatever order the names came in.
int NaturalCompare(std::wstring_view left, std::wstring_view right);
bool NaturalLess(std::wstring_view left, std::wstring_view right);

// The strings of a REG_MULTI_SZ value of count characters. Data from the registry need
// not be terminated; nothing past count is read.
std::vector<std::wstring> SplitMultiString(const wchar_t* data, std::size_t count);

// true for a hardware or compatible ID naming the DFU interface class: application
// specific class 0xFE, subclass 0x01 (e.g. USB\Class_FE&SubClass_01&Prot_02).
bool IsDfuInterfaceId(std::wstring_view id);
bool HasDfuInterfaceId(const std::vector<std::wstring>& ids);

// What the menu shows and the wizard receives for a device: its friendly name, else its
// description, followed by the device instance ID, which tells two devices of one model
// apart. Empty when nothing is known.
std::wstring UsbDeviceName(std::wstring_view friendlyName, std::wstring_view description, std::wstring_view instanceId);

}  // namespace korvex
