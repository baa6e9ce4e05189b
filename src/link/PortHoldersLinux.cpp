// Port holders on Linux, found through /proc: the descriptors each process has open
// (as fuser finds them) and the controlling terminal of each (field 7 of its stat).

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "link/PortHolders.h"

namespace ixo {

namespace {

struct Holder {
    long Pid = 0;
    std::string Command;
    // How it holds the tty; a lower rank names it better: the session leader whose
    // terminal it is (the shell), then another process of that terminal, then one that
    // merely has it open.
    int Rank = 0;
};

struct Holders {
    std::optional<Holder> Best;
    bool Hidden = false;  // some process's descriptors could not be looked at
};

// A process as its stat line gives it: "pid (comm) state ppid pgrp session tty_nr ...".
struct ProcessStat {
    std::string Command;
    long Session = 0;
    dev_t Terminal = 0;
};

std::optional<ProcessStat> ReadStat(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    // The command may hold blanks and parentheses: it ends at the last ')'.
    const std::size_t open = line.find('(');
    const std::size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::nullopt;
    }
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    long parent = 0, group = 0, session = 0;
    unsigned long terminal = 0;
    if (!(rest >> state >> parent >> group >> session >> terminal)) return std::nullopt;
    // tty_nr packs the device number as the kernel's new_encode_dev does.
    const unsigned major = (terminal >> 8) & 0xfff;
    const unsigned minor = (terminal & 0xff) | ((terminal >> 12) & 0xfff00);
    return ProcessStat{line.substr(open + 1, close - open - 1), session,
                       terminal != 0 ? makedev(major, minor) : 0};
}

// Whether the process has a descriptor open on the character device rdev; empty when
// its descriptors cannot be looked at.
std::optional<bool> HasOpen(const std::string& pid, dev_t rdev) {
    const std::string folder = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) {
        if (errno == EACCES || errno == EPERM) return std::nullopt;
        return false;  // the process has ended meanwhile
    }
    bool found = false;
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.') continue;
        struct stat target {};
        if (::stat((folder + "/" + entry->d_name).c_str(), &target) == 0 &&
            S_ISCHR(target.st_mode) && target.st_rdev == rdev) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

Holders FindHolders(dev_t rdev) {
    Holders holders;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return holders;
    const std::string own = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(processes)) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == own) continue;
        const std::optional<ProcessStat> stat = ReadStat(pid);
        if (!stat) continue;
        const long number = std::strtol(pid.c_str(), nullptr, 10);
        int rank = 0;
        if (stat->Terminal != 0 && stat->Terminal == rdev) {
            rank = stat->Session == number ? 1 : 2;
        } else {
            const std::optional<bool> open = HasOpen(pid, rdev);
            if (!open) holders.Hidden = true;
            if (open.value_or(false)) rank = 3;
        }
        if (rank == 0) continue;
        if (!holders.Best || rank < holders.Best->Rank ||
            (rank == holders.Best->Rank && number < holders.Best->Pid)) {
            holders.Best = Holder{number, stat->Command, rank};
        }
    }
    ::closedir(processes);
    return holders;
}

// The device number of device when it is a character device (a tty) with one, else
// empty. (0 is no device: it is the terminal of every process that has none.)
std::optional<dev_t> TtyNumber(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) || info.st_rdev == 0) {
        return std::nullopt;
    }
    return info.st_rdev;
}

std::string Named(const std::string& device, const Holder& holder) {
    const std::string who = holder.Command + " (pid " + std::to_string(holder.Pid) + ")";
    return holder.Rank < 3 ? device + " is the terminal of " + who : device + ": in use by " + who;
}

}  // namespace

std::string ProcessHolder(const std::string& device) {
    const std::optional<dev_t> rdev = TtyNumber(device);
    if (!rdev) return {};
    const Holders holders = FindHolders(*rdev);
    return holders.Best ? Named(device, *holders.Best) : std::string();
}

std::string BusyReason(const std::string& device) {
    const std::string busy = device + ": " + std::strerror(EBUSY);
    const std::optional<dev_t> rdev = TtyNumber(device);
    if (!rdev) return busy;
    const Holders holders = FindHolders(*rdev);
    if (holders.Best) return Named(device, *holders.Best);
    return holders.Hidden ? busy + " (by a process that this user cannot see)" : busy;
}

}  // namespace ixo
