#include "sim/SimDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "sim/DeviceLogic.h"
#include "sim/LinePacing.h"
#include "sim/PortTakeover.h"

// The serving thread goes round four steps: send the answer bytes that are due, wait
// for something to do, receive (take the bytes that have arrived, or at a paced rate
// the one whose time has come), and for each byte taken decide what it calls for
// (DeviceLogic) and pace the answer (OutputQueue) for a later send.

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

// Paced bytes are timed in fractions of a millisecond; the default timer slack of
// a thread (50 us on Linux) would make each wait late by a sizeable part of a byte.
#ifdef __linux__
void TightenTimers() {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}
#else
void TightenTimers() {}
#endif

// The most bytes one read or write moves.
constexpr std::size_t ChunkSize = 4096;

// While the tty has nobody on it (its own side too hung up from outside), the device
// looks this often whether someone has opened it.
// Well within the time a first answer byte is allowed.
constexpr int UnopenedLookMs = 10;

// Clears the exclusive mark of the tty port: called once nobody else has it open,
// when the mark can only have been left by a program that ended without clearing it.
void ClearLeftMark(int port) {
    int marked = 0;
    if (::ioctl(port, TIOCGEXCL, &marked) == 0 && marked != 0) ::ioctl(port, TIOCNXCL);
}

// Whether a failed read of the master leaves the line alive: nothing there yet, or
// nobody has the tty open (EIO), which the next opener ends.
bool Unread(int error) {
    return error == EAGAIN || error == EINTR || error == EIO;
}

}  // namespace

struct SimDevice::Impl {
    // Opened by the constructor; the serving thread closes it when it hangs up, and
    // only while it runs.
    int Master = -1;
    int Port = -1;      // the tty's own side, kept open to clear a mark left behind
    int Openings = -1;  // inotify: the opens and closes of the tty by others
    int WakeRead = -1;
    int WakeWrite = -1;
    std::string Path;
    std::string OpenFailure;
    std::thread Server;
    std::function<void(TraceDirection, std::uint8_t)> Trace;  // set before Start
    DeviceMemory Memory;

    // Shared with the serving thread.
    mutable std::mutex Mutex;
    mutable std::condition_variable ReceivedGrew;
    SimFaults Faults;
    long ReceivedSinceFaults = 0;
    std::vector<std::uint8_t> ReceivedBytes;
    bool KeepReceived = true;
    bool Stopping = false;
    bool HungUp = false;
    std::vector<int> MappedPorts;  // in the order MapAsPort took them over

    // The serving thread's own.
    DeviceLogic Logic{Memory};
    InputPacing Input;
    OutputQueue Output;
    int Openers = 0;  // how many others have the tty open

    // Takes master as the device's side of its pseudo-terminal and sets both sides up.
    void Attach(int master);
    void Wake();
    void DrainWake();
    // Waits for a wake-up, at most limitMs (-1: however long it takes).
    void WaitForWake(int limitMs = -1);
    // True when the faults call for a hang-up now. Called with Mutex held.
    bool HangUpDue() const;

    void Serve();
    bool Send(Clock::time_point now);
    std::optional<short> WaitForWork(bool sendBlocked, int baud);
    bool Receive(short lineEvents, int baud);
    bool ReadChunk();
    bool TakePacedByte(Clock::time_point at);
    void CountOpeners();
    bool Act(std::uint8_t byte, Clock::time_point at);
    std::size_t Waiting() const;
    void HangUp();
    // Gives back every port map entry the device took over, latest first.
    void GiveBackPorts();
};

void SimDevice::Impl::Wake() {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] const auto ignored = ::write(WakeWrite, &byte, 1);
}

void SimDevice::Impl::DrainWake() {
    char bytes[64];
    while (::read(WakeRead, bytes, sizeof bytes) > 0) {
    }
}

void SimDevice::Impl::WaitForWake(int limitMs) {
    pollfd wake{WakeRead, POLLIN, 0};
    if (::poll(&wake, 1, limitMs) > 0) DrainWake();
}

bool SimDevice::Impl::HangUpDue() const {
    return Faults.HangUpAfter >= 0 && ReceivedSinceFaults >= Faults.HangUpAfter;
}

