#pragma once

#include <array>
#include <string_view>

#include "isa/WordFields.h"

// The names of the listing's notation. The printer writes them and the assembler
// reads them from this one table, so that what one writes the other reads.

namespace ixo::notation {

// Labels: LFOn on a set-up line, CHRn on a CHR-form instruction.
inline constexpr std::string_view LfoLabel = "LFO";
inline constexpr std::string_view ChrLabel = "CHR";
inline constexpr std::string_view NopName = "NOP";

// LFO lines, by Wave and by Xfad; Wave 2 has no name.
inline constexpr std::array<std::string_view, 4> WaveNames = {"SIN", "TRI", "", "SAW"};
inline constexpr std::array<std::string_view, 4> XfadNames = {"1", "1/2", "1/8", "1/16"};
inline constexpr std::string_view AmpKey = "AMP=";
inline constexpr std::string_view FreqKey = "FREQ=";
inline constexpr std::string_view XfadKey = "XFAD=";

// The operation: R or W by WriteFlag, the pointer by Pointer, then B, then C.
inline constexpr std::array<char, 2> DirectionNames = {'R', 'W'};
inline constexpr std::array<std::string_view, 4> PointerNames = {"ZP", "BP", "CP", "AP"};
inline constexpr char FlagBName = 'B';
inline constexpr char FlagCName = 'C';

// Operand names of addresses 0 and 1: inputs with R, outputs with W.
inline constexpr std::array<std::string_view, 2> InputNames = {"INL", "INR"};
inline constexpr std::array<std::string_view, 2> OutputNames = {"OUTL", "OUTR"};

// Coefficient form.
inline constexpr std::string_view CoefficientKey = "K=";

// CHR form: the sign and the modulation, by Sign and by Cos.
inline constexpr std::array<char, 2> SignNames = {'+', '-'};
inline constexpr std::array<std::string_view, 2> ModulationNames = {"SIN", "COS"};

// A CHR-form option: on when its field differs from ActiveLow.
struct ChrOption {
    std::string_view Name;
    bool InstructionWord::*Field;
    bool ActiveLow;
};

// In the order the listing writes them, which is neither bit order nor alphabetical.
inline constexpr std::array<ChrOption, 5> ChrOptions = {{
    {"COMPK", &InstructionWord::CompK, false},
    {"COMPA", &InstructionWord::CompA, false},
    {"MASKA", &InstructionWord::MaskA, true},
    {"LATCH", &InstructionWord::Latch, false},
    {"COMPS", &InstructionWord::CompS, false},
}};

inline constexpr char CommentStart = ';';

}  // namespace ixo::notation
