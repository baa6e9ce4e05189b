#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The assembler: the listing's notation read back into program words, the exact
// inverse of the printer in Listing.h. Assembling any listing the printer made gives
// back the program whose listing it is.
//
// A source is lines ending in LF or CR LF, after a UTF-8 byte order mark if it has
// one; ";" starts a comment; fields are separated by spaces and tabs; names are
// matched without regard to case; numbers are decimal. Four LFO lines (LFO0 to LFO3,
// in order) come first, then the instructions, at most 128 words in all.

namespace ixo {

// One error in a source: 1-based line and column. The column counts characters, a tab
// one, as a text editor places its caret; FormatAsmErrors shows it as display columns.
struct AsmError {
    int Line = 0;
    int Column = 0;
    std::string Message;  // e.g. "unknown pointer \"XP\" (ZP, BP, CP or AP)"
};

// The words of a source, or every error found (at most 20; a 21st is reported as one
// last AsmError with Message "too many errors" at its place). Words and Lines are
// meaningful only when Errors is empty.
struct Assembly {
    std::vector<std::uint32_t> Words;
    // The source line (from 1) each word was written on, so that a word can be shown
    // where the operator wrote it.
    std::vector<int> Lines;
    std::vector<AsmError> Errors;
    bool Ok() const { return Errors.empty(); }
};

Assembly AssembleListing(std::string_view source);

// The errors of source as compilers print them, each as three lines:
//   NAME:LINE:COLUMN: error: MESSAGE
//       6 |         RZP     100     K=200
//         |                         ^
// COLUMN counts display columns with tab stops every 8; the source line is shown with
// its tabs expanded, so that the caret stands under the column in any fixed-pitch
// font. Each line ends in "\n".
std::string FormatAsmErrors(std::string_view name, std::string_view source,
                            const std::vector<AsmError>& errors);

}  // namespace ixo
