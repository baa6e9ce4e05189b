#include "isa/AsmNames.h"

#include <algorithm>

#include "isa/AsmLines.h"
#include "isa/Notation.h"

namespace ixo::assembler {

using namespace notation;

namespace {

// The value of a hexadecimal number written 0x..., for the hint that numbers are
// decimal.
std::optional<long> ParseHex(std::string_view text) {
    if (text.size() < 3 || text[0] != '0' || Upper(text[1]) != 'X' || text.size() > 10) {
        return std::nullopt;
    }
    long value = 0;
    for (const char c : text.substr(2)) {
        const char u = Upper(c);
        if (u >= '0' && u <= '9') {
            value = value * 16 + (u - '0');
        } else if (u >= 'A' && u <= 'F') {
            value = value * 16 + (u - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view text, std::string_view name) {
    return text.size() == name.size() &&
           std::equal(text.begin(), text.end(), name.begin(),
                      [](char a, char b) { return Upper(a) == Upper(b); });
}

bool StartsWithName(std::string_view text, std::string_view name) {
    return text.size() >= name.size() && SameName(text.substr(0, name.size()), name);
}

std::string Upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) { return Upper(c); });
    return result;
}

std::string Quote(std::string_view text) {
    constexpr std::size_t Longest = 24;
    if (text.size() <= Longest) return '"' + std::string(text) + '"';
    std::size_t cut = Longest;
    while (cut > 0 && !StartsCharacter(text[cut])) --cut;
    return '"' + std::string(text.substr(0, cut)) + "...\"";
}

std::optional<long> ParseDecimal(std::string_view text, bool negative) {
    bool minus = false;
    if (negative && !text.empty() && text[0] == '-') {
        minus = true;
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min(value * 10 + (c - '0'), 1'000'000'000L);
    }
    return minus ? -value : value;
}

std::string DecimalHint(std::string_view text, std::string_view what) {
    const std::optional<long> value = ParseHex(text);
    if (!value) return {};
    return ": " + std::string(what) + " are decimal, " + std::string(text) + " is " +
           std::to_string(*value);
}

std::string Range(long first, long last) {
    return " (" + std::to_string(first) + " to " + std::to_string(last) + ")";
}

std::string LfoName(int n) {
    return std::string(LfoLabel) + std::to_string(n);
}

}  // namespace ixo::assembler
