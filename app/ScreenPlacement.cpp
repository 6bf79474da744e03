#include "app/ScreenPlacement.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kGripHeight = 24;  // about a title bar
constexpr int kGripWidth = 80;   // enough of it to take hold of

qint64 DistanceSquared(const QRect& screen, const QPoint& p) {
    const qint64 dx = p.x() < screen.left()    ? screen.left() - p.x()
                      : p.x() > screen.right() ? p.x() - screen.right()
                                               : 0;
    const qint64 dy = p.y() < screen.top()      ? screen.top() - p.y()
                      : p.y() > screen.bottom() ? p.y() - screen.bottom()
                                                : 0;
    return dx * dx + dy * dy;
}

}  // namespace

QPoint PlaceOnScreens(const QRect& window, const QList<QRect>& screens) {
    if (screens.isEmpty()) return window.topLeft();
    const QRect grip(window.left(), window.top(), window.width(), kGripHeight);
    for (const QRect& s : screens) {
        const QRect visible = s.intersected(grip);
        if (visible.width() >= std::min(kGripWidth, window.width()) &&
            visible.height() >= std::min(kGripHeight, window.height()) / 2)
            return window.topLeft();
    }
    const QRect* nearest = &screens.front();
    qint64 best = std::numeric_limits<qint64>::max();
    for (const QRect& s : screens) {
        const qint64 d = DistanceSquared(s, window.center());
        if (d < best) {
            best = d;
            nearest = &s;
        }
    }
    const int x = std::clamp(window.left(), nearest->left(),
                             std::max(nearest->left(), nearest->right() + 1 - window.width()));
    const int y = std::clamp(window.top(), nearest->top(),
                             std::max(nearest->top(), nearest->bottom() + 1 - window.height()));
    return {x, y};
}
