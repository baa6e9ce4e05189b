#pragma once

#include <QString>

#include <string>
#include <vector>

#include "ports/PortNumbers.h"

// Texts the main window's files share.

namespace ixo {

// A text from the core, which speaks UTF-8, as the window shows it.
inline QString FromLocal(const std::string& text) {
    return QString::fromStdString(text);
}

// What people see of the device behind COMn: its path and, where the system
// describes it, the description.
QString PortTip(const std::vector<NumberedPort>& found, int n);

}  // namespace ixo
