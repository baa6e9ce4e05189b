#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/NearestName.h"

// The assembler's reading of names and numbers: names matched without regard to
// case, the alternatives and "did you mean" hints its errors give, decimal numbers.

namespace ixo::assembler {

char Upper(char c);
std::string Upper(std::string_view text);

bool SameName(std::string_view text, std::string_view name);
bool StartsWithName(std::string_view text, std::string_view name);

// The index of the name text is, if it is one of names.
template <typename Names>
std::optional<unsigned> FindName(std::string_view text, const Names& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty() && SameName(text, names[i])) return static_cast<unsigned>(i);
    }
    return std::nullopt;
}

// "A, B, C or D".
template <typename Names>
std::string Alternatives(const Names& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

// "; did you mean NAME?" with the name of names that typed most likely meant, or empty.
template <typename Names>
std::string DidYouMean(std::string_view typed, const Names& names) {
    const std::string nearest =
        NearestName(typed, std::vector<std::string>(names.begin(), names.end()));
    return nearest.empty() ? std::string() : "; did you mean " + nearest + "?";
}

// A field in double quotes, cut short when it is long.
std::string Quote(std::string_view text);

// Decimal digits, with a leading "-" when negative is allowed. Values beyond any
// range are held at a bound so that they cannot overflow.
std::optional<long> ParseDecimal(std::string_view text, bool negative = false);

// ": WHAT are decimal, 0x10 is 16" for a number written in hexadecimal, else empty.
std::string DecimalHint(std::string_view text, std::string_view what);

// " (first to last)".
std::string Range(long first, long last);

// The label of the LFO line at position n: "LFOn".
std::string LfoName(int n);

}  // namespace ixo::assembler
