// The link to the device at the working rate, and the ports that open.

#include "operations/DeviceConnection.h"

#include "link/PortProbe.h"

namespace ixo {

MaybeFailure DeviceConnection::Open(const PortChoice& port) {
    link_.Close();
    port_ = port;
    // Port numbers are 8 bits wide in the link.
    link_.PortNumber = static_cast<std::int8_t>(port.Number);
    link_.Device = port.Device;
    link_.SetBaudRate(WorkingBaudRate);
    return Reopen();
}

MaybeFailure DeviceConnection::Reopen() {
    if (link_.Open()) return std::nullopt;
    return PortNotOpened(Trouble());
}

void DeviceConnection::Close() {
    link_.Close();
}

std::string DeviceConnection::Trouble() const {
    return port_.Device.empty() ? PortTrouble(port_.Number, link_.OpenError()) : link_.OpenError();
}

DescribedPort DescribePort(const std::vector<NumberedPort>& found, int n) {
    DescribedPort port{n, PortTarget(n), {}};
    if (const NumberedPort* known = FindNumbered(found, n))
        port.Description = known->Info.Description;
    return port;
}

std::vector<DescribedPort> OpenPorts(const std::vector<NumberedPort>& found) {
    std::vector<DescribedPort> ports;
    for (const int n : ProbePorts()) ports.push_back(DescribePort(found, n));
    return ports;
}

std::string PortTip(const DescribedPort& port) {
    return port.Description.empty() ? port.Target : port.Target + " (" + port.Description + ")";
}

}  // namespace ixo
