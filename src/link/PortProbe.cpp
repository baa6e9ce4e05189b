#include "link/PortProbe.h"

#include "link/Comport.h"
#include "ports/PortAccess.h"
#include "ports/PortNames.h"

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

std::string WhyNotOpen(const std::string& device) {
    ComPort probe;
    probe.Device = device;
    probe.SetBaudRate(9600);
    if (probe.Open()) return {};
    // The reason follows the device's name.
    const std::string why = probe.OpenError();
    const std::string prefix = device + ": ";
    return why.rfind(prefix, 0) == 0 ? why.substr(prefix.size()) : why;
}

std::string PortTrouble(int n, const std::string& openError) {
    const std::string name = PortName(n) + ": ";
    std::string text = openError.rfind(name, 0) == 0 ? openError : name + openError;
    const std::string device = ResolvePort(n);
    const std::string hint = device.empty() ? std::string() : PermissionHint(device);
    if (!hint.empty()) text += ": " + hint;
    return text;
}

}  // namespace ixo
