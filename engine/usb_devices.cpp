#include "usb_devices.h"

#include "device_names.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>

#include "handles.h"

namespace korvex {
namespace {

struct DeviceInfoSetTraits {  // SetupDiGetClassDevsW: empty is INVALID_HANDLE_VALUE
    using Type = HDEVINFO;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type set) noexcept { SetupDiDestroyDeviceInfoList(set); }
};
using UniqueDeviceInfoSet = orrelin::UniqueAny<DeviceInfoSetTraits>;

// The raw characters of a string or multi-string property; empty when the device has none.
std::vector<wchar_t> Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    DWORD type = 0;
    DWORD bytes = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &bytes);
    if (bytes == 0) return {};
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(data.data()),
                                           static_cast<DWORD>(data.size() * sizeof(wchar_t)), &bytes) ||
        (type != REG_SZ && type != REG_MULTI_SZ))
        return {};
    data.resize(std::min<std::size_t>(data.size(), bytes / sizeof(wchar_t)));
    return data;
}

std::vector<std::wstring> IdsProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    const std::vector<wchar_t> data = Property(set, device, property);
    return SplitMultiString(data.data(), data.size());
}

std::wstring TextProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    const std::vector<wchar_t> data = Property(set, device, property);
    return std::wstring(data.begin(), std::find(data.begin(), data.end(), L'\0'));
}

std::wstring InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    DWORD required = 0;
    SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &required);
    if (required == 0) return {};
    std::vector<wchar_t> id(required + 1, L'\0');
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id.data(), static_cast<DWORD>(id.size()), nullptr)) return {};
    return std::wstring(id.begin(), std::find(id.begin(), id.end(), L'\0'));
}

}  // namespace

std::vector<std::wstring> UsbDfuDeviceNames()
{
    std::vector<std::wstring> names;
    UniqueDeviceInfoSet devices(SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (!devices) return names;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(devices.get(), index, &device)) break;
        // A composite device shows its DFU interface as a child with its own IDs; a
        // device in DFU mode shows the class in its compatible IDs.
        if (!HasDfuInterfaceId(IdsProperty(devices.get(), device, SPDRP_HARDWAREID)) &&
            !HasDfuInterfaceId(IdsProperty(devices.get(), device, SPDRP_COMPATIBLEIDS)))
            continue;
        std::wstring name =
            UsbDeviceName(TextProperty(devices.get(), device, SPDRP_FRIENDLYNAME),
                          TextProperty(devices.get(), device, SPDRP_DEVICEDESC), InstanceId(devices.get(), device));
        if (!name.empty()) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return NaturalLess(a, b); });
    return names;
}

}  // namespace korvex
