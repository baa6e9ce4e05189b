#pragma once

namespace ixo {

// Ending on SIGINT, SIGTERM or SIGHUP without leaving a port held. Once
// CatchStopSignals has run, such a signal no longer ends the program at once: it is
// noted, and from then on every wait of a serial line ends at once as a failure, so
// that the program closes its link, which lets go of the port, and ends by itself.
// Windows has none of these signals: Ctrl+C ends the program there, and the system
// closes the port with it; nothing is caught, StopSignal stays 0.
void CatchStopSignals();

// The stop signal received, or 0 while none has come.
int StopSignal();

// A descriptor that is readable once a stop signal has come, for a program's event
// loop to watch; -1 before CatchStopSignals.
int StopSignalFd();

}  // namespace ixo
