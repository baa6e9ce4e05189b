#include "app/Placement.h"

#include <QElapsedTimer>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <memory>

namespace ixo {

namespace {

constexpr int WatchIntervalMs = 50;
constexpr int WatchLengthMs = 5000;

// The frame's margins as the window system reports them now: none before it
// draws a frame.
QMargins FrameOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

// Places the window inside the given frame; the window's own rectangle is what
// lies inside it.
void Place(QWidget* window, QSize size, KeptSize kept, const QMargins& frame) {
    QRect outer(QPoint(0, 0), kept == KeptSize::Outer ? size : size.grownBy(frame));
    if (const QScreen* here = window->screen()) {
        const QRect available = here->availableGeometry();
        outer.moveCenter(available.center());
        outer.moveTopLeft(QPoint(std::max(outer.left(), available.left()),
                                 std::max(outer.top(), available.top())));
    }
    window->setGeometry(outer.marginsRemoved(frame));
}

}  // namespace

void CentreOnScreen(QWidget* window, QSize size, KeptSize kept) {
    auto placed = std::make_shared<QMargins>(FrameOf(window));
    Place(window, size, kept, *placed);
    auto* watch = new QTimer(window);
    watch->setInterval(WatchIntervalMs);
    QElapsedTimer since;
    since.start();
    QObject::connect(watch, &QTimer::timeout, window, [window, size, kept, placed, watch, since] {
        const QMargins frame = FrameOf(window);
        if (frame != *placed) {
            *placed = frame;
            Place(window, size, kept, frame);
        }
        if (since.hasExpired(WatchLengthMs)) watch->deleteLater();
    });
    watch->start();
}

}  // namespace ixo
