#include "isa/AsmLines.h"

#include <algorithm>
#include <cstddef>

#include "isa/AsmNames.h"
#include "isa/AsmParser.h"
#include "isa/Notation.h"

namespace ixo::assembler {

using namespace notation;

namespace {

int Characters(std::string_view text) {
    return static_cast<int>(std::count_if(text.begin(), text.end(), StartsCharacter));
}

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

// What other assemblers start comments with.
bool ForeignComment(std::string_view field) {
    return field.starts_with('#') || field.starts_with("//");
}

}  // namespace

bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

std::vector<std::string_view> SourceLines(std::string_view source) {
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (source.starts_with(ByteOrderMark)) source.remove_prefix(ByteOrderMark.size());
    std::vector<std::string_view> lines;
    while (!source.empty()) {
        const std::size_t end = source.find('\n');
        std::string_view line = source.substr(0, end);
        source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

std::string_view FirstField(std::string_view line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == CommentStart) return {};
    const std::size_t end = line.find_first_of(" \t;", start);
    return line.substr(start, end == std::string_view::npos ? line.npos : end - start);
}

std::vector<Field> Assembler::SplitFields(std::string_view line, int& endColumn) {
    std::vector<Field> fields;
    int column = 1;
    std::size_t start = std::string_view::npos;
    int startColumn = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        const bool end = i == line.size() || line[i] == CommentStart;
        const bool blank = !end && Blank(line[i]);
        if ((end || blank) && start != std::string_view::npos) {
            const std::string_view text = line.substr(start, i - start);
            if (ForeignComment(text)) {
                Error(startColumn, "unexpected " + Quote(text.substr(0, text[0] == '#' ? 1 : 2)) +
                                       ": comments start with " + CommentStart);
                break;
            }
            Take(fields, {std::string(text), startColumn});
            start = std::string_view::npos;
            endColumn = column;
        }
        if (end) break;
        if (!blank && start == std::string_view::npos) {
            start = i;
            startColumn = column;
        }
        if (StartsCharacter(line[i])) ++column;
    }
    if (fields.empty()) endColumn = 1;
    return fields;
}

void Assembler::Take(std::vector<Field>& fields, Field field) {
    if (fields.empty()) {
        fields.push_back(std::move(field));
        joined_ = false;
        return;
    }
    Field& last = fields.back();
    const bool after = last.Text.ends_with('=');
    if (!after && !field.Text.starts_with('=')) {
        fields.push_back(std::move(field));
        joined_ = false;
        return;
    }
    if (!joined_) {
        Error(after ? last.Column + Characters(last.Text) - 1 : field.Column, "no spaces around =");
    }
    joined_ = true;
    last.Text += field.Text;
}

}  // namespace ixo::assembler
