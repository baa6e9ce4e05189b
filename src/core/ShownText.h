#pragma once

#include <string>
#include <string_view>

namespace ixo {

// text with each control character (a line break, a tab, an escape...) written as C
// writes it in a string, "\n", "\t", "\r", else "\x1b" and the like, so that a
// message quoting what the user gave stays one line and shows what was given.
std::string EscapeControls(std::string_view text);

}  // namespace ixo
