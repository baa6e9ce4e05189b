#pragma once

#include <span>
#include <string>
#include <vector>

#include "device/DeviceCommands.h"

namespace ixo {

// The differences a verify found, one line each, in the program's own words:
// "ADDR  program HEX TEXT  |  device HEX TEXT". ADDR is the address in decimal, three
// wide; TEXT is the word's listing line at that address with its columns one space
// apart and without the coefficient's comment. The program's side is padded so that
// the bars of all the lines stand one above the other.
std::vector<std::string> DifferenceLines(std::span<const WordDifference> differences);

}  // namespace ixo
