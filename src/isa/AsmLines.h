#pragma once

#include <string>
#include <string_view>
#include <vector>

// The assembler's line reader: a source cut into lines, a line into fields.

namespace ixo::assembler {

// One field of a line and the column of its first character. Fields written with
// spaces around "=" are joined, so a field's text need not stand in the line as it is.
struct Field {
    std::string Text;
    int Column = 0;
};

// A UTF-8 continuation byte does not start a character.
bool StartsCharacter(char c);

// The lines of a source, without their line ends and without a byte order mark.
std::vector<std::string_view> SourceLines(std::string_view source);

// The first field of a line, as written.
std::string_view FirstField(std::string_view line);

}  // namespace ixo::assembler