void SimDevice::Impl::Serve() {
    TightenTimers();
    for (;;) {
        SimFaults faults;
        bool hangUp = false;
        {
            std::lock_guard lock(Mutex);
            if (Stopping) return;
            faults = Faults;
            hangUp = HangUpDue();
        }
        if (hangUp && Master >= 0) HangUp();
        if (Master < 0) {
            // Hung up: nothing left to serve until Stop.
            WaitForWake();
            continue;
        }
        const bool sendBlocked = !Send(Clock::now());
        if (Master < 0) continue;
        const std::optional<short> lineEvents = WaitForWork(sendBlocked, faults.PaceBaud);
        if (!lineEvents || !Receive(*lineEvents, faults.PaceBaud)) HangUp();
    }
}

// Send: writes every queued byte that is due. False when the line cannot take them
// now.
bool SimDevice::Impl::Send(Clock::time_point now) {
    std::array<std::uint8_t, ChunkSize> chunk{};
    const std::size_t count = Output.CopyDue(now, chunk);
    if (count == 0) return true;
    const ssize_t sent = ::write(Master, chunk.data(), count);
    if (sent < 0) {
        if (errno == EAGAIN || errno == EINTR) return false;
        HangUp();
        return true;
    }
    const auto gone = static_cast<std::size_t>(sent);
    if (Trace) {
        for (const std::uint8_t byte : std::span(chunk).first(gone)) {
            Trace(TraceDirection::Sent, byte);
        }
    }
    Output.Drop(gone);
    return gone == count;
}

// Waits until there is something to do: a byte due to be taken or sent, input to
// look at, room in the line when a send was blocked, or a wake-up (new faults, Stop).
// Gives the line's events (none after an interruption); empty when the wait failed.
std::optional<short> SimDevice::Impl::WaitForWork(bool sendBlocked, int baud) {
    const std::optional<Clock::time_point> takeAt = Input.NextTake(baud);
    std::optional<Clock::time_point> deadline = takeAt;
    const std::optional<Clock::time_point> due = Output.NextDue();
    if (!sendBlocked && due) deadline = deadline ? std::min(*deadline, *due) : *due;
    short events = 0;
    // A byte already counted is taken at its time, however readable the line is.
    if (!takeAt) events |= POLLIN;
    if (sendBlocked) events |= POLLOUT;
    pollfd fds[3] = {{WakeRead, POLLIN, 0}, {Master, events, 0}, {Openings, POLLIN, 0}};
    timespec timeout{};
    timespec* limit = nullptr;
    if (deadline) {
        const auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        limit = &timeout;
    }
    if (::ppoll(fds, 3, limit, nullptr) < 0) {
        if (errno == EINTR) return 0;
        return std::nullopt;
    }
    if ((fds[0].revents & POLLIN) != 0) DrainWake();
    if ((fds[2].revents & POLLIN) != 0) CountOpeners();
    // The master hangs up while nobody has the tty open: nothing to do until someone
    // does, which the master does not tell. Look again a little later.
    if ((fds[1].revents & (POLLHUP | POLLIN)) == POLLHUP) {
        WaitForWake(UnopenedLookMs);
        return 0;
    }
    return fds[1].revents;
}

