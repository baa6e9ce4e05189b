#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "sim/PortTakeover.h"
#include "sim/SimDeviceImpl.h"

// The device's pseudo-terminal: opened and set up, watched for who has it open, hung
// up; and the port map entries that point at it.

namespace ixo::sim {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Clears the exclusive mark of the tty port: called once nobody else has it open,
// when the mark can only have been left by a program that ended without clearing it.
void ClearLeftMark(int port) {
    int marked = 0;
    if (::ioctl(port, TIOCGEXCL, &marked) == 0 && marked != 0) ::ioctl(port, TIOCNXCL);
}

// Whether a process has the tty path open through a descriptor other than ownPort,
// this process's own side of it, as /proc shows (a user who is not root does not see
// other users' descriptors).
bool OthersHaveOpen(const std::string& path, int ownPort) {
    namespace fs = std::filesystem;
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code unseen;
        for (const fs::directory_entry& fd :
             fs::directory_iterator(process.path() / "fd", unseen)) {
            if (pid == self && fd.path().filename() == std::to_string(ownPort)) continue;
            std::error_code gone;
            if (fs::read_symlink(fd.path(), gone) == path) return true;
        }
    }
    return false;
}

}  // namespace

SimDevice::SimDevice() : impl_(std::make_unique<Impl>()) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        impl_->OpenFailure = SystemError("posix_openpt");
        return;
    }
    impl_->Attach(master);
}

SimDevice::SimDevice(int master) : impl_(std::make_unique<Impl>()) {
    int own = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
    if (own < 0 || ::fcntl(own, F_SETFL, ::fcntl(own, F_GETFL) | O_NONBLOCK) != 0) {
        impl_->OpenFailure = SystemError("pseudo-terminal");
        CloseFd(own);
        return;
    }
    impl_->Attach(own);
}

void SimDevice::Impl::Attach(int master) {
    Master = master;
    std::array<char, 128> name{};
    if (::grantpt(Master) != 0 || ::unlockpt(Master) != 0 ||
        ::ptsname_r(Master, name.data(), name.size()) != 0) {
        OpenFailure = SystemError("pseudo-terminal");
        CloseFd(Master);
        return;
    }
    Path = name.data();
    // The port's side is set up once and kept open, never read or written. Opens and
    // closes by others count from here on.
    Port = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool raw = Port >= 0 && MakeRaw(Port);
    Openings = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (Openings >= 0 && ::inotify_add_watch(Openings, Path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        CloseFd(Openings);
    }
    int wake[2] = {-1, -1};
    if (!raw || !MakeRaw(Master) || ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        OpenFailure = SystemError(Path);
        CloseFd(Master);
        CloseFd(Port);
        return;
    }
    WakeRead = wake[0];
    WakeWrite = wake[1];
}

SimDevice::~SimDevice() {
    Stop();
    Impl& d = *impl_;
    d.GiveBackPorts();
    CloseFd(d.Master);
    CloseFd(d.Port);
    CloseFd(d.Openings);
    CloseFd(d.WakeRead);
    CloseFd(d.WakeWrite);
}

// Counts the opens and closes of the tty since the last look. Once nobody but the
// device has it open, a mark still on it was left by a program that could not clear
// it (killed with SIGKILL): it would keep every other user out.
void SimDevice::Impl::CountOpeners() {
    alignas(inotify_event) char events[4096];
    ssize_t got = 0;
    bool closed = false;
    while ((got = ::read(Openings, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_OPEN) != 0) ++Openers;
            if ((event->mask & IN_CLOSE) != 0) --Openers;
            closed = closed || (event->mask & IN_CLOSE) != 0;
        }
    }
    // inotify merges an event into an unread one just like it, so two closes in
    // quick succession (a program killed just after another's open failed) count
    // as one: after a close the count is checked against who has the tty open.
    if (closed && Openers > 0 && !OthersHaveOpen(Path, Port)) Openers = 0;
    if (Openers <= 0) {
        Openers = 0;
        ClearLeftMark(Port);
    }
}

void SimDevice::Impl::HangUp() {
    // Closing the master is what the other side sees as the line going away.
    CloseFd(Master);
    CloseFd(Port);
    Output.Clear();
    Input.Forget();
    Logic.Reset();
    {
        std::lock_guard lock(Mutex);
        HungUp = true;
    }
    GiveBackPorts();
}

void SimDevice::Impl::GiveBackPorts() {
    std::vector<int> ports;
    {
        std::lock_guard lock(Mutex);
        ports.swap(MappedPorts);
    }
    for (auto port = ports.rbegin(); port != ports.rend(); ++port) GiveBackPort(*port, Path);
}

bool SimDevice::MapAsPort(int n, std::string* why) {
    Impl& d = *impl_;
    if (d.Path.empty()) {
        if (why != nullptr) *why = d.OpenFailure;
        return false;
    }
    // Under the lock, so that a hang-up meanwhile gives back this entry too.
    std::lock_guard lock(d.Mutex);
    if (d.HungUp) {
        if (why != nullptr) *why = "the device has hung up";
        return false;
    }
    // An entry already there (a USB adapter, say) comes back when the device goes.
    if (!TakeOverPort(n, d.Path, why)) return false;
    if (std::find(d.MappedPorts.begin(), d.MappedPorts.end(), n) == d.MappedPorts.end()) {
        d.MappedPorts.push_back(n);
    }
    return true;
}

}  // namespace ixo::sim
