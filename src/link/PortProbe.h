#pragma once

#include <vector>

namespace ixo {

// The ports among COM1 to COM<HighestProbedPort> that open at 9600 bit/s now (present,
// taking the line settings, and held by no one), in increasing order. Each is opened
// and closed again by a temporary link; a port held open by a link of this program
// is held, so the caller closes its own link first if that port is to be listed.
std::vector<int> ProbePorts();

}  // namespace ixo
