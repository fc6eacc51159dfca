#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/pic_decoder.h"

// The first bitmap of a Macintosh PICT picture (version 1 or 2): the opcode stream is walked,
// vector operations passed over, up to the first operation with pixels. Indexed pictures give
// 8-bit bitmaps, direct ones 32-bit bitmaps; JPEG data in a QuickTime block goes to the JPEG
// decoder handed to the constructor.
class PLPictDecoder : public PLPicDecoder {
  public:
    // `jpegDecoder` is the front end's JPEG decoder, not owned; none makes JPEG blocks fail
    // with code 12.
    explicit PLPictDecoder(PLPicDecoder* jpegDecoder);
    ~PLPictDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

    struct Rect {
        std::int16_t top = 0;
        std::int16_t left = 0;
        std::int16_t bottom = 0;
        std::int16_t right = 0;
        std::int32_t Width() const { return std::int32_t{right} - left; }
        std::int32_t Height() const { return std::int32_t{bottom} - top; }
    };

    // The pixel-map record of a bitmap operation, after its row-bytes word.
    struct PixMap {
        Rect bounds;
        std::uint16_t version = 0;
        std::uint16_t packType = 0;
        std::uint32_t packSize = 0;
        std::uint32_t hRes = 0;  // 16.16 fixed point
        std::uint32_t vRes = 0;
        std::uint16_t pixelType = 0;
        std::uint16_t pixelSize = 0;
        std::uint16_t cmpCount = 0;
        std::uint16_t cmpSize = 0;
        std::uint32_t planeBytes = 0;
        std::uint32_t pmTable = 0;
        std::uint32_t pmReserved = 0;
    };

    // What Open found: 1 direct pixels, 2 JPEG, 3 indexed pixel map, 4 plain bitmap.
    enum ImageKind : std::int32_t { kNone = 0, kDirect = 1, kJpeg = 2, kPixMap = 3, kBitmap = 4 };

    std::int32_t GetVersion() const { return version; }
    std::int32_t GetImageKind() const { return imageKind; }

  private:
    using Palette = std::array<RGBQuad, 256>;

    void WalkOpcodes();
    void HandleOpcode(std::uint16_t opcode);
    void SkipLengthWord();
    void SkipSizeWord();
    void SkipLongLength();
    void SkipText(std::size_t before);
    void SkipPixPat();
    void ReadBitmapOperation(std::uint16_t opcode);
    void ReadDirectOperation(bool region);
    void SearchJpeg();

    Rect ReadRect();
    PixMap ReadPixMap();
    void ReadColourTable(Palette& table);
    void SetPixMapDescription();
    void RequireRows(std::int32_t rows) const;
    void DecodeRows(PLBmp& bmp, std::size_t rowBytesValue, int pixelSize);

    PLPicDecoder* jpeg;
    bool jpegOpen = false;
    PLDataSource* source = nullptr;
    std::int32_t version = 0;
    std::int32_t imageKind = kNone;
    std::uint16_t rowBytes = 0;
    bool isRegion = false;
    bool unpackedRows = false;  // BitsRect and BitsRgn store their rows unpacked
    PixMap pixMap;
    Rect bitmapBounds;
};
