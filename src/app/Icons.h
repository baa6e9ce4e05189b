#pragma once

#include <QIcon>

// The pictures of the main window's speed buttons, drawn here in the 16 colours of
// the classic palette. Each icon carries a greyed, embossed twin for its disabled
// state. Pictures are 21 x 21 pixels, the lamps 16 x 16.

namespace ixo::icons {

inline constexpr int GlyphSize = 21;
inline constexpr int LampSize = 16;

enum class TransferDirection { Out, In, Both };

// The program's own icon, the picture its desktop entry names; for the window.
QIcon ProgramIcon();

QIcon CableConnector();
QIcon OpenFolder();
QIcon FloppyDisk();
QIcon Lamp(bool green);
QIcon WindowStack(TransferDirection direction);

}  // namespace ixo::icons
