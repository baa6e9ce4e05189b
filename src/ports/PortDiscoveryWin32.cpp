// Serial ports on Windows: the present devices of the Ports class in the system's
// device list, each with the COM name the system gave it and its friendly name.

#include <windows.h>
// After windows.h, which they need; initguid.h gives the GUIDs their storage here.
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

#include "core/Win32Text.h"
#include "ports/PortDiscovery.h"

namespace ixo {

namespace {

// DEVPKEY_Device_BusReportedDeviceDesc: the name the device gives itself on its bus.
const DEVPROPKEY BusReportedDeviceDesc = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

std::wstring RegistryProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type,
                                           reinterpret_cast<BYTE*>(text), sizeof text - 2,
                                           nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    return text;
}

std::wstring BusReportedName(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    wchar_t text[512] = {};
    DEVPROPTYPE type = 0;
    if (!SetupDiGetDevicePropertyW(devices, &device, &BusReportedDeviceDesc, &type,
                                   reinterpret_cast<BYTE*>(text), sizeof text - 2, nullptr, 0) ||
        type != DEVPROP_TYPE_STRING) {
        return {};
    }
    return text;
}

// The name the system gave the port ("COM3"), from the device's own registry key.
std::wstring PortNameOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    const HKEY key =
        SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t name[64] = {};
    DWORD size = sizeof name - 2;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? name : L"";
}

// n of "COMn"; 0 for any other name (LPT1 is in the same class).
int ComNumberOf(const std::wstring& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, L"COM") != 0) return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::iswdigit(name[i])) return 0;
        n = n * 10 + (name[i] - L'0');
    }
    return n;
}

// The four hex digits after key ("VID_", "PID_") in a device id; 0 when absent.
std::uint16_t HexAfter(const std::wstring& id, const wchar_t* key) {
    const std::size_t at = id.find(key);
    if (at == std::wstring::npos || at + 8 > id.size()) return 0;
    return static_cast<std::uint16_t>(std::wcstoul(id.substr(at + 4, 4).c_str(), nullptr, 16));
}

// A friendly name without the " (COMn)" the system adds to it.
std::wstring WithoutPortName(std::wstring name, const std::wstring& portName) {
    const std::wstring suffix = L" (" + portName + L")";
    if (name.size() > suffix.size() && name.ends_with(suffix))
        name.resize(name.size() - suffix.size());
    return name;
}

SerialPortInfo Describe(HDEVINFO devices, SP_DEVINFO_DATA& device, const std::wstring& portName,
                        int number) {
    SerialPortInfo port;
    port.Device = "\\\\.\\" + Utf8FromWide(portName);
    port.SystemComNumber = number;
    std::wstring description = RegistryProperty(devices, device, SPDRP_FRIENDLYNAME);
    if (description.empty()) description = RegistryProperty(devices, device, SPDRP_DEVICEDESC);
    port.Description = Utf8FromWide(WithoutPortName(description, portName));

    // USB\VID_0403&PID_6001\A50285BI, or a vendor bus such as FTDIBUS\VID_0403+PID_6001+...
    wchar_t instance[512] = {};
    if (!SetupDiGetDeviceInstanceIdW(devices, &device, instance, 511, nullptr)) return port;
    const std::wstring id = instance;
    port.VendorId = HexAfter(id, L"VID_");
    port.ProductId = HexAfter(id, L"PID_");
    port.IsUsb = id.starts_with(L"USB\\") || port.VendorId != 0;
    if (!port.IsUsb) return port;
    port.Manufacturer = Utf8FromWide(RegistryProperty(devices, device, SPDRP_MFG));
    port.Product = Utf8FromWide(BusReportedName(devices, device));
    // The last part of a USB id is the device's serial number when it has one; the
    // system makes up one with '&' in it when it has not.
    const std::size_t slash = id.find_last_of(L'\\');
    const std::wstring last = slash == std::wstring::npos ? L"" : id.substr(slash + 1);
    if (id.starts_with(L"USB\\") && last.find(L'&') == std::wstring::npos) {
        port.SerialNumber = Utf8FromWide(last);
    }
    return port;
}

}  // namespace

std::vector<SerialPortInfo> DiscoverSerialPorts() {
    std::vector<SerialPortInfo> ports;
    const HDEVINFO devices =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const std::wstring portName = PortNameOf(devices, device);
        const int number = ComNumberOf(portName);
        if (number > 0) ports.push_back(Describe(devices, device, portName, number));
    }
    SetupDiDestroyDeviceInfoList(devices);
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return a.SystemComNumber < b.SystemComNumber;
    });
    return ports;
}

}  // namespace ixo
