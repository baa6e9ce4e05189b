#pragma once

#include <QFont>

namespace ixo {

// The two faces the windows are drawn in: the classic dialog face and the
// fixed-pitch face of the listing.
enum class Face { Sans, Fixed };

// The classic faces' size, 8 points at 96 dots per inch.
inline constexpr int ClassicPixelSize = 11;

// The face at a height in pixels. Where the classic face is missing, its metric twin
// stands in for it rather than whatever other face the system would pick.
QFont ClassicFont(Face face, int pixelSize = ClassicPixelSize);

}  // namespace ixo
