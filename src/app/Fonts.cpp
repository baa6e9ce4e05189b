#include "app/Fonts.h"

#include <QStringList>

namespace ixo {

QFont ClassicFont(Face face, int pixelSize) {
    QFont font;
    if (face == Face::Sans) {
        font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
        font.setStyleHint(QFont::SansSerif);
    } else {
        font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    }
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace ixo
