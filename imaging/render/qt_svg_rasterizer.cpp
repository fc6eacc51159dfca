// Rasterizes the SVG that enhanced metafiles are turned into, with QtSvg. Linking this object
// library into a program installs the rasterizer for the imaging layer.

#include <QtCore/QByteArray>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QPainter>
#include <QtSvg/QSvgRenderer>

#include <cstring>

#include "imaging/svg_rasterizer.h"

namespace {

// `svg` with its text elements left out.
QByteArray WithoutText(const QByteArray& svg) {
    QByteArray out;
    out.reserve(svg.size());
    qsizetype at = 0;
    for (;;) {
        const qsizetype start = svg.indexOf("<text", at);
        if (start < 0)
            break;
        out.append(svg.mid(at, start - at));
        const qsizetype tagEnd = svg.indexOf('>', start);
        if (tagEnd < 0)
            return out;
        if (svg.at(tagEnd - 1) == '/') {
            at = tagEnd + 1;
            continue;
        }
        const qsizetype close = svg.indexOf("</text>", tagEnd);
        if (close < 0)
            return out;
        at = close + 7;
    }
    out.append(svg.mid(at));
    return out;
}

class QtSvgRasterizer : public PLSvgRasterizer {
  public:
    QtSvgRasterizer() { previous = PLSetSvgRasterizer(this); }
    ~QtSvgRasterizer() override {
        if (PLGetSvgRasterizer() == this)
            PLSetSvgRasterizer(previous);
    }
    QtSvgRasterizer(const QtSvgRasterizer&) = delete;
    QtSvgRasterizer& operator=(const QtSvgRasterizer&) = delete;

    bool Rasterize(std::string_view svg, std::int32_t width, std::int32_t height,
                   std::uint8_t* const* rows) override {
        // Text needs Qt's font database, which only exists with a GUI application; without one
        // (a command-line tool) the picture is drawn without its text.
        const bool haveFonts = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        QByteArray document(svg.data(), static_cast<qsizetype>(svg.size()));
        if (!haveFonts)
            document = WithoutText(document);
        QSvgRenderer renderer(document);
        if (!renderer.isValid())
            return false;
        // Memory order of ARGB32 on a little-endian machine: blue, green, red, alpha.
        QImage image(width, height, QImage::Format_ARGB32);
        if (image.isNull())
            return false;
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter, QRectF(0, 0, width, height));
        }
        for (std::int32_t y = 0; y < height; ++y) {
            std::memcpy(rows[y], image.constScanLine(y), 4 * static_cast<std::size_t>(width));
            for (std::int32_t x = 0; x < width; ++x)
                rows[y][4 * x + 3] = 255;  // drawn on white: opaque
        }
        return true;
    }

  private:
    PLSvgRasterizer* previous = nullptr;
};

QtSvgRasterizer rasterizer;

}  // namespace
