#pragma once

#include <string>

namespace ixo {

// Ending on a signal without leaving a port held: on every signal that would end the
// program from outside (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1,
// SIGUSR2 and the like). Once CatchStopSignals has run, such a signal no longer ends
// the program at once: it is noted, and from then on every wait of a serial line ends
// at once as a failure, so that the program closes its link, which lets go of the
// port, and ends by itself. A write to a closed pipe then fails with EPIPE. A signal
// ignored when the program starts (nohup) stays ignored: it would not end it.
// Windows has none of these signals: Ctrl+C ends the program there, and the system
// closes the port with it; nothing is caught, StopSignal stays 0.
void CatchStopSignals();

// The stop signal received, or 0 while none has come.
int StopSignal();

// Whether the stop signal says that the reader of a pipe this program writes into has
// gone (SIGPIPE). Then the program ends quietly, as a command in a pipeline does:
// nobody reads what it would say.
bool StoppedByClosedPipe();

// A descriptor that is readable once a stop signal has come, for a program's event
// loop to watch; -1 before CatchStopSignals.
int StopSignalFd();

// A file that must not outlive its process's end at a stop signal (a temporary file
// while a save runs). While a RemoveOnStop lives, SIGINT, SIGTERM and SIGHUP, where
// their action is still the default (they would end the process at once), first
// remove the file given to Remove and then end the process as they would have. A
// signal the process catches (CatchStopSignals) or ignores is left to it: the work
// then simply completes. One lives at a time; another waits until it has gone.
// Windows has no such signals: nothing is removed there.
class RemoveOnStop {
public:
    RemoveOnStop();
    ~RemoveOnStop();
    RemoveOnStop(const RemoveOnStop&) = delete;
    RemoveOnStop& operator=(const RemoveOnStop&) = delete;

    // The file to remove from now on, in place of any earlier one. A path longer than
    // the system's longest is not removed.
    void Remove(const std::string& path);
    // Nothing to remove any more.
    void Forget();
};

}  // namespace ixo
