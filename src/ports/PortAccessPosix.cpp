#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>

#include "ports/PortAccess.h"

namespace ixo {

namespace {

namespace fs = std::filesystem;

// The process number in a lock file: decimal text, padded with spaces and ending in a
// newline in most programs, exactly the bytes of an int in some old ones; 0 when
// there is none. Text is what holds nothing but digits, spaces and line ends: a short
// number's text can be an int's size ("107\n"), but a process number's int never
// looks like text, since process numbers stay far below 2^24 and so an int of one
// holds a zero byte.
long LockFilePid(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text(32, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    const bool isText = std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == ' ' || c == '\t' || c == '\n' || c == '\r';
    });
    int binary = 0;
    if (!isText && text.size() == sizeof binary) {
        std::memcpy(&binary, text.data(), sizeof binary);
        return binary;
    }
    char* end = nullptr;
    const long pid = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() ? pid : 0;
}

bool Lives(long pid) {
    // Only a single process's number: kill(-1) or kill(0) would ask about many.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
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
