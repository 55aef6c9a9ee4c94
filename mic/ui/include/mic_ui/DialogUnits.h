// Dialog templates give positions and sizes in dialog units: a quarter of the dialog font's
// average character width across and an eighth of its height down. The program's dialogs all
// use one font, whose base units are 6 x 13 pixels, so one rule converts every template.
#pragma once

#include <QRect>
#include <QSize>

namespace DialogUnits {

constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

/// Rounded like MulDiv.
constexpr int X(int du) { return (du * kBaseX * 2 + (du >= 0 ? 4 : -4)) / 8; }
constexpr int Y(int du) { return (du * kBaseY * 2 + (du >= 0 ? 8 : -8)) / 16; }
inline QRect Rect(int x, int y, int w, int h) { return QRect(X(x), Y(y), X(w), Y(h)); }
inline QSize Size(int w, int h) { return QSize(X(w), Y(h)); }

}  // namespace DialogUnits
