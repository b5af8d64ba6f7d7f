// The serial ports the system knows, as their names appear to the user ("COM3").
#pragma once

#include <string>
#include <vector>

namespace korvex {

// The data of the values under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in natural order.
std::vector<std::wstring> SerialPortNames();

}  // namespace korvex
