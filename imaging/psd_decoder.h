#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/pic_decoder.h"

// The merged picture of a Photoshop file: greyscale and indexed colour as 8-bit bitmaps, RGB
// as 32-bit bitmaps (alpha from a fourth channel), 8 bits per channel, raw or PackBits.
class PLPSDDecoder : public PLPicDecoder {
  public:
    PLPSDDecoder();
    ~PLPSDDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;

    // The 26-byte file header, field by field.
    struct Header {
        std::uint16_t version = 0;
        std::uint16_t channels = 0;
        std::uint32_t rows = 0;
        std::uint32_t columns = 0;
        std::uint16_t bitsPerChannel = 0;
        std::uint16_t mode = 0;
    };
    const Header& GetHeader() const { return header; }

  private:
    void ReadResources();
    void ReadPackedChannels(PLBmp& bmp, std::size_t used);
    void StoreRow(PLBmp& bmp, std::size_t channel, std::int32_t row, const std::uint8_t* data);

    Header header;
    std::array<RGBQuad, 256> palette{};
    std::size_t layerSectionStart = 0;
    std::uint32_t layerSectionLength = 0;
    PLDataSource* source = nullptr;
};
