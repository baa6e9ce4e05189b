#include "isa/Listing.h"

#include <algorithm>
#include <charconv>

#include "isa/WordFields.h"

namespace ixo {

namespace {

constexpr const char* WaveNames[] = {"SIN", "TRI", nullptr, "SAW"};
constexpr const char* XfadNames[] = {"1", "1/2", "1/8", "1/16"};
constexpr const char* PointerNames[] = {"ZP", "BP", "CP", "AP"};

// A piece shorter than one tab stop takes two tabs to reach the next column.
constexpr std::size_t TabWidth = 8;

void AppendPadded(std::string& line, const std::string& piece) {
    line += piece;
    if (piece.size() < TabWidth) line += '\t';
}

void AppendOperand(std::string& line, const InstructionWord& fields) {
    switch (fields.Address) {
        case 0:
            line += fields.WriteFlag ? "OUTL" : "INL";
            break;
        case 1:
            line += fields.WriteFlag ? "OUTR" : "INR";
            break;
        default:
            line += std::to_string(fields.Address);
            break;
    }
}

// Options in the order the notation lists them, which is neither bit order nor
// alphabetical. MASKA is active low.
void AppendChrOptions(std::string& line, const InstructionWord& fields) {
    if (fields.CompK) line += " COMPK";
    if (fields.CompA) line += " COMPA";
    if (!fields.MaskA) line += " MASKA";
    if (fields.Latch) line += " LATCH";
    if (fields.CompS) line += " COMPS";
}

}  // namespace

std::string FormatLfoLine(std::uint32_t word, int position) {
    const LfoWord fields = DecodeLfoWord(word);
    std::string line = "LFO" + std::to_string(position) + '\t';
    if (const char* wave = WaveNames[fields.Wave]) {
        line += wave;
        line += '\t';
    }
    AppendPadded(line, "AMP=" + std::to_string(fields.Amp));
    line += '\t';
    const std::string freq = "FREQ=" + std::to_string(fields.Freq);
    if (fields.Wave != WaveSaw) return line + freq;
    AppendPadded(line, freq);
    line += "\tXFAD=";
    line += XfadNames[fields.Xfad];
    return line;
}

std::string FormatInstructionLine(std::uint32_t word, std::string_view decimalSeparator) {
    const InstructionWord fields = DecodeInstructionWord(word);
    if (fields.IsNop) return "NOP";

    std::string line;
    if (fields.ChrForm) line += "CHR" + std::to_string(fields.Channel);
    line += '\t';
    line += fields.WriteFlag ? 'W' : 'R';
    line += PointerNames[fields.Pointer];
    if (fields.FlagB) line += 'B';
    if (fields.FlagC) line += 'C';
    line += '\t';
    AppendOperand(line, fields);
    line += '\t';

    if (fields.ChrForm) {
        line += fields.Sign ? '-' : '+';
        line += fields.Cos ? "COS" : "SIN";
        AppendChrOptions(line, fields);
        return line;
    }
    line += "K=" + std::to_string(fields.K) + "\t\t; ";
    line += FormatCoefficient(fields.K, decimalSeparator);
    return line;
}

std::string FormatCoefficient(int K, std::string_view decimalSeparator) {
    // The division is correctly rounded, so this is the double nearest to K/127.
    const double value = K / 127.0;
    // "-0.0078..." at most: 1 sign, 1 digit, 1 point, 2 zeros, 15 digits.
    char text[32];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    std::string result(text, error == std::errc{} ? end : text);
    const std::size_t point = result.find('.');
    if (point != std::string::npos) result.replace(point, 1, decimalSeparator);
    return result;
}

std::vector<std::string> ListingLines(const ProgramImage& image,
                                      std::string_view decimalSeparator) {
    const int count = std::clamp(image.WordCount, 0, MaxProgramWords);
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count) + 1);
    for (int position = 0; position < count; ++position) {
        const std::uint32_t word = image.Words[static_cast<std::size_t>(position)];
        if (position < LfoWordCount) {
            lines.push_back(FormatLfoLine(word, position));
            continue;
        }
        if (position == LfoWordCount) lines.emplace_back(";");
        lines.push_back(FormatInstructionLine(word, decimalSeparator));
    }
    return lines;
}

}  // namespace ixo
