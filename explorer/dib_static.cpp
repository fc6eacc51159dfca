#include "explorer/dib_static.h"

#include <QPainter>
#include <filesystem>
#include <system_error>

#include "explorer/bitmap_view.h"
#include "explorer/wait_cursor.h"
#include "imaging/any_pic_decoder.h"
#include "imaging/filter.h"
#include "imaging/text_exception.h"
#include "platform/resolve.h"
#include "platform/text.h"

namespace folv {
namespace {

PLAnyPicDecoder* registeredDecoder = nullptr;

}  // namespace

bool StandardCellReaders::DwgPreview(std::u16string_view path, CWinBmpEx& bitmap) {
    return LoadDwgPreview(path, bitmap, build_);
}

bool StandardCellReaders::StoragePreview(std::u16string_view path, CWinBmpEx& bitmap) {
    return LoadStoragePreview(path, bitmap);
}

void StandardCellReaders::DecodeFile(const std::string& path, CWinBmpEx& bitmap) {
    SharedDecoder().DecodeFile(path.c_str(), bitmap, 0, nullptr);
}

PLAnyPicDecoder& SharedDecoder() {
    if (registeredDecoder != nullptr)
        return *registeredDecoder;
    static PLAnyPicDecoder fallback;
    return fallback;
}

void SetSharedDecoder(PLAnyPicDecoder* decoder) {
    registeredDecoder = decoder;
}

CellReaders& DefaultCellReaders() {
    static StandardCellReaders readers(BuildKind::Library);
    return readers;
}

}  // namespace folv

CDIBStatic::CDIBStatic(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setLineWidth(1);
    setFocusPolicy(Qt::StrongFocus);
}

CDIBStatic::~CDIBStatic() = default;

bool CDIBStatic::LoadPicture(std::u16string_view path) {
    if (hasPicture_ && folv::EqualsNoCaseAZ(path_, path))
        return true;
    hasPicture_ = false;

    const std::u16string resolved = folv::ResolveExistingPath(path);
    std::error_code error;
    const auto status = std::filesystem::status(folv::ToFsPath(resolved), error);
    // A missing path reads like a folder: nothing is read and the old path stays.
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        {
            folv::WaitCursor wait;
            folv::CellReaders& readers = readers_ ? *readers_ : folv::DefaultCellReaders();
            try {
                if (readers.DwgPreview(resolved, bitmap_) ||
                    readers.StoragePreview(resolved, bitmap_)) {
                    hasPicture_ = true;
                } else {
                    readers.DecodeFile(folv::ToUtf8(resolved), bitmap_);
                    hasPicture_ = true;
                }
            } catch (const PLTextException&) {
                hasPicture_ = false;
            }
        }
        path_ = std::u16string(path);
        bitmap_.ResetPalette();
        fitted_ = false;
    }
    RedrawCell();
    return hasPicture_;
}

QRect CDIBStatic::InnerRect() const {
    return contentsRect().adjusted(1, 1, -1, -1);
}

void CDIBStatic::FitToCell(const QRect& inner) {
    CWinBmpEx temporary;
    temporary.Create(bitmap_.GetWidth(), bitmap_.GetHeight(), 32, false, false);
    temporary.CreateCopy(bitmap_, 32);
    bitmap_.CreateFilteredCopy(temporary, PLFilterResizeSharp(inner.width(), inner.height()));
    fitted_ = true;
}

void CDIBStatic::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inner = InnerRect();
    if (hasPicture_ && !fitted_) {
        try {
            FitToCell(inner);
        } catch (const std::exception&) {
            // A picture too large to fit (the library's error or the allocator's) is shown as
            // no picture: nothing may leave a paint event.
            hasPicture_ = false;
        }
    }
    painter.fillRect(inner, hasPicture_ ? QColor(0, 0, 0) : palette().color(QPalette::Dark));
    if (!hasPicture_)
        return;
    const int x = inner.left() + (inner.width() - bitmap_.GetWidth()) / 2;
    const int y = inner.top() + (inner.height() - bitmap_.GetHeight()) / 2;
    painter.setClipRect(inner);
    folv::DrawBitmap(painter, bitmap_, QPoint(x, y));
    if (hasFocus()) {
        // Dots that invert what lies under them, so the mark shows on a white drawing as well
        // as on the black ground.
        painter.setClipping(false);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        QPen pen(QColor(255, 255, 255));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(inner.adjusted(2, 2, -3, -3));
    }
}

void CDIBStatic::focusInEvent(QFocusEvent* event) {
    QFrame::focusInEvent(event);
    RedrawCell();
}

void CDIBStatic::focusOutEvent(QFocusEvent* event) {
    QFrame::focusOutEvent(event);
    RedrawCell();
}
