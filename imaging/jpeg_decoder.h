#pragma once

#include <memory>

#include "imaging/pic_decoder.h"

// JPEG pictures through libjpeg: grey pictures become 8-bit bitmaps with a grey palette,
// colour pictures (YCbCr, RGB, CMYK) 32-bit bitmaps.
class PLJPEGDecoder : public PLPicDecoder {
  public:
    PLJPEGDecoder();
    ~PLJPEGDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

    // Always true: fancy upsampling stays off, for speed.
    bool GetFastUpsampling() const { return fastUpsampling; }

  private:
    struct Library;
    [[noreturn]] void Fail();

    std::unique_ptr<Library> library;
    const bool fastUpsampling = true;
};
