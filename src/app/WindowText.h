#pragma once

#include <QString>

#include <string>

// Texts the main window's files share.

namespace ixo {

// A text from the core, which speaks UTF-8, as the window shows it.
inline QString FromLocal(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace ixo
