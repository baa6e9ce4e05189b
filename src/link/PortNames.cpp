#include "link/PortNames.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ixo {

namespace fs = std::filesystem;

namespace {

fs::path MapEntry(int n) {
    return fs::path(PortMapFolder()) / ("com" + std::to_string(n));
}

}  // namespace

std::string PortName(int n) {
    return "COM" + std::to_string(n);
}

std::string PortMapFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (config != nullptr && *config != '\0') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home != nullptr ? home : ".") / ".config";
    }
    return (base / "ixo-loader" / "ports").string();
}

std::string PortDevicePath(int n) {
    if (n < 1) return {};
    const fs::path entry = MapEntry(n);
    std::error_code error;
    if (fs::is_symlink(entry, error) || fs::exists(entry, error)) return entry.string();
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string PortTarget(int n) {
    const std::string device = PortDevicePath(n);
    std::error_code error;
    const fs::path target = fs::read_symlink(device, error);
    if (error) return device;
    return (fs::path(device).parent_path() / target).lexically_normal().string();
}

bool MapPort(int n, const std::string& device, std::string* why) {
    std::error_code error;
    if (n < 1) {
        if (why != nullptr) *why = "port numbers start at 1";
        return false;
    }
    fs::create_directories(PortMapFolder(), error);
    if (!error) {
        // Make the new link under another name, then rename it into place, so that
        // the entry is never missing in between.
        const fs::path entry = MapEntry(n);
        const fs::path fresh = entry.string() + ".new";
        fs::remove(fresh, error);
        fs::create_symlink(device, fresh, error);
        if (!error) fs::rename(fresh, entry, error);
    }
    if (error && why != nullptr) *why = PortMapFolder() + ": " + error.message();
    return !error;
}

bool UnmapPort(int n, std::string* why) {
    if (n < 1) return true;
    std::error_code error;
    fs::remove(MapEntry(n), error);
    if (error && why != nullptr) *why = MapEntry(n).string() + ": " + error.message();
    return !error;
}

}  // namespace ixo
