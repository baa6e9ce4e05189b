#include <algorithm>
#include <cstddef>

#include "core/ShownText.h"
#include "isa/AsmLines.h"
#include "isa/Assembler.h"

// The errors of a source worded as compilers word them.

namespace ixo {

namespace {

using assembler::SourceLines;
using assembler::StartsCharacter;

constexpr int TabStop = 8;

// The display column, from 1, of the character at column (characters from 1, a tab
// one) of line, with tab stops every TabStop columns.
int DisplayColumn(std::string_view line, int column) {
    int display = 0;
    int characters = 0;
    for (const char c : line) {
        if (!StartsCharacter(c)) continue;
        if (++characters == column) break;
        display = c == '\t' ? (display / TabStop + 1) * TabStop : display + 1;
    }
    // A column past the end stands that many characters after it.
    if (characters < column) display += column - 1 - characters;
    return display + 1;
}

// The line with its tabs expanded to the next tab stop.
std::string ExpandTabs(std::string_view line) {
    std::string expanded;
    int display = 0;
    for (const char c : line) {
        if (c == '\t') {
            const int next = (display / TabStop + 1) * TabStop;
            expanded.append(static_cast<std::size_t>(next - display), ' ');
            display = next;
            continue;
        }
        expanded += c;
        if (StartsCharacter(c)) ++display;
    }
    return expanded;
}

// The text with each control character as "?", so that a source line cannot send a
// terminal its own commands through an error, while its columns stay where they were.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

}  // namespace

std::string FormatAsmErrors(std::string_view name, std::string_view source,
                            const std::vector<AsmError>& errors) {
    const std::vector<std::string_view> lines = SourceLines(source);
    std::string text;
    for (const AsmError& error : errors) {
        const std::string_view line =
            error.Line >= 1 && static_cast<std::size_t>(error.Line) <= lines.size()
                ? lines[static_cast<std::size_t>(error.Line) - 1]
                : std::string_view();
        const int column = DisplayColumn(line, error.Column);
        // The line number in a margin of at least five columns, as GCC writes it.
        std::string number = std::to_string(error.Line);
        const std::size_t margin = std::max<std::size_t>(5, number.size());
        number.insert(0, margin - number.size(), ' ');
        text += std::string(name) + ":" + std::to_string(error.Line) + ":" +
                std::to_string(column) + ": error: " + EscapeControls(error.Message) + "\n";
        text += number + " | " + Printable(ExpandTabs(line)) + "\n";
        text += std::string(margin, ' ') + " | " +
                std::string(static_cast<std::size_t>(column - 1), ' ') + "^\n";
    }
    return text;
}

}  // namespace ixo
