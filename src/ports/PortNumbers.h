#pragma once

#include <string>
#include <vector>

#include "ports/PortDiscovery.h"

namespace ixo {

// A serial device found now, and the COM number it goes by.
struct NumberedPort {
    SerialPortInfo Info;
    int Number = 0;   // 0: none
    std::string Why;  // when it has none although it should: what went wrong
};

// Gives each port found its COM number. A port map entry that leads to the device, or
// names the device or its stable name whether or not that name exists yet, wins (the
// lowest such entry); a port the system numbers keeps that number unless a map entry
// takes it; a USB adapter with neither gets the lowest number from 1 to
// HighestProbedPort that no present port and no map entry uses, and that number is
// written into the map under the adapter's stable name (its device where it has none,
// or where that name does not lead to it), so that the same adapter gets the same
// number the next time, whichever socket it is in. With no number free, a USB adapter
// gets none.
std::vector<NumberedPort> NumberPorts(const std::vector<SerialPortInfo>& found);

// NumberPorts of the ports present now.
std::vector<NumberedPort> FindPorts();

// The port among ports that COMn leads to, or nullptr.
const NumberedPort* FindNumbered(const std::vector<NumberedPort>& ports, int n);

}  // namespace ixo
