#pragma once

#include <string>

namespace ixo {

// Another process that holds device, a tty: one that has it open, as fuser finds it,
// or whose controlling terminal it is; a process that has a pseudo-terminal's master
// side open as well is that terminal's other end (a simulated device), not a holder.
// A tty cannot refuse a second opener, so a port that such a process holds is not
// taken. Says who: "/dev/pts/0 is the terminal of
// bash (pid 4242)", "/dev/ttyUSB0: in use by ModemManager (pid 812)". Empty when no
// process but this one holds it, as far as this user can see.
std::string ProcessHolder(const std::string& device);

// For a device that the system reports busy: who holds it, as ProcessHolder says, or
// that the holder is hidden from this user; "device: reason" either way.
std::string BusyReason(const std::string& device);

}  // namespace ixo
