#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ixo {

// One serial device of this machine, as the system describes it.
struct SerialPortInfo {
    std::string Device;       // what opens it: /dev/ttyUSB0 (on Windows \\.\COM3)
    std::string StableName;   // /dev/serial/by-id/... where udev made one, else empty
    std::string Description;  // for people: "FT232R USB UART", "16550A UART"
    bool IsUsb = false;
    std::uint16_t VendorId = 0, ProductId = 0;
    std::string Manufacturer, Product, SerialNumber;  // USB only, where the device says
    int SystemComNumber = 0;  // a number the system itself gives: n for ttyS<n-1> on Linux,
                              // COMn on Windows; 0 for none
};

// The serial devices present now, in a stable order.
std::vector<SerialPortInfo> DiscoverSerialPorts();

}  // namespace ixo
