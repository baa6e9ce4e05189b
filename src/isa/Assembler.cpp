#include "isa/Assembler.h"

#include <algorithm>
#include <cstddef>

#include "isa/AsmLines.h"
#include "isa/AsmNames.h"
#include "isa/AsmParser.h"
#include "isa/Notation.h"

namespace ixo {

namespace assembler {

using namespace notation;

namespace {

constexpr std::size_t MaxErrors = 20;

}  // namespace

Assembly Assembler::Run(std::string_view source) {
    lines_ = SourceLines(source);
    for (std::size_t i = 0; i < lines_.size() && !full_; ++i) {
        line_ = static_cast<int>(i) + 1;
        const std::size_t first = result_.Errors.size();
        Line(lines_[i]);
        // A line's errors from left to right, "too many errors" staying last.
        const auto end = result_.Errors.end() - (full_ ? 1 : 0);
        std::stable_sort(result_.Errors.begin() + static_cast<std::ptrdiff_t>(first), end,
                         [](const AsmError& a, const AsmError& b) { return a.Column < b.Column; });
    }
    if (!result_.Ok()) {
        result_.Words.clear();
        result_.Lines.clear();
    }
    return std::move(result_);
}

void Assembler::Error(int column, std::string message) {
    if (full_) return;
    if (result_.Errors.size() == MaxErrors) {
        message = "too many errors";
        full_ = true;
    }
    result_.Errors.push_back({line_, column, std::move(message)});
}

void Assembler::Unexpected(const Field& field) {
    Error(field.Column, "unexpected " + Quote(field.Text) + " at the end of the line");
}

std::optional<long> Assembler::Value(const Field& field, std::string_view key, long first,
                                     long last) {
    const std::string_view digits = std::string_view(field.Text).substr(key.size());
    const std::string shown = std::string(key) + std::string(digits);
    const std::string range = std::to_string(first) + " to " + std::to_string(last);
    const std::optional<long> value = ParseDecimal(digits, first < 0);
    if (!value) {
        const std::string hint = DecimalHint(digits, "numbers");
        Error(field.Column,
              hint.empty() ? Quote(shown) + " is not a number from " + range : shown + hint);
    } else if (*value < first || *value > last) {
        Error(field.Column, shown + " is outside " + range);
    } else {
        return value;
    }
    return std::nullopt;
}

std::optional<unsigned> Assembler::LabelNumber(const Field& field, std::string_view label,
                                               unsigned last) {
    const std::string name(label);
    const std::string range = name + "0 to " + name + std::to_string(last);
    const std::optional<long> n = ParseDecimal(std::string_view(field.Text).substr(label.size()));
    if (!n) {
        Error(field.Column, "unknown label " + Quote(field.Text) + " (" + range + ")");
    } else if (*n > static_cast<long>(last)) {
        Error(field.Column, Upper(field.Text) + " is outside " + range);
    } else {
        return static_cast<unsigned>(*n);
    }
    return std::nullopt;
}

void Assembler::Line(std::string_view text) {
    int endColumn = 1;
    std::vector<Field> fields = SplitFields(text, endColumn);
    if (fields.empty()) return;
    ++wordCount_;
    result_.Lines.push_back(line_);
    if (wordCount_ == MaxProgramWords + 1) {
        Error(fields[0].Column, "more than " + std::to_string(MaxProgramWords) + " words");
    }
    if (StartsWithName(fields[0].Text, LfoLabel)) {
        LfoLine(fields, endColumn);
        return;
    }
    if (nextLfo_ < LfoWordCount) {
        Error(fields[0].Column, "an instruction where " + LfoName(nextLfo_) + " was expected");
        nextLfo_ = LfoWordCount;
    }
    InstructionLine(fields, endColumn);
}

}  // namespace assembler

Assembly AssembleListing(std::string_view source) {
    return assembler::Assembler().Run(source);
}

}  // namespace ixo
