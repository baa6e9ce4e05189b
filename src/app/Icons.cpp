#include "app/Icons.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace ixo::icons {

namespace {

// The classic 16-colour palette, the colours these pictures are drawn in.
const QColor Black(0x00, 0x00, 0x00);
const QColor Maroon(0x80, 0x00, 0x00);
const QColor Green(0x00, 0x80, 0x00);
const QColor Olive(0x80, 0x80, 0x00);
const QColor Navy(0x00, 0x00, 0x80);
const QColor Grey(0x80, 0x80, 0x80);
const QColor Silver(0xC0, 0xC0, 0xC0);
const QColor Red(0xFF, 0x00, 0x00);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor Blue(0x00, 0x00, 0xFF);
const QColor White(0xFF, 0xFF, 0xFF);

// The disabled twin of a picture: its dark pixels in grey over a white shadow one
// pixel down and right; light pixels drop out.
QImage GreyedTwin(const QImage& picture);

// A transparent picture and a painter on it that draws hard pixels, no smoothing.
struct Canvas {
    explicit Canvas(int size) : image(size, size, QImage::Format_ARGB32) {
        image.fill(Qt::transparent);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }

    // Fills the rectangle from (x0, y0) to (x1, y1), both corners included.
    void Fill(int x0, int y0, int x1, int y1, const QColor& colour) {
        painter.fillRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1, colour);
    }
    // Fills the rectangle and draws its edge pixels in outline.
    void Box(int x0, int y0, int x1, int y1, const QColor& fill, const QColor& outline) {
        Fill(x0, y0, x1, y1, outline);
        Fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill);
    }
    void Line(int x0, int y0, int x1, int y1, const QColor& colour) {
        painter.setPen(colour);
        painter.drawLine(x0, y0, x1, y1);
    }
    void Dot(int x, int y, const QColor& colour) {
        painter.setPen(colour);
        painter.drawPoint(x, y);
    }
    void Polygon(const QPolygon& points, const QColor& fill, const QColor& outline) {
        painter.setPen(outline);
        painter.setBrush(fill);
        painter.drawPolygon(points);
        painter.setBrush(Qt::NoBrush);
    }

    QIcon Icon() {
        painter.end();
        QIcon icon;
        icon.addPixmap(QPixmap::fromImage(image), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(GreyedTwin(image)), QIcon::Disabled);
        return icon;
    }

    QImage image;
    QPainter painter;
};

// A small window: outline, title bar and white client area.
void SmallWindow(Canvas& canvas, int x, int y) {
    canvas.Box(x, y, x + 10, y + 8, White, Black);
    canvas.Fill(x + 1, y + 1, x + 9, y + 2, Navy);
}

QImage GreyedTwin(const QImage& picture) {
    // The pixels are read and written where they lie: through QColor, as pixelColor
    // and setPixelColor go, the nine pictures of the window's buttons took most of
    // a millisecond of its start.
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage twin(source.size(), QImage::Format_ARGB32);
    twin.fill(Qt::transparent);
    const int width = source.width();
    const int height = source.height();
    const auto dark = [&source](int x, int y) {
        const QRgb pixel = reinterpret_cast<const QRgb*>(source.constScanLine(y))[x];
        return qAlpha(pixel) >= 128 && qGray(pixel) < 192;
    };
    const auto set = [&twin](int x, int y, const QColor& colour) {
        reinterpret_cast<QRgb*>(twin.scanLine(y))[x] = colour.rgba();
    };
    for (int y = 0; y + 1 < height; ++y) {
        for (int x = 0; x + 1 < width; ++x) {
            if (dark(x, y)) set(x + 1, y + 1, White);
        }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (dark(x, y)) set(x, y, Grey);
        }
    }
    return twin;
}

}  // namespace

