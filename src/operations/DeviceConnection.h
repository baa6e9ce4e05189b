#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Failure.h"
#include "device/DeviceCommands.h"
#include "link/Comport.h"
#include "ports/PortNames.h"
#include "ports/PortNumbers.h"

// The link to the device as both front ends hold it, and the ports it may use. ixo's
// device commands open a connection on the port of --port (or IXO_PORT, or COM1), run
// one command over it and close it; the window holds one from start to end, opens it
// on its PortNumber, lets go of it while ports are probed for the port dialog and
// opens it again, and shows why it is not open (OpenError in a tooltip, Trouble in its
// hint area). The ports that open, with where each leads, are the port dialog's list
// and what "ixo ports" prints.

namespace ixo {

// The port a connection uses: COM<Number>, or the device at Device when set.
struct PortChoice {
    int Number = 1;
    std::string Device;
};

// A link to the device at the working rate, and the bytes its transfers are built in.
class DeviceConnection {
public:
    // The line speed the device works at.
    static constexpr std::int32_t WorkingBaudRate = 38400;

    // Where the device commands build what they send and receive.
    TransferBytes TransferBuffer{};

    // Opens the link on port at WorkingBaudRate, first closing it where it was open.
    // PortNotOpened, with Trouble as its reason, when the port does not open.
    MaybeFailure Open(const PortChoice& port);
    // Opens the link again on the port of the last Open, at once when it is open.
    MaybeFailure Reopen();
    // Lets go of the port; nothing happens when the link is closed.
    void Close();

    bool IsOpen() const { return link_.IsOpen(); }
    const PortChoice& Port() const { return port_; }
    // The link, for the device commands and for a trace set before Open.
    ComPort& Link() { return link_; }

    // After an Open that failed: the device and the system's reason, as ComPort says it.
    std::string OpenError() const { return link_.OpenError(); }
    // Why the link did not open, for people: for a port chosen by number its name, the
    // reason and what would let the user in (PortTrouble); for a device, OpenError.
    std::string Trouble() const;

private:
    PortChoice port_;
    ComPort link_;
};

// A port as people are shown it: its number, the path it leads to and, where the
// system describes the device there, the description.
struct DescribedPort {
    int Number = 0;
    std::string Target;
    std::string Description;
};

// COMn with what found (FindPorts) knows of the device it leads to.
DescribedPort DescribePort(const std::vector<NumberedPort>& found, int n);

// The ports among COM1 to COM<HighestProbedPort> that open now (ProbePorts), each
// described from found. A port held by an open connection is held: close it first.
std::vector<DescribedPort> OpenPorts(const std::vector<NumberedPort>& found);

// A port's path, and its description in parentheses where it has one, as a tooltip
// names the device behind a port: "/dev/ttyUSB0 (FT232R USB UART)".
std::string PortTip(const DescribedPort& port);

// What it means that OpenPorts found none: the window's port list says it, ixo ports
// begins its failure with it.
inline constexpr std::string_view NoPortOpens = "no port from COM1 to COM8 opens";
static_assert(HighestProbedPort == 8, "NoPortOpens names the ports probed");

}  // namespace ixo
