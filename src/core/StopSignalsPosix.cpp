// POSIX: the handler writes to a pipe that it never empties, so that every poll on
// its read end sees the signal, however long after it came.

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

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

}  // namespace

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
