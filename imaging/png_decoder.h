#pragma once

#include <memory>

#include "imaging/pic_decoder.h"

// PNG pictures through libpng: grey and palette pictures become 8-bit bitmaps, the others
// 32-bit bitmaps (with alpha when the file has it).
class PLPNGDecoder : public PLPicDecoder {
  public:
    PLPNGDecoder();
    ~PLPNGDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

  private:
    struct Library;
    [[noreturn]] void Fail();

    std::unique_ptr<Library> library;
    int colourType = 0;
    int bitDepth = 0;
};
