#pragma once

#include <cstdint>

#include "imaging/pic_decoder.h"

// Truevision TGA pictures: colour-mapped and grey ones become 8-bit bitmaps, true-colour ones
// 32-bit bitmaps; plain or run-length encoded.
class PLTGADecoder : public PLPicDecoder {
  public:
    PLTGADecoder();
    ~PLTGADecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;

    // The file header, field by field.
    struct Header {
        std::uint8_t idLength = 0;
        std::uint8_t colourMapType = 0;
        std::uint8_t imageType = 0;
        std::uint16_t colourMapFirst = 0;
        std::uint16_t colourMapLength = 0;
        std::uint8_t colourMapEntrySize = 0;
        std::uint16_t xOrigin = 0;
        std::uint16_t yOrigin = 0;
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        std::uint8_t pixelDepth = 0;
        std::uint8_t descriptor = 0;
    };
    const Header& GetHeader() const { return header; }

  private:
    Pixel32 ReadTgaPixel(int bits);
    Pixel32 ReadImagePixel();
    void ReadColourMap(PLBmp& bmp);
    void ReadValues(std::uint8_t* row, std::int32_t first, std::int32_t count, bool oneByte);
    void RepeatValue(std::uint8_t* row, std::int32_t first, std::int32_t count, bool oneByte,
                     std::uint8_t index, Pixel32 colour);

    Header header;
    PLDataSource* source = nullptr;
};
