#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The printer: listing lines made from program words. Columns are separated by tab
// characters, laid out for tab stops every eight columns. Every word at every
// position has a line; nothing here fails.

namespace ixo {

// The line of the LFO set-up word at position 0 to 3, for example
// "LFO1\tSAW\tAMP=999\t\tFREQ=100\tXFAD=1/2".
std::string FormatLfoLine(std::uint32_t word, int position);

// The line of an instruction word (position 4 or later), for example
// "\tRZP\t100\tK=64\t\t; 0.503937007874016" or "CHR0\tRZP\tINL\t+SIN MASKA".
std::string FormatInstructionLine(std::uint32_t word, std::string_view decimalSeparator = ".");

// K/127 for K in -127..127 as the nearest double written with 15 significant
// digits and trailing zeros dropped ("%.15g"), with decimalSeparator in place of
// the full stop: "0", "1", "-1", "0.503937007874016".
std::string FormatCoefficient(int K, std::string_view decimalSeparator = ".");

// The line of the word at position: its LFO line at 0 to 3, its instruction line after.
std::string FormatWordLine(std::uint32_t word, int position,
                           std::string_view decimalSeparator = ".");

// Where an assembled word shows as the same line as the word the program already holds
// at that position, the program's word stays: a listing line does not show every bit of
// its word, and an edit elsewhere in the listing must not change a word it left alone.
void KeepUnchangedWords(std::span<const std::uint32_t> program, std::span<std::uint32_t> assembled);

// The number (from 1) of the line of the whole listing that shows the word at position.
int ListingLineNumber(int position);

// The whole listing of a program's words, from position 0: the LFO lines of
// positions 0 to 3, then a line ";", then the instruction lines. As many lines as
// words when there are 4 or fewer, else one more.
std::vector<std::string> ListingLines(std::span<const std::uint32_t> words,
                                      std::string_view decimalSeparator = ".");

}  // namespace ixo
