#pragma once

#include <memory>

#include "imaging/pic_decoder.h"

// GIF pictures through giflib: the first image on its logical screen, as an 8-bit palette
// bitmap. A declared transparent colour gets alpha 0 in the palette.
class PLGIFDecoder : public PLPicDecoder {
  public:
    PLGIFDecoder();
    ~PLGIFDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

  private:
    struct Library;
    std::unique_ptr<Library> library;
};
