// Linux: the serial devices are the hardware ttys that udev knows, described from
// udev's records and the attributes of the USB device behind an adapter.

#include <dirent.h>
#include <fcntl.h>
#include <libudev.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string_view>

#include "ports/PortDiscovery.h"

namespace ixo {

namespace {

struct UdevFree {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_enumerate* list) const { udev_enumerate_unref(list); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevFree>;

std::string Text(const char* value) {
    return value != nullptr ? value : "";
}

std::string Attribute(udev_device* device, const char* name) {
    return Text(udev_device_get_sysattr_value(device, name));
}

std::uint16_t HexId(const std::string& text) {
    return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
}

// The UART kinds the serial core reports in a port's "type" attribute, by number.
constexpr std::array<std::string_view, 13> UartNames = {
    "",        "8250",  "16450",    "16550",  "16550A", "Cirrus", "16650",
    "16650V2", "16750", "Startech", "16C950", "16654",  "16850"};

// For ttyS<n>: its description, or empty when it has no UART behind it (the legacy
// nodes every PC kernel makes).
std::string UartDescription(udev_device* tty) {
    const std::string type = Attribute(tty, "type");
    if (type.empty()) return "serial port";  // a driver that does not say
    const unsigned long kind = std::strtoul(type.c_str(), nullptr, 10);
    if (kind == 0) return {};
    if (kind < UartNames.size()) return std::string(UartNames[kind]) + " UART";
    return "UART";
}

// The by-id link among the names udev gave the device.
std::string StableName(udev_device* tty) {
    std::istringstream links(Text(udev_device_get_property_value(tty, "DEVLINKS")));
    std::string link;
    while (links >> link) {
        if (link.rfind("/dev/serial/by-id/", 0) == 0) return link;
    }
    return {};
}

void DescribeUsb(udev_device* usb, udev_device* tty, SerialPortInfo& port) {
    port.IsUsb = true;
    port.VendorId = HexId(Attribute(usb, "idVendor"));
    port.ProductId = HexId(Attribute(usb, "idProduct"));
    port.Manufacturer = Attribute(usb, "manufacturer");
    port.Product = Attribute(usb, "product");
    port.SerialNumber = Attribute(usb, "serial");
    port.Description = port.Product;
    if (port.Description.empty()) {
        port.Description = Text(udev_device_get_property_value(tty, "ID_MODEL_FROM_DATABASE"));
    }
    if (port.Description.empty()) port.Description = "USB serial adapter";
}

// Describes one tty of the "tty" subsystem; false for a tty that is no serial
// device (a console, a virtual terminal, a legacy node with nothing behind it).
bool Describe(udev_device* tty, SerialPortInfo& port) {
    const char* node = udev_device_get_devnode(tty);
    udev_device* parent = udev_device_get_parent(tty);
    const std::string path = Text(udev_device_get_syspath(tty));
    if (node == nullptr || parent == nullptr || path.find("/virtual/") != std::string::npos) {
        return false;
    }
    port.Device = node;
    port.StableName = StableName(tty);
    const std::string name = Text(udev_device_get_sysname(tty));
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device")) {
        DescribeUsb(usb, tty, port);
        return true;
    }
    if (name.rfind("ttyS", 0) == 0) {
        port.Description = UartDescription(tty);
        if (port.Description.empty()) return false;
        port.SystemComNumber = std::atoi(name.c_str() + 4) + 1;
        return true;
    }
    const std::string driver = Text(udev_device_get_driver(parent));
    port.Description = driver.empty() ? "serial port" : driver + " serial port";
    return true;
}

// Whether the ttyS<n> of the class folder has no UART behind it, as its "type"
// attribute says with 0 (read as UartDescription reads it).
bool NoUart(int folder, std::string_view name) {
    const std::string path = std::string(name) + "/type";
    const int fd = openat(folder, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[32] = {};
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    return got > 0 && std::strtoul(text, nullptr, 10) == 0;
}

// The ttys of the class folder that may have a device behind them, by name. Each
// entry is a link to the tty's place among the devices; one that leads under
// /devices/virtual/ (a virtual terminal, a console, the pseudo-terminal multiplexer)
// has none, and is left out on the strength of that link alone; so is a legacy ttyS
// node whose type says it has no UART (a PC kernel makes four to thirty-two). A
// machine has dozens of those against a few serial ports, and udev would resolve each
// one's whole path and look at its parents first, some forty files apiece.
std::vector<std::string> TtysWithDevices() {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir("/sys/class/tty"), closedir);
    if (!folder) return names;
    while (const dirent* entry = readdir(folder.get())) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        std::array<char, PATH_MAX> target{};
        const ssize_t length =
            readlinkat(dirfd(folder.get()), entry->d_name, target.data(), target.size() - 1);
        // Not a link: udev judges it as it would any other.
        if (length >= 0 &&
            std::string_view(target.data(), static_cast<std::size_t>(length)).find("/virtual/") !=
                std::string_view::npos) {
            continue;
        }
        if (name.rfind("ttyS", 0) == 0 && NoUart(dirfd(folder.get()), name)) continue;
        names.emplace_back(name);
    }
    return names;
}

// Orders names by their text, and a number at the end by its value (ttyS2 before
// ttyS10).
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& name) {
        const std::size_t digits = name.find_last_not_of("0123456789") + 1;
        const std::string number = name.substr(digits);
        return std::make_pair(name.substr(0, digits),
                              number.empty() ? -1L : std::strtol(number.c_str(), nullptr, 10));
    };
    return split(a) < split(b);
}

}  // namespace

std::vector<SerialPortInfo> DiscoverSerialPorts() {
    std::vector<SerialPortInfo> ports;
    const UdevPtr<udev> context(udev_new());
    if (!context) return ports;
    for (const std::string& name : TtysWithDevices()) {
        const UdevPtr<udev_device> tty(
            udev_device_new_from_subsystem_sysname(context.get(), "tty", name.c_str()));
        SerialPortInfo port;
        if (tty && Describe(tty.get(), port)) ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return NaturalLess(a.Device, b.Device);
    });
    return ports;
}

}  // namespace ixo
