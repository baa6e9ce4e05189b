#include "ports/PortNames.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace ixo {

namespace fs = std::filesystem;

namespace {

// An absolute path from the environment variable name, else empty: a relative one
// would name a folder under the current one, which may be anybody's.
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || !fs::path(value).is_absolute()) return {};
    return value;
}

// The user's home folder: HOME, else the user's entry in the password database;
// empty when neither names one.
std::string HomeFolder() {
    std::string home = AbsoluteFromEnvironment("HOME");
    if (!home.empty()) return home;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        home = found->pw_dir;
    }
    return home;
}

// What COMn is without a map entry.
std::string SystemDevice(int n) {
    return "/dev/ttyS" + std::to_string(n - 1);
}

// Where a map entry points, taken relative to the map folder when relative.
fs::path EntryTarget(const fs::path& entry, std::error_code& error) {
    const fs::path target = fs::read_symlink(entry, error);
    return (entry.parent_path() / target).lexically_normal();
}

}  // namespace

std::string PortName(int n) {
    return "COM" + std::to_string(n);
}

std::string PortMapFolder() {
    fs::path base = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = HomeFolder();
        if (home.empty()) return {};
        base = fs::path(home) / ".config";
    }
    return (base / "ixo-loader" / "ports").string();
}

std::string PortMapEntry(int n) {
    const std::string folder = PortMapFolder();
    if (folder.empty()) return {};
    return (fs::path(folder) / ("com" + std::to_string(n))).string();
}

std::string PortDevicePath(int n) {
    if (n < 1) return {};
    const fs::path entry = PortMapEntry(n);
    std::error_code error;
    if (fs::is_symlink(entry, error) || fs::exists(entry, error)) return entry.string();
    return SystemDevice(n);
}

std::string ResolvePort(int n, std::string* why) {
    const auto fail = [why](const std::string& reason) {
        if (why != nullptr) *why = reason;
        return std::string();
    };
    if (n < 1) return fail(PortName(n) + ": no such port");
    // The folder, or the first of its parents that exists, must be a folder: a file
    // in the way is a broken map, not a missing one.
    std::error_code error;
    for (fs::path folder = PortMapFolder(); !folder.empty(); folder = folder.parent_path()) {
        const fs::file_status status = fs::status(folder, error);
        if (error && status.type() != fs::file_type::not_found) {
            return fail(folder.string() + ": " + error.message());
        }
        if (fs::exists(status)) {
            if (!fs::is_directory(status)) return fail(folder.string() + ": not a folder");
            break;
        }
        if (folder == folder.parent_path()) break;
    }
    const fs::path entry = PortMapEntry(n);
    if (entry.empty()) return SystemDevice(n);  // no map at all
    const fs::file_status status = fs::symlink_status(entry, error);
    if (status.type() == fs::file_type::not_found) return SystemDevice(n);
    if (error) return fail(entry.string() + ": " + error.message());
    if (!fs::is_symlink(status)) return fail(entry.string() + ": not a symbolic link");
    const std::string device = EntryTarget(entry, error).string();
    if (error) return fail(entry.string() + ": " + error.message());
    if (!fs::exists(device, error)) {
        return fail(device + ": " +
                    (error ? error.message()
                           : std::make_error_code(std::errc::no_such_file_or_directory).message()));
    }
    return device;
}

std::string PortTarget(int n) {
    const std::string device = PortDevicePath(n);
    std::error_code error;
    const fs::path target = EntryTarget(device, error);
    return error ? device : target.string();
}

std::vector<int> MappedPorts() {
    std::vector<int> ports;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(PortMapFolder(), error)) {
        const std::string name = entry.path().filename().string();
        // com<n> exactly as PortMapEntry names it: digits without a leading zero.
        if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "com") != 0 ||
            name[3] == '0' || name.find_first_not_of("0123456789", 3) != std::string::npos) {
            continue;
        }
        const int n = std::stoi(name.substr(3));
        if (n >= 1) ports.push_back(n);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

bool MapPort(int n, const std::string& device, std::string* why) {
    std::error_code error;
    if (n < 1) {
        if (why != nullptr) *why = "port numbers start at 1";
        return false;
    }
    if (PortMapFolder().empty()) {
        if (why != nullptr) *why = "no home folder to keep the port map in";
        return false;
    }
    fs::create_directories(PortMapFolder(), error);
    if (!error) {
        // Make the new link under another name, then rename it into place, so that
        // the entry is never missing in between.
        const fs::path entry = PortMapEntry(n);
        const fs::path fresh = entry.string() + ".new";
        fs::remove(fresh, error);
        fs::create_symlink(device, fresh, error);
        if (!error) fs::rename(fresh, entry, error);
    }
    if (error && why != nullptr) *why = PortMapFolder() + ": " + error.message();
    return !error;
}

bool UnmapPort(int n, std::string* why) {
    const std::string entry = n < 1 ? std::string() : PortMapEntry(n);
    if (entry.empty()) return true;
    std::error_code error;
    fs::remove(entry, error);
    if (error && why != nullptr) *why = entry + ": " + error.message();
    return !error;
}

}  // namespace ixo
