#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ixo {

// Of names, the one that typed most likely meant: the only one nearest to it, at most
// two letters added, dropped, changed or two neighbours swapped away, and fewer than
// half its letters; letters compare without regard to case. Empty when no name is
// that near, or when two are equally near, since then a guess would mislead.
std::string NearestName(std::string_view typed, const std::vector<std::string>& names);

}  // namespace ixo
