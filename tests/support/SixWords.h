#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ixo::test {

// A six-word program: every kind of LFO line worth seeing, a coefficient and a NOP.
inline constexpr std::array<std::uint32_t, 6> SixWords = {0x00000000, 0x41F42EE0, 0xE01900C8,
                                                          0xF7FFFFFF, 0x40000064, 0x00030000};
// Its object text.
inline const std::string SixWordObject =
    "00000000\r\n41F42EE0\r\nE01900C8\r\nF7FFFFFF\r\n40000064\r\n00030000\r\n";
// Its listing, each line ended by a line feed.
inline const std::string SixWordListing =
    "LFO0\tSIN\tAMP=0\t\tFREQ=0\n"
    "LFO1\tTRI\tAMP=12000\tFREQ=1000\n"
    "LFO2\tSAW\tAMP=200\t\tFREQ=50\t\tXFAD=1/8\n"
    "LFO3\tSAW\tAMP=32767\tFREQ=4095\tXFAD=1/16\n"
    ";\n"
    "\tRZP\t100\tK=64\t\t; 0.503937007874016\n"
    "NOP\n";

}  // namespace ixo::test
