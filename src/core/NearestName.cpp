#include "core/NearestName.h"

#include <algorithm>

namespace ixo {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Letters added, dropped, changed or two neighbours swapped, to turn a into b.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    const auto same = [](char x, char y) { return Upper(x) == Upper(y); };
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = same(a[i - 1], b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1])) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string NearestName(std::string_view typed, const std::vector<std::string>& names) {
    std::string nearest;
    std::size_t best = 3;
    bool tied = false;
    for (const std::string& name : names) {
        // Lengths that differ by more than best letters cannot come as near, however long
        // what was typed.
        const std::size_t longer = std::max(typed.size(), name.size());
        if (longer - std::min(typed.size(), name.size()) > best) continue;
        const std::size_t distance = EditDistance(typed, name);
        if (2 * distance >= std::min(typed.size(), name.size())) continue;
        if (distance < best) {
            best = distance;
            nearest = name;
            tied = false;
        } else if (distance == best && name != nearest) {
            tied = true;
        }
    }
    return tied ? std::string() : nearest;
}

}  // namespace ixo
