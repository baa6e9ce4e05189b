#!/usr/bin/env bash
# Draws the program's picture for Windows from packaging/ixo-loader.svg, with the
# host Qt and its SVG plugin: packaging/ixo-loader.png (256 x 256), which the window
# shows, since Qt for Windows is built here without SVG support; and
# packaging/ixo-loader.ico, the executable's icon, holding the picture at the sizes
# Windows asks for, each as a PNG (which Windows Vista and later read in an icon).
# Run it after changing the SVG; its output is kept in the repository.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
ensure_packages g++ pkg-config qt6-base-dev libqt6svg6

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/draw.cpp" <<'SOURCE'
#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QtEndian>

#include <cstdio>
#include <vector>

// draw SVG PNG ICO: the SVG drawn at 256 pixels into PNG, and at every icon size
// into ICO.
int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 4) return 2;
    auto draw = [&](int size) {
        QImageReader reader(QString::fromLocal8Bit(argv[1]), "svg");
        reader.setScaledSize(QSize(size, size));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        const QImage image = reader.read();
        if (image.isNull() || !image.save(&buffer, "PNG")) {
            std::fprintf(stderr, "cannot draw %s: %s\n", argv[1], qPrintable(reader.errorString()));
            std::exit(1);
        }
        return png;
    };
    QFile png(QString::fromLocal8Bit(argv[2]));
    if (!png.open(QIODevice::WriteOnly) || png.write(draw(256)) < 0) return 1;

    const std::vector<int> sizes{16, 20, 24, 32, 40, 48, 64, 256};
    std::vector<QByteArray> images;
    for (int size : sizes) images.push_back(draw(size));
    QByteArray ico;
    auto put16 = [&](quint16 v) { v = qToLittleEndian(v); ico.append(reinterpret_cast<char*>(&v), 2); };
    auto put32 = [&](quint32 v) { v = qToLittleEndian(v); ico.append(reinterpret_cast<char*>(&v), 4); };
    put16(0);  // reserved
    put16(1);  // an icon
    put16(static_cast<quint16>(sizes.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        ico.append(static_cast<char>(sizes[i] == 256 ? 0 : sizes[i]));  // 0 means 256
        ico.append(static_cast<char>(sizes[i] == 256 ? 0 : sizes[i]));
        ico.append('\0');  // no palette
        ico.append('\0');
        put16(1);   // planes
        put16(32);  // bits a pixel
        put32(static_cast<quint32>(images[i].size()));
        put32(offset);
        offset += static_cast<quint32>(images[i].size());
    }
    for (const QByteArray& image : images) ico.append(image);
    QFile out(QString::fromLocal8Bit(argv[3]));
    return out.open(QIODevice::WriteOnly) && out.write(ico) == ico.size() ? 0 : 1;
}
SOURCE
# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -o "$work/draw" "$work/draw.cpp" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$work/draw" "$IXO_ROOT/packaging/ixo-loader.svg" \
  "$IXO_ROOT/packaging/ixo-loader.png" "$IXO_ROOT/packaging/ixo-loader.ico"
echo "wrote packaging/ixo-loader.png and packaging/ixo-loader.ico"
