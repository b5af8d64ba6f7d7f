// The attached USB devices that offer a DFU interface, named for the user.
#pragma once

#include <string>
#include <vector>

namespace korvex {

// Present devices enumerated by the USB bus whose hardware or compatible IDs name the DFU
// interface class, each as UsbDeviceName gives it, in natural order.
std::vector<std::wstring> UsbDfuDeviceNames();

}  // namespace korvex
