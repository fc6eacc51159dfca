#pragma once

#include <QImage>
#include <QPoint>

class PLBmp;
class QPainter;

namespace folv {

// A copy of the bitmap's pixels as a QImage, top row first, whatever the bitmap's own row
// order (bottom-up for Windows bitmaps) and depth (1, 4, 8 with their colour table, 16, 24,
// 32). Alpha is ignored, as a plain copy onto the screen ignores it. Null when the depth is
// not one of these.
QImage ToQImage(const PLBmp& bitmap);

// Paints the bitmap unscaled with its top-left corner at `at`.
void DrawBitmap(QPainter& painter, const PLBmp& bitmap, QPoint at);

}  // namespace folv
