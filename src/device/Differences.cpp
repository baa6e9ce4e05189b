#include "device/Differences.h"

#include <algorithm>
#include <cstdio>

#include "isa/Listing.h"

namespace ixo {

namespace {

// The word's hex digits and listing line on one line: the listing's tab columns
// become single spaces and the coefficient's comment, which only repeats K, goes.
std::string WordText(std::uint32_t word, int address) {
    const std::string line = FormatWordLine(word, address);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(word));
    std::string text = hex;
    std::size_t start = 0;
    const std::size_t end = std::min(line.find(';'), line.size());
    while (start < end) {
        std::size_t tab = std::min(line.find('\t', start), end);
        if (tab > start) text += ' ' + line.substr(start, tab - start);
        start = tab + 1;
    }
    return text;
}

}  // namespace

std::vector<std::string> DifferenceLines(std::span<const WordDifference> differences) {
    std::vector<std::string> programSides;
    std::size_t width = 0;
    for (const WordDifference& difference : differences) {
        char address[16];
        std::snprintf(address, sizeof address, "%3d", difference.Address);
        programSides.push_back(std::string(address) + "  program " +
                               WordText(difference.Program, difference.Address));
        width = std::max(width, programSides.back().size());
    }
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < differences.size(); ++i) {
        std::string& line = programSides[i];
        line.resize(width, ' ');
        line += "  |  device " + WordText(differences[i].Device, differences[i].Address);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace ixo
