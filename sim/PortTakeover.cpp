#include "sim/PortTakeover.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "ports/PortNames.h"

namespace ixo::sim {

namespace fs = std::filesystem;

namespace {

// One take-over: the process whose simulator made it, the device it pointed the
// entry at, and the target of the link it replaced (empty: there was no entry).
struct Takeover {
    long Process = 0;
    std::string Device;
    std::string Replaced;
};

// Holds the lock on the map folder while it lives.
class MapLock {
public:
    explicit MapLock(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~MapLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    MapLock(const MapLock&) = delete;
    MapLock& operator=(const MapLock&) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

fs::path RecordOf(int n) {
    return fs::path(PortMapFolder()) / (".com" + std::to_string(n) + ".taken");
}

// The record's lines: process, device and replaced target, separated by tabs.
std::vector<Takeover> ReadRecord(int n) {
    std::vector<Takeover> takeovers;
    std::ifstream in(RecordOf(n));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Takeover takeover;
        std::string process;
        if (std::getline(fields, process, '\t') && std::getline(fields, takeover.Device, '\t')) {
            std::getline(fields, takeover.Replaced);
            takeover.Process = std::atol(process.c_str());
            takeovers.push_back(takeover);
        }
    }
    return takeovers;
}

// True when the record holds takeovers (or is gone, when there are none).
bool WriteRecord(int n, const std::vector<Takeover>& takeovers) {
    std::error_code error;
    if (takeovers.empty()) return fs::remove(RecordOf(n), error) || !error;
    const fs::path fresh = RecordOf(n).string() + ".new";
    {
        std::ofstream out(fresh, std::ios::trunc);
        for (const Takeover& t : takeovers) {
            out << t.Process << '\t' << t.Device << '\t' << t.Replaced << '\n';
        }
        out.flush();
        if (!out) return false;
    }
    fs::rename(fresh, RecordOf(n), error);
    return !error;
}

// Where the entry's link points; nothing when it is no link.
std::optional<std::string> LinkTarget(const fs::path& entry) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(entry, error))) return std::nullopt;
    const fs::path target = fs::read_symlink(entry, error);
    if (error) return std::nullopt;
    return target.string();
}

// Takes back the take-over at index: a later take-over that replaced its device
// inherits what it replaced; else, when the entry still points at its device, what
// it replaced is put back.
void Release(int n, std::vector<Takeover>& takeovers, std::size_t index) {
    const Takeover released = takeovers[index];
    takeovers.erase(takeovers.begin() + static_cast<std::ptrdiff_t>(index));
    for (Takeover& later : takeovers) {
        if (later.Replaced == released.Device) {
            later.Replaced = released.Replaced;
            return;
        }
    }
    const fs::path entry = PortMapEntry(n);
    if (LinkTarget(entry) != released.Device) return;
    std::error_code error;
    if (released.Replaced.empty()) {
        fs::remove(entry, error);
    } else {
        MapPort(n, released.Replaced);
    }
}

// Releases the take-overs of processes that ended without giving back (killed).
void ReleaseEnded(int n, std::vector<Takeover>& takeovers) {
    for (std::size_t i = takeovers.size(); i-- > 0;) {
        if (::kill(static_cast<pid_t>(takeovers[i].Process), 0) != 0 && errno == ESRCH) {
            Release(n, takeovers, i);
        }
    }
}

bool Fail(std::string* why, const std::string& text) {
    if (why != nullptr) *why = text;
    return false;
}

// Points COMn at device and records what it replaced, unless the entry is something
// that could not be put back exactly.
bool TakeOver(int n, const std::string& device, std::vector<Takeover>& takeovers,
              std::string* why) {
    const fs::path entry = PortMapEntry(n);
    const std::optional<std::string> replaced = LinkTarget(entry);
    std::error_code error;
    if (!replaced && fs::symlink_status(entry, error).type() != fs::file_type::not_found) {
        return Fail(why, entry.string() + ": not a symbolic link; left as it is");
    }
    const std::string before = replaced.value_or("");
    if (before == device) return true;
    // The record keeps one take-over a line, its fields apart by tabs.
    if (before.find_first_of("\t\n") != std::string::npos) {
        return Fail(why, entry.string() + ": a link this simulator cannot put back");
    }
    // Recorded first: an entry taken over without a record could not be given back.
    takeovers.push_back({static_cast<long>(::getpid()), device, before});
    if (!WriteRecord(n, takeovers)) {
        takeovers.pop_back();
        return Fail(why, RecordOf(n).string() + ": cannot be written");
    }
    if (MapPort(n, device, why)) return true;
    takeovers.pop_back();
    return false;
}

}  // namespace

bool TakeOverPort(int n, const std::string& device, std::string* why) {
    if (n < 1) return Fail(why, "port numbers start at 1");
    if (PortMapFolder().empty()) return Fail(why, "no home folder to keep the port map in");
    std::error_code error;
    fs::create_directories(PortMapFolder(), error);
    const MapLock lock(PortMapFolder());
    if (!lock.Held()) return Fail(why, PortMapFolder() + ": " + std::strerror(errno));
    std::vector<Takeover> takeovers = ReadRecord(n);
    ReleaseEnded(n, takeovers);
    const bool taken = TakeOver(n, device, takeovers, why);
    WriteRecord(n, takeovers);
    return taken;
}

void GiveBackPort(int n, const std::string& device) {
    if (n < 1 || PortMapFolder().empty()) return;
    const MapLock lock(PortMapFolder());
    if (!lock.Held()) return;
    std::vector<Takeover> takeovers = ReadRecord(n);
    // Latest first: a device that took the port over twice, around another's
    // take-over, ends as it began.
    for (std::size_t i = takeovers.size(); i-- > 0;) {
        if (takeovers[i].Device == device && takeovers[i].Process == ::getpid()) {
            Release(n, takeovers, i);
        }
    }
    ReleaseEnded(n, takeovers);
    WriteRecord(n, takeovers);
}

}  // namespace ixo::sim
