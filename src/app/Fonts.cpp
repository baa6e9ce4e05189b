#include "app/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <algorithm>

namespace ixo {

QFont ClassicFont(Face face, int pixelSize) {
    QFont font;
    const QStringList faces =
        face == Face::Sans
            ? QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")}
            : QStringList{QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")};
    // Only the first of the names that is installed is asked for. A name that is not
    // would have the toolkit sort every font on the system for that name's stand-ins
    // (about a millisecond at start for the window's two faces) and take the first of
    // them, which need not be the twin named after it. With neither installed, both
    // names are asked for and the toolkit picks by the style hint as before.
    const QStringList installed = QFontDatabase::families();
    const auto there = std::find_if(faces.begin(), faces.end(), [&installed](const QString& name) {
        return installed.contains(name, Qt::CaseInsensitive);
    });
    font.setFamilies(there != faces.end() ? QStringList{*there} : faces);
    if (face == Face::Sans) {
        font.setStyleHint(QFont::SansSerif);
    } else {
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    }
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace ixo
