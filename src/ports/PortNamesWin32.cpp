// Port names on Windows: COMn is the system's own COMn, so there is no port map.

#include "ports/PortNames.h"

namespace ixo {

namespace {

const char* const NoMapNeeded = "no port map is needed on Windows: COMn is the system's COMn";

}  // namespace

std::string PortName(int n) {
    return "COM" + std::to_string(n);
}

std::string PortMapFolder() {
    return {};
}

std::string PortMapEntry(int) {
    return {};
}

std::string PortDevicePath(int n) {
    if (n < 1) return {};
    // The device namespace form: the plain name opens only COM1 to COM9.
    return "\\\\.\\COM" + std::to_string(n);
}

std::string ResolvePort(int n, std::string* why) {
    if (n < 1 && why != nullptr) *why = PortName(n) + ": port numbers start at 1";
    return PortDevicePath(n);
}

std::string PortTarget(int n) {
    return PortDevicePath(n);
}

std::vector<int> MappedPorts() {
    return {};
}

bool MapPort(int, const std::string&, std::string* why) {
    if (why != nullptr) *why = NoMapNeeded;
    return false;
}

bool UnmapPort(int, std::string* why) {
    if (why != nullptr) *why = NoMapNeeded;
    return false;
}

}  // namespace ixo