QIcon CableConnector() {
    Canvas c(GlyphSize);
    // The cable leaving the plug upwards.
    c.Box(8, 0, 12, 6, Grey, Black);
    // Metal shell with its two screw holes.
    c.Box(0, 5, 20, 15, Silver, Black);
    c.Fill(2, 9, 3, 10, Black);
    c.Fill(17, 9, 18, 10, Black);
    // The D-shaped pin carrier and its nine pins.
    c.Polygon(QPolygon({QPoint(5, 7), QPoint(15, 7), QPoint(13, 13), QPoint(7, 13)}), Navy, Black);
    for (int x = 7; x <= 13; x += 2) c.Dot(x, 9, Yellow);
    for (int x = 8; x <= 12; x += 2) c.Dot(x, 11, Yellow);
    // Cable strain relief below the shell.
    c.Fill(9, 16, 11, 18, Grey);
    c.Line(8, 16, 8, 18, Black);
    c.Line(12, 16, 12, 18, Black);
    c.Line(9, 19, 11, 19, Black);
    return c.Icon();
}

QIcon OpenFolder() {
    Canvas c(GlyphSize);
    // Back of the folder with its tab.
    c.Box(1, 6, 5, 8, Olive, Black);
    c.Box(1, 8, 14, 19, Olive, Black);
    // The opened front flap.
    c.Polygon(QPolygon({QPoint(5, 12), QPoint(19, 12), QPoint(15, 19), QPoint(1, 19)}), Yellow,
              Black);
    // The curved arrow springing out of it.
    c.painter.setPen(QPen(Black, 1));
    c.painter.drawArc(10, 1, 8, 8, 0 * 16, 180 * 16);
    c.Line(16, 5, 20, 5, Black);
    c.Line(17, 6, 19, 6, Black);
    c.Dot(18, 7, Black);
    return c.Icon();
}

QIcon FloppyDisk() {
    Canvas c(GlyphSize);
    // Rays: the disk being written.
    c.Line(16, 0, 16, 2, Red);
    c.Line(18, 4, 20, 4, Red);
    c.Line(18, 2, 19, 1, Red);
    c.Line(14, 2, 13, 1, Red);
    c.Line(18, 6, 19, 7, Red);
    c.Dot(16, 4, Yellow);
    // The disk: body, shutter with its slot, label.
    c.Box(0, 6, 14, 20, Navy, Black);
    c.Box(3, 6, 11, 11, Silver, Black);
    c.Fill(8, 7, 9, 10, Navy);
    c.Box(2, 13, 12, 20, White, Black);
    c.Line(4, 15, 10, 15, Grey);
    c.Line(4, 17, 10, 17, Grey);
    return c.Icon();
}

QIcon Lamp(bool green) {
    const QColor lit = green ? Lime : Red;
    const QColor shade = green ? Green : Maroon;
    Canvas c(LampSize);
    c.painter.setPen(Black);
    c.painter.setBrush(shade);
    c.painter.drawEllipse(0, 0, 15, 15);
    c.painter.setPen(Qt::NoPen);
    c.painter.setBrush(lit);
    c.painter.drawEllipse(2, 2, 10, 10);
    c.Fill(4, 4, 6, 5, White);
    c.Dot(4, 6, White);
    return c.Icon();
}

QIcon WindowStack(TransferDirection direction) {
    Canvas c(GlyphSize);
    SmallWindow(c, 0, 0);
    SmallWindow(c, 3, 3);
    SmallWindow(c, 6, 6);
    const QColor colour = direction == TransferDirection::Out  ? Red
                          : direction == TransferDirection::In ? Green
                                                               : Blue;
    // A thick horizontal arrow under the stack.
    c.Fill(4, 17, 16, 18, colour);
    const bool right = direction != TransferDirection::In;
    const bool left = direction != TransferDirection::Out;
    if (right) {
        c.Fill(17, 15, 17, 20, colour);
        c.Fill(18, 16, 18, 19, colour);
        c.Fill(19, 17, 19, 18, colour);
    }
    if (left) {
        c.Fill(3, 15, 3, 20, colour);
        c.Fill(2, 16, 2, 19, colour);
        c.Fill(1, 17, 1, 18, colour);
    }
    return c.Icon();
}

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(IXO_PROGRAM_ICON));
}

}  // namespace ixo::icons
