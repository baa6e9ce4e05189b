#include "ports/PortNumbers.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "ports/PortNames.h"

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

// A map entry: the path it names, as written, and the device that path leads to
// (empty when it leads nowhere).
struct MapEntryTarget {
    std::string Text;
    std::string Device;
};

// Whether path leads to device, through any links (by-path, an alias): the same
// file at the end. Not equivalent(), which refuses to compare two devices.
bool Leads(const std::string& path, const std::string& device) {
    return !path.empty() && LinkEnd(path) == LinkEnd(device);
}

// Whether entry stands for port: it leads to the device, or it names the device or
// its stable name, which udev may give before the name exists on disk.
bool SameDevice(const MapEntryTarget& entry, const SerialPortInfo& port) {
    const auto names = [&port](const std::string& path) {
        return !path.empty() && (path == port.Device || path == port.StableName);
    };
    return names(entry.Text) || names(entry.Device) || Leads(entry.Device, port.Device);
}

// The lowest map entry that stands for port, or 0.
int MappedNumber(const std::map<int, MapEntryTarget>& entries, const SerialPortInfo& port) {
    for (const auto& [n, entry] : entries) {
        if (SameDevice(entry, port)) return n;
    }
    return 0;
}

// The name to map port under: its stable name, which keeps leading to it whichever
// socket it is in, once that name is there; else its device.
const std::string& NameToMap(const SerialPortInfo& port) {
    std::error_code error;
    const bool there = !port.StableName.empty() && fs::exists(port.StableName, error);
    return there && !error ? port.StableName : port.Device;
}

}  // namespace

std::vector<NumberedPort> NumberPorts(const std::vector<SerialPortInfo>& found) {
    std::map<int, MapEntryTarget> entries;
    for (const int n : MappedPorts()) entries[n] = {PortTarget(n), ResolvePort(n)};

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
        if (MapPort(free, NameToMap(port.Info), &port.Why)) {
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
