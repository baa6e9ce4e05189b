#pragma once

#include <cstdint>

// Where each field lies in a program word: its lowest bit and its width. The decoder
// and encoder read the places from here, and the assembler its limits, so that a
// field's width is written once.

namespace ixo::bits {

struct Bits {
    int Low;
    int Width;

    // The largest value the field holds.
    constexpr unsigned Max() const { return (1u << Width) - 1u; }
    constexpr unsigned Get(std::uint32_t word) const { return (word >> Low) & Max(); }
    constexpr std::uint32_t Put(unsigned value) const {
        return (static_cast<std::uint32_t>(value) & Max()) << Low;
    }
};

// An LFO set-up word.
inline constexpr Bits LfoWave{30, 2}, LfoXfad{28, 2}, LfoFreq{15, 13}, LfoAmp{0, 15};

// An instruction, both forms.
inline constexpr Bits SignBit{31, 1}, WriteBit{22, 1}, ChrBit{21, 1}, FlagCBit{20, 1},
    FlagBBit{19, 1}, PointerBits{16, 2}, AddressBits{0, 16};
// The coefficient form: the magnitude of K beside SignBit.
inline constexpr Bits KMag{24, 7};
// The CHR form.
inline constexpr Bits MaskABit{30, 1}, CompSBit{29, 1}, CompKBit{28, 1}, CompABit{27, 1},
    LatchBit{26, 1}, ChannelBits{24, 2}, CosBit{23, 1};

// Bit 18 of an instruction holds no field and is not shown in a listing. The
// assembler sets it in a line that would otherwise encode as NopWord, so that only
// a NOP line becomes a NOP.
inline constexpr std::uint32_t NotNopBit = 1u << 18;

}  // namespace ixo::bits
