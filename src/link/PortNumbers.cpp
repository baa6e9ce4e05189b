#include "link/PortNumbers.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "link/PortNames.h"

namespace ixo {

namespace {

namespace fs = std::filesystem;

// Where the links from path lead in the end (at most 8 of them).
fs::path LinkEnd(fs::path path) {
    std::error_code error;
    for (int hop = 0; hop < 8; ++hop) {
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = (path.parent_path() / target).lexically_normal();
    }
    return path;
}

bool SameDevice(const std::string& path, const SerialPortInfo& port) {
    if (path.empty()) return false;
    if (path == port.Device || path == port.StableName) return true;
    // Through other links (by-path, an alias): the same device at the end. Not
    // equivalent(), which refuses to compare two devices.
    return LinkEnd(path) == LinkEnd(port.Device);
}

// The lowest map entry that leads to port, or 0.
int MappedNumber(const std::map<int, std::string>& entries, const SerialPortInfo& port) {
    for (const auto& [n, target] : entries) {
        if (SameDevice(target, port)) return n;
    }
    return 0;
}

}  // namespace

std::vector<NumberedPort> NumberPorts(const std::vector<SerialPortInfo>& found) {
    std::map<int, std::string> entries;  // number -> device it leads to (empty if broken)
    for (const int n : MappedPorts()) entries[n] = ResolvePort(n);

    std::vector<NumberedPort> ports;
    std::set<int> used;
    for (const auto& [n, target] : entries) used.insert(n);
    for (const SerialPortInfo& info : found) {
        NumberedPort port;
        port.Info = info;
        port.Number = MappedNumber(entries, info);
        if (port.Number == 0 && info.SystemComNumber > 0 &&
            entries.count(info.SystemComNumber) == 0) {
            port.Number = info.SystemComNumber;
        }
        used.insert(port.Number);
        ports.push_back(std::move(port));
    }
    for (NumberedPort& port : ports) {
        if (port.Number != 0 || !port.Info.IsUsb) continue;
        int free = 1;
        while (free <= HighestProbedPort && used.count(free) != 0) ++free;
        if (free > HighestProbedPort) continue;
        const std::string& name =
            port.Info.StableName.empty() ? port.Info.Device : port.Info.StableName;
        if (MapPort(free, name, &port.Why)) {
            port.Number = free;
            used.insert(free);
        }
    }
    return ports;
}

std::vector<NumberedPort> FindPorts() {
    return NumberPorts(DiscoverSerialPorts());
}

const NumberedPort* FindNumbered(const std::vector<NumberedPort>& ports, int n) {
    const auto found = std::find_if(ports.begin(), ports.end(),
                                    [n](const NumberedPort& port) { return port.Number == n; });
    return found != ports.end() ? &*found : nullptr;
}

}  // namespace ixo
