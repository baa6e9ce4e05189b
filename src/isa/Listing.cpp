#include "isa/Listing.h"

#include <algorithm>
#include <charconv>

#include "isa/Notation.h"
#include "isa/WordFields.h"

namespace ixo {

namespace {

using namespace notation;

// A piece shorter than one tab stop takes two tabs to reach the next column.
constexpr std::size_t TabWidth = 8;

void AppendPadded(std::string& line, const std::string& piece) {
    line += piece;
    if (piece.size() < TabWidth) line += '\t';
}

void AppendOperand(std::string& line, const InstructionWord& fields) {
    if (fields.Address >= InputNames.size()) {
        line += std::to_string(fields.Address);
        return;
    }
    line += (fields.WriteFlag ? OutputNames : InputNames)[fields.Address];
}

void AppendChrOptions(std::string& line, const InstructionWord& fields) {
    for (const ChrOption& option : ChrOptions) {
        if (fields.*option.Field == option.ActiveLow) continue;
        line += ' ';
        line += option.Name;
    }
}

}  // namespace

std::string FormatLfoLine(std::uint32_t word, int position) {
    const LfoWord fields = DecodeLfoWord(word);
    std::string line = std::string(LfoLabel) + std::to_string(position) + '\t';
    if (const std::string_view wave = WaveNames[fields.Wave]; !wave.empty()) {
        line += wave;
        line += '\t';
    }
    AppendPadded(line, std::string(AmpKey) + std::to_string(fields.Amp));
    line += '\t';
    const std::string freq = std::string(FreqKey) + std::to_string(fields.Freq);
    if (fields.Wave != WaveSaw) return line + freq;
    AppendPadded(line, freq);
    line += '\t';
    line += XfadKey;
    line += XfadNames[fields.Xfad];
    return line;
}

std::string FormatInstructionLine(std::uint32_t word, std::string_view decimalSeparator) {
    const InstructionWord fields = DecodeInstructionWord(word);
    if (fields.IsNop) return std::string(NopName);

    std::string line;
    if (fields.ChrForm) line += std::string(ChrLabel) + std::to_string(fields.Channel);
    line += '\t';
    line += DirectionNames[fields.WriteFlag];
    line += PointerNames[fields.Pointer];
    if (fields.FlagB) line += FlagBName;
    if (fields.FlagC) line += FlagCName;
    line += '\t';
    AppendOperand(line, fields);
    line += '\t';

    if (fields.ChrForm) {
        line += SignNames[fields.Sign];
        line += ModulationNames[fields.Cos];
        AppendChrOptions(line, fields);
        return line;
    }
    line += std::string(CoefficientKey) + std::to_string(fields.K) + "\t\t";
    line += CommentStart;
    line += ' ';
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

std::string FormatWordLine(std::uint32_t word, int position, std::string_view decimalSeparator) {
    return position < LfoWordCount ? FormatLfoLine(word, position)
                                   : FormatInstructionLine(word, decimalSeparator);
}

void KeepUnchangedWords(std::span<const std::uint32_t> program,
                        std::span<std::uint32_t> assembled) {
    const std::size_t count = std::min(program.size(), assembled.size());
    for (std::size_t i = 0; i < count; ++i) {
        const int position = static_cast<int>(i);
        if (FormatWordLine(program[i], position) == FormatWordLine(assembled[i], position)) {
            assembled[i] = program[i];
        }
    }
}

int ListingLineNumber(int position) {
    // The ";" line stands between the LFO lines and the instructions.
    return position < LfoWordCount ? position + 1 : position + 2;
}

std::vector<std::string> ListingLines(std::span<const std::uint32_t> words,
                                      std::string_view decimalSeparator) {
    std::vector<std::string> lines;
    lines.reserve(words.size() + 1);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const int position = static_cast<int>(i);
        if (position == LfoWordCount) lines.emplace_back(1, CommentStart);
        lines.push_back(FormatWordLine(words[i], position, decimalSeparator));
    }
    return lines;
}

}  // namespace ixo