// Receive: paced at baud, takes the byte whose time has come, or counts the bytes
// that have arrived so that each gets its time; unpaced, takes every byte that has
// arrived. False when the line has gone.
bool SimDevice::Impl::Receive(short lineEvents, int baud) {
    if (const std::optional<Clock::time_point> takeAt = Input.NextTake(baud)) {
        return Clock::now() < *takeAt || TakePacedByte(*takeAt);
    }
    if ((lineEvents & POLLIN) != 0) {
        if (baud <= 0) return ReadChunk();
        // Readable with nothing counted: take a byte all the same.
        Input.Look(std::max<std::size_t>(Waiting(), 1), Clock::now());
        return true;
    }
    return (lineEvents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

bool SimDevice::Impl::ReadChunk() {
    Input.Forget();
    std::array<std::uint8_t, ChunkSize> chunk{};
    const ssize_t got = ::read(Master, chunk.data(), chunk.size());
    if (got < 0) return Unread(errno);
    if (got == 0) return false;
    const auto now = Clock::now();
    for (const std::uint8_t byte : std::span(chunk).first(static_cast<std::size_t>(got))) {
        // The rest of the chunk is lost with the line.
        if (!Act(byte, now)) return false;
    }
    return true;
}

bool SimDevice::Impl::TakePacedByte(Clock::time_point at) {
    std::uint8_t byte = 0;
    const ssize_t got = ::read(Master, &byte, 1);
    if (got < 0) {
        // Nothing there: the other side purged its output or closed the port meanwhile.
        Input.Forget();
        return Unread(errno);
    }
    if (got == 0) return false;
    Input.Took(at);
    if (!Act(byte, at)) return false;
    Input.Look(Waiting(), Clock::now());
    return true;
}

// Decide and pace: acts on one received byte, taken at time at, and queues the answer
// it calls for. Then records the byte, so that a byte shows in Received only once its
// effect has been made. False when the device must hang up now.
bool SimDevice::Impl::Act(std::uint8_t byte, Clock::time_point at) {
    SimFaults faults;
    bool hangUp = false;
    bool newFaults = false;
    {
        std::lock_guard lock(Mutex);
        newFaults = ++ReceivedSinceFaults == 1;
        faults = Faults;
        hangUp = HangUpDue();
    }
    if (newFaults) Logic.CatchUp();
    if (!hangUp) {
        if (const std::optional<Answer> answer = Logic.Take(byte, faults)) {
            Output.Queue(*answer, at, faults.PaceBaud);
        }
    }
    {
        std::lock_guard lock(Mutex);
        if (KeepReceived) ReceivedBytes.push_back(byte);
    }
    ReceivedGrew.notify_all();
    if (Trace) Trace(TraceDirection::Received, byte);
    return !hangUp;
}

// Counts the opens and closes of the tty since the last look. Once nobody but the
// device has it open, a mark still on it was left by a program that could not clear
// it (killed with SIGKILL): it would keep every other user out.
void SimDevice::Impl::CountOpeners() {
    alignas(inotify_event) char events[4096];
    ssize_t got = 0;
    while ((got = ::read(Openings, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_OPEN) != 0) ++Openers;
            if ((event->mask & IN_CLOSE) != 0) --Openers;
        }
    }
    if (Openers <= 0) {
        Openers = 0;
        ClearLeftMark(Port);
    }
}

// The count of received bytes waiting in the line.
std::size_t SimDevice::Impl::Waiting() const {
    int available = 0;
    if (::ioctl(Master, FIONREAD, &available) != 0 || available < 0) return 0;
    return static_cast<std::size_t>(available);
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

bool SimDevice::Start(std::string* why) {
    Impl& d = *impl_;
    if (d.Server.joinable()) return true;
    if (d.Master < 0 || d.WakeRead < 0) {
        if (why != nullptr) *why = d.OpenFailure.empty() ? "the device has hung up" : d.OpenFailure;
        return false;
    }
    d.Server = std::thread([&d] { d.Serve(); });
    return true;
}

void SimDevice::Stop() {
    Impl& d = *impl_;
    if (!d.Server.joinable()) return;
    {
        std::lock_guard lock(d.Mutex);
        d.Stopping = true;
    }
    d.Wake();
    d.Server.join();
    std::lock_guard lock(d.Mutex);
    d.Stopping = false;
}

std::string SimDevice::DevicePath() const {
    return impl_->Path;
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

void SimDevice::SetFaults(const SimFaults& faults) {
    {
        std::lock_guard lock(impl_->Mutex);
        impl_->Faults = faults;
        impl_->ReceivedSinceFaults = 0;
    }
    impl_->Wake();
}

void SimDevice::SetWord(int address, std::uint32_t word) {
    impl_->Memory.Set(address, word);
}

std::uint32_t SimDevice::Word(int address) const {
    return impl_->Memory.Get(address);
}

std::vector<std::uint8_t> SimDevice::Received() const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->ReceivedBytes;
}

void SimDevice::ClearReceived() {
    std::lock_guard lock(impl_->Mutex);
    impl_->ReceivedBytes.clear();
}

void SimDevice::KeepReceived(bool keep) {
    std::lock_guard lock(impl_->Mutex);
    impl_->KeepReceived = keep;
    if (!keep) std::vector<std::uint8_t>().swap(impl_->ReceivedBytes);
}

bool SimDevice::WaitForReceived(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(impl_->Mutex);
    return impl_->ReceivedGrew.wait_for(lock, limit,
                                        [&] { return impl_->ReceivedBytes.size() >= count; });
}

void SimDevice::SetTrace(std::function<void(TraceDirection, std::uint8_t)> trace) {
    // Only read by the serving thread, which starts after this in Start.
    if (!impl_->Server.joinable()) impl_->Trace = std::move(trace);
}

}  // namespace ixo::sim
