#pragma once

#include <array>
#include <cstdint>

#include "imaging/pic_decoder.h"

// ZSoft PCX pictures (1 to 8 bits per pixel, 1 to 4 planes) as 32-bit bitmaps with alpha 255.
class PLPCXDecoder : public PLPicDecoder {
  public:
    PLPCXDecoder();
    ~PLPCXDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;

    // The 128-byte header, as used.
    struct Header {
        std::uint8_t manufacturer = 0;
        std::uint8_t encoding = 0;
        std::uint8_t bitsPerPixel = 0;
        std::uint16_t xMin = 0;
        std::uint16_t yMin = 0;
        std::uint16_t xMax = 0;
        std::uint16_t yMax = 0;
        std::uint16_t hRes = 0;
        std::uint16_t vRes = 0;
        std::array<std::uint8_t, 48> palette{};
        std::uint8_t planes = 0;
        std::uint16_t bytesPerLine = 0;
    };
    const Header& GetHeader() const { return header; }

  private:
    Header header;
    PLDataSource* source = nullptr;
};
