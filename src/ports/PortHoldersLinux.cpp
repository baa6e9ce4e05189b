// Port holders on Linux, found through /proc: the descriptors each process has open
// (as fuser finds them) and the controlling terminal of each (field 7 of its stat).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "ports/PortHolders.h"

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

// The kernel's mark, in the flags of a process's stat, of a kernel thread: a thread
// that has no descriptors and no terminal, so no tty to hold.
constexpr unsigned long KernelThread = 0x00200000;

// Reads the small file at path, relative to /proc, whole; empty when it cannot be
// read (the process has ended meanwhile). Plain system calls: this runs for every
// process on the machine before a port opens.
std::optional<std::string> ReadSmallFile(int proc, const char* path) {
    const int fd = ::openat(proc, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[1024];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got <= 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(got));
}

// A process as its stat line gives it: "pid (comm) state ppid pgrp session tty_nr
// tpgid flags ...".
struct ProcessStat {
    std::string Command;
    long Session = 0;
    dev_t Terminal = 0;
    bool IsKernelThread = false;
};

std::optional<ProcessStat> ReadStat(int proc, const std::string& pid) {
    const std::optional<std::string> line = ReadSmallFile(proc, (pid + "/stat").c_str());
    if (!line) return std::nullopt;
    // The command may hold blanks and parentheses: it ends at the last ')'.
    const std::size_t open = line->find('(');
    const std::size_t close = line->rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::nullopt;
    }
    // After the command: state, ppid, pgrp, session, tty_nr, tpgid, flags.
    const char* rest = line->c_str() + close + 1;
    char* end = nullptr;
    while (*rest == ' ') ++rest;
    if (*rest == '\0') return std::nullopt;
    ++rest;  // the state, one letter
    long numbers[5] = {};
    for (long& number : numbers) {
        number = std::strtol(rest, &end, 10);
        if (end == rest) return std::nullopt;
        rest = end;
    }
    const unsigned long flags = std::strtoul(rest, &end, 10);
    if (end == rest) return std::nullopt;
    const unsigned long terminal = static_cast<unsigned long>(numbers[3]);
    // tty_nr packs the device number as the kernel's new_encode_dev does.
    const unsigned major = (terminal >> 8) & 0xfff;
    const unsigned minor = (terminal & 0xff) | ((terminal >> 12) & 0xfff00);
    return ProcessStat{line->substr(open + 1, close - open - 1), numbers[2],
                       terminal != 0 ? makedev(major, minor) : 0, (flags & KernelThread) != 0};
}

// The number of the pseudo-terminal whose slave side is rdev (its name in /dev/pts);
// empty when rdev is no such slave.
std::optional<unsigned> PseudoTerminalIndex(dev_t rdev) {
    constexpr unsigned FirstSlaveMajor = 136;
    constexpr unsigned LastSlaveMajor = 143;
    const unsigned number = major(rdev);
    if (number < FirstSlaveMajor || number > LastSlaveMajor) return std::nullopt;
    return (number - FirstSlaveMajor) * 256 + minor(rdev);
}

// Whether one of the descriptors names of the process is the master side of
// pseudo-terminal index, as its fdinfo says.
bool HasMasterOf(int proc, const std::string& pid, const std::vector<std::string>& names,
                 unsigned index) {
    const std::string field = "tty-index:\t";
    for (const std::string& name : names) {
        const std::optional<std::string> info =
            ReadSmallFile(proc, (pid + "/fdinfo/" + name).c_str());
        const std::size_t at = info ? info->find(field) : std::string::npos;
        if (at != std::string::npos &&
            std::strtoul(info->c_str() + at + field.size(), nullptr, 10) == index) {
            return true;
        }
    }
    return false;
}

// Whether the process has a descriptor open on the character device rdev; empty when
// its descriptors cannot be looked at. The folder is read with getdents64 itself:
// a DIR would cost two more calls for each of the machine's processes. A process that
// has the master side of a pseudo-terminal open as well as its slave is the
// terminal's other end (a simulated device), not a program using it.
std::optional<bool> HasOpen(int proc, const std::string& pid, dev_t rdev) {
    const std::optional<unsigned> pseudoTerminal = PseudoTerminalIndex(rdev);
    const dev_t masters = makedev(5, 2);  // /dev/ptmx and /dev/pts/ptmx
    std::vector<std::string> masterNames;
    const int folder = ::openat(proc, (pid + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        if (errno == EACCES || errno == EPERM) return std::nullopt;
        return false;  // the process has ended meanwhile
    }
    alignas(dirent64) char buffer[8192];
    bool found = false;
    bool refused = false;
    long got = 0;
    // With a pseudo-terminal found, the rest are looked at for its master.
    const auto done = [&] { return found && !pseudoTerminal; };
    while (!done() && !refused &&
           (got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0) {
        for (long at = 0; at < got && !done() && !refused;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (entry->d_name[0] == '.') continue;
            struct stat target {};
            if (::fstatat(folder, entry->d_name, &target, 0) == 0) {
                if (!S_ISCHR(target.st_mode)) continue;
                if (target.st_rdev == rdev) found = true;
                if (pseudoTerminal && target.st_rdev == masters) {
                    masterNames.emplace_back(entry->d_name);
                }
            } else if (errno == EACCES || errno == EPERM) {
                // Whether a descriptor may be followed is decided for the whole
                // process (one of another user namespace lists its descriptors but
                // lets none be followed): the rest would be refused too, and a
                // refused one counts, as always, as not this device.
                refused = true;
            }
        }
    }
    ::close(folder);
    return found && !(pseudoTerminal && HasMasterOf(proc, pid, masterNames, *pseudoTerminal));
}

Holders FindHolders(dev_t rdev) {
    Holders holders;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return holders;
    const int proc = ::dirfd(processes);
    const std::string own = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(processes)) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == own) continue;
        const std::optional<ProcessStat> stat = ReadStat(proc, pid);
        if (!stat || stat->IsKernelThread) continue;
        const long number = std::strtol(pid.c_str(), nullptr, 10);
        int rank = 0;
        if (stat->Terminal != 0 && stat->Terminal == rdev) {
            rank = stat->Session == number ? 1 : 2;
        } else {
            const std::optional<bool> open = HasOpen(proc, pid, rdev);
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
