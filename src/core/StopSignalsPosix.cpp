// POSIX: the handler writes to a pipe that it never empties, so that every poll on
// its read end sees the signal, however long after it came.

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <mutex>

#include "core/StopSignals.h"

namespace ixo {

namespace {

// Every signal whose default action ends the process and that comes from outside it:
// another program (kill, a session's hang-up, a terminal's quit key), a closed pipe,
// an alarm or a resource limit. Faults of the program itself (SIGSEGV, SIGABRT...)
// cannot be carried on from, the profiling timers belong to profilers and the
// real-time signals to the C library.
constexpr int EndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGPIPE, SIGALRM, SIGTERM,
                                 SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGPWR};

volatile std::sig_atomic_t received = 0;
int pipeRead = -1;
int pipeWrite = -1;

extern "C" void NoteStopSignal(int signal) {
    if (received == 0) received = signal;
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(pipeWrite, &byte, 1);
}

// ---- A file to remove before a stop signal ends the process

constexpr int RemovingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The file to remove; only read by the handler while RemoveRegistered is set.
char RemovePath[PATH_MAX];
std::atomic<bool> RemoveRegistered{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Held by the one RemoveOnStop that lives, with the actions it replaced.
std::mutex RemoveMutex;
std::array<bool, std::size(RemovingSignals)> RemoveInstalled{};
std::array<struct sigaction, std::size(RemovingSignals)> RemoveReplaced{};

extern "C" void RemoveAndStop(int signal) {
    if (RemoveRegistered.load()) ::unlink(RemovePath);
    // Then end the way the signal would have ended the process without us: it is
    // delivered again, with its default action, once this handler returns.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

}  // namespace

RemoveOnStop::RemoveOnStop() {
    RemoveMutex.lock();
    for (std::size_t i = 0; i < std::size(RemovingSignals); ++i) {
        RemoveInstalled[i] = false;
        struct sigaction current {};
        if (::sigaction(RemovingSignals[i], nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction ours {};
        ours.sa_handler = RemoveAndStop;
        sigemptyset(&ours.sa_mask);
        RemoveInstalled[i] = ::sigaction(RemovingSignals[i], &ours, &RemoveReplaced[i]) == 0;
    }
}

RemoveOnStop::~RemoveOnStop() {
    Forget();
    for (std::size_t i = 0; i < std::size(RemovingSignals); ++i) {
        if (RemoveInstalled[i]) ::sigaction(RemovingSignals[i], &RemoveReplaced[i], nullptr);
    }
    RemoveMutex.unlock();
}

void RemoveOnStop::Remove(const std::string& path) {
    Forget();
    if (path.size() >= sizeof RemovePath) return;
    std::memcpy(RemovePath, path.c_str(), path.size() + 1);
    RemoveRegistered.store(true);
}

void RemoveOnStop::Forget() {
    RemoveRegistered.store(false);
}

void CatchStopSignals() {
    if (pipeRead >= 0) return;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    pipeRead = ends[0];
    pipeWrite = ends[1];
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    // Calls other than the waits carry on; the waits watch the pipe.
    action.sa_flags = SA_RESTART;
    for (const int signal : EndingSignals) {
        // An ignored signal would not end the program (nohup, a background job of a
        // shell without job control): it stays ignored.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
            current.sa_handler == SIG_IGN) {
            continue;
        }
        ::sigaction(signal, &action, nullptr);
    }
}

int StopSignal() {
    return received;
}

bool StoppedByClosedPipe() {
    return received == SIGPIPE;
}

int StopSignalFd() {
    return pipeRead;
}

}  // namespace ixo
