#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "imaging/bitmap.h"
#include "imaging/pic_decoder.h"

// Windows and OS/2 bitmap files. Pictures of 8 bits per pixel or less become 8-bit palette
// bitmaps, deeper ones 32-bit bitmaps.
class PLBmpDecoder : public PLPicDecoder {
  public:
    PLBmpDecoder();
    ~PLBmpDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

    // The information header as read (null when nothing is open).
    const BitmapInfoHeader* GetInfoHeader() const { return info.get(); }

  private:
    void ReadHeader();
    void ReadInfoHeader();
    void ReadPalette();
    void ReadMasks();
    void SeekToPixels();

    void DecodeRows(PLBmp& bmp);
    void DecodeRle8(PLBmp& bmp);
    void DecodeRle4(PLBmp& bmp);
    std::uint8_t* Row(PLBmp& bmp, std::int32_t fileRow) const;

    std::array<RGBQuad, 256> palette{};
    std::unique_ptr<BitmapInfoHeader> info;

    PLDataSource* source = nullptr;
    std::size_t sourceStart = 0;     // position of the first byte of the file in the source
    std::uint32_t pixelOffset = 0;   // from the first byte of the file
    std::uint32_t headerSize = 0;    // of the information header
    std::int32_t pictureHeight = 0;  // rows, whatever the sign in the header
    bool topDown = false;
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
    bool haveMasks = false;
};
