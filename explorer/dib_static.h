#pragma once

#include <QFrame>
#include <memory>
#include <string>
#include <string_view>

#include "imaging/bitmap.h"
#include "model/dwg_preview.h"

class PLAnyPicDecoder;

namespace folv {

// Where a cell gets its picture from, in this order: the drawing's own preview, the preview
// stream of a compound file, the picture decoders. Tests count the reads through it.
class CellReaders {
  public:
    virtual ~CellReaders() = default;
    virtual bool DwgPreview(std::u16string_view path, CWinBmpEx& bitmap) = 0;
    virtual bool StoragePreview(std::u16string_view path, CWinBmpEx& bitmap) = 0;
    // Fills the bitmap or throws PLTextException.
    virtual void DecodeFile(const std::string& path, CWinBmpEx& bitmap) = 0;
};

// The readers of the build. The decoder is the one all cells share, looked up at each read,
// so that a decoder registered later is the one used.
class StandardCellReaders final : public CellReaders {
  public:
    explicit StandardCellReaders(BuildKind build) : build_(build) {}
    bool DwgPreview(std::u16string_view path, CWinBmpEx& bitmap) override;
    bool StoragePreview(std::u16string_view path, CWinBmpEx& bitmap) override;
    void DecodeFile(const std::string& path, CWinBmpEx& bitmap) override;

  private:
    BuildKind build_;
};

// The one decoder the cells share. The application object of the library registers its own;
// until one does (tests, tools) a decoder of this module serves.
PLAnyPicDecoder& SharedDecoder();
void SetSharedDecoder(PLAnyPicDecoder* decoder);

// The readers every new cell uses unless it is given others: those of the library build.
CellReaders& DefaultCellReaders();

}  // namespace folv

// One preview cell: reads a file's picture once, fits it to its inner rectangle at the first
// paint after the load and paints it centred on black; without a picture, the button-shadow
// colour.
class CDIBStatic : public QFrame {
    Q_OBJECT
  public:
    explicit CDIBStatic(QWidget* parent = nullptr);
    ~CDIBStatic() override;

    // True when the cell now shows a picture. A cell that already shows the same path
    // (A-Z case ignored) reads nothing.
    bool LoadPicture(std::u16string_view path);
    bool HasPicture() const { return hasPicture_; }
    const std::u16string& Path() const { return path_; }
    void RedrawCell() { update(); }

    void SetReaders(folv::CellReaders* readers) { readers_ = readers; }
    const CWinBmpEx& Bitmap() const { return bitmap_; }
    bool Fitted() const { return fitted_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QRect InnerRect() const;
    void FitToCell(const QRect& inner);

    CWinBmpEx bitmap_;
    bool hasPicture_ = false;
    bool fitted_ = false;
    std::u16string path_;
    folv::CellReaders* readers_ = nullptr;
};
