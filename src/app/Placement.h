#pragma once

#include <QSize>

class QWidget;

namespace ixo {

// Which size a window keeps when its frame changes: the outer one, frame
// included, or the one inside the frame.
enum class KeptSize { Outer, Inside };

// Places a top-level window centred on its screen, the frame included where the
// window system draws one, at the given size; a screen smaller than the window
// keeps the caption reachable. A window manager frames a window only once it is on
// the screen, after the first placement counted no frame, and may change the frame
// while it settles: for the first seconds the window is placed again whenever its
// frame changes. Call it when the window is shown.
void CentreOnScreen(QWidget* window, QSize size, KeptSize kept);

}  // namespace ixo
