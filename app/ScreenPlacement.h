// Where a window with a stored position goes: where it was, unless that would leave it where
// nobody can see or grab it (a screen unplugged since, a changed arrangement).
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

// `window` is the frame at its stored place; `screens` the screens' available areas. The
// stored place stands while a grip of its top edge lies on a screen; otherwise the window
// moves onto the nearest screen, as far as it fits there.
QPoint PlaceOnScreens(const QRect& window, const QList<QRect>& screens);
