#include "explorer/bitmap_view.h"

#include <QPainter>
#include <cstring>

#include "imaging/bitmap.h"

namespace folv {
namespace {

QVector<QRgb> ColourTable(const PLBmp& bitmap) {
    QVector<QRgb> table;
    const RGBQuad* entries = bitmap.GetPaletteEntries();
    const std::size_t count = bitmap.GetPaletteSize();
    table.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count && entries != nullptr; ++i) {
        table.push_back(qRgb(entries[i].red, entries[i].green, entries[i].blue));
    }
    // A colour table shorter than the depth allows must not leave indexes without a colour.
    while (table.size() < 256)
        table.push_back(qRgb(0, 0, 0));
    return table;
}

}  // namespace

QImage ToQImage(const PLBmp& bitmap) {
    const int width = bitmap.GetWidth();
    const int height = bitmap.GetHeight();
    const int depth = bitmap.GetBitsPerPixel();
    if (width <= 0 || height <= 0)
        return {};
    const std::uint8_t* const* rows = bitmap.GetLineArray();
    if (rows == nullptr)
        return {};

    switch (depth) {
        case 1:
        case 4:
        case 8: {
            QImage image(width, height, QImage::Format_Indexed8);
            if (image.isNull())
                return {};
            image.setColorTable(ColourTable(bitmap));
            const int perByte = 8 / depth;
            const int mask = (1 << depth) - 1;
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* src = rows[y];
                uchar* dst = image.scanLine(y);
                if (depth == 8) {
                    std::memcpy(dst, src, static_cast<std::size_t>(width));
                    continue;
                }
                for (int x = 0; x < width; ++x) {
                    const int shift = (perByte - 1 - x % perByte) * depth;
                    dst[x] = static_cast<uchar>((src[x / perByte] >> shift) & mask);
                }
            }
            return image;
        }
        case 16:
        case 24:
        case 32: {
            const QImage::Format format = depth == 16   ? QImage::Format_RGB555
                                          : depth == 24 ? QImage::Format_BGR888
                                                        : QImage::Format_RGB32;
            QImage image(width, height, format);
            if (image.isNull())
                return {};
            const std::size_t rowBytes = static_cast<std::size_t>(width) * (depth / 8);
            for (int y = 0; y < height; ++y) {
                std::memcpy(image.scanLine(y), rows[y], rowBytes);
                if (depth == 32) {
                    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                    for (int x = 0; x < width; ++x)
                        line[x] |= 0xff000000u;
                }
            }
            return image;
        }
        default:
            return {};
    }
}

void DrawBitmap(QPainter& painter, const PLBmp& bitmap, QPoint at) {
    const QImage image = ToQImage(bitmap);
    if (!image.isNull())
        painter.drawImage(at, image);
}

}  // namespace folv
