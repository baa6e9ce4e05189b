#include "link/PortProbe.h"

#include "link/Comport.h"
#include "link/PortNames.h"

namespace ixo {

std::vector<int> ProbePorts() {
    std::vector<int> found;
    ComPort probe;
    for (int n = 1; n <= HighestProbedPort; ++n) {
        probe.PortNumber = static_cast<std::int8_t>(n);
        probe.SetBaudRate(9600);
        if (probe.Open()) found.push_back(n);
        probe.Close();
    }
    return found;
}

}  // namespace ixo
