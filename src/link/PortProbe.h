#pragma once

#include <string>
#include <vector>

namespace ixo {

// The ports among COM1 to COM<HighestProbedPort> that open at 9600 bit/s now (present,
// taking the line settings, and held by no one), in increasing order. Each is opened
// and closed again by a temporary link; a port held open by a link of this program
// is held, so the caller closes its own link first if that port is to be listed.
std::vector<int> ProbePorts();

// Opens device at 9600 bit/s as ProbePorts does and closes it again: empty when it
// opened, else the system's reason ("Device or resource busy", "Permission denied").
std::string WhyNotOpen(const std::string& device);

// Why COMn did not open, for people, in the words of "ixo ports --all": the port's
// name, the reason a link gave (openError, "device: reason") and, where this user may
// not open the device, what would let them. For example "COM1: /dev/ttyS0: Permission
// denied: join the group 'dialout' that owns /dev/ttyS0 (...), then log in again".
std::string PortTrouble(int n, const std::string& openError);

}  // namespace ixo
