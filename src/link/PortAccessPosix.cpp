#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include "link/PortAccess.h"

namespace ixo {

namespace {

namespace fs = std::filesystem;

// The process number in a lock file: ten characters of decimal text in most
// programs, a binary int in some old ones.
long LockFilePid(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char bytes[32] = {};
    in.read(bytes, sizeof bytes);
    const std::streamsize size = in.gcount();
    std::size_t at = 0;
    while (at < static_cast<std::size_t>(size) &&
           std::isspace(static_cast<unsigned char>(bytes[at])))
        ++at;
    long pid = 0;
    bool digits = false;
    while (at < static_cast<std::size_t>(size) &&
           std::isdigit(static_cast<unsigned char>(bytes[at])) && pid < 100000000) {
        pid = pid * 10 + (bytes[at++] - '0');
        digits = true;
    }
    if (!digits && size == sizeof(int)) {
        int binary = 0;
        std::copy(bytes, bytes + sizeof binary, reinterpret_cast<char*>(&binary));
        pid = binary;
    }
    return pid;
}

bool Lives(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

std::vector<std::string> LockFileFolders() {
    return {"/run/lock", "/var/lock"};
}

long LockFileHolder(const std::string& device, const std::vector<std::string>& folders) {
    // The device's own name and those of the links it leads through
    // (/dev/serial/by-id/... -> ttyUSB0): another program may have used any of them.
    std::set<std::string> names;
    fs::path path = device;
    std::error_code error;
    for (int hop = 0; hop < 8 && !error; ++hop) {
        names.insert(path.filename().string());
        const fs::path target = fs::read_symlink(path, error);
        path = path.parent_path() / target;
    }
    for (const std::string& folder : folders) {
        for (const std::string& name : names) {
            const fs::path file = fs::path(folder) / ("LCK.." + name);
            if (!fs::exists(file, error)) continue;
            const long pid = LockFilePid(file);
            if (Lives(pid) && pid != ::getpid()) return pid;
        }
    }
    return 0;
}

std::string PermissionHint(const std::string& device) {
    if (::access(device.c_str(), R_OK | W_OK) == 0 || errno != EACCES) return {};
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return {};
    const group* owner = ::getgrgid(info.st_gid);
    if (owner == nullptr || (info.st_mode & S_IRWXG) != (S_IRGRP | S_IWGRP)) {
        return "ask the administrator for access to " + device;
    }
    const std::string name = owner->gr_name;
    return "join the group '" + name + "' that owns " + device + " (sudo usermod -aG " + name +
           " \"$USER\"), then log in again";
}

}  // namespace ixo
