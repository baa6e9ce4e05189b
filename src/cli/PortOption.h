#pragma once

#include <optional>
#include <string>

#include "operations/DeviceConnection.h"

namespace ixo::cli {

// Port numbers are signed 8-bit in the link, so no higher port can be opened.
inline constexpr int HighestPort = 127;

// N of COMN: decimal digits only, 1 to HighestPort.
bool ParsePortNumber(const std::string& text, int& port);

// A port as people write it: a COM number ("2"), "COM2" in any case, or the path of
// a device ("/dev/ttyUSB0", "/dev/serial/by-id/..."; anything with a slash in it).
// nullopt for any other text.
std::optional<PortChoice> ParsePortOption(const std::string& text);

// The port used when no --port is given: IXO_PORT from the environment when it is set
// and not empty, else COM1. nullopt, with why, when IXO_PORT names no port.
std::optional<PortChoice> DefaultPort(std::string& why);

}  // namespace ixo::cli
