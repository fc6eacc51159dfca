#pragma once

#include <memory>

#include "imaging/pic_decoder.h"

// TIFF pictures (and the TIFF preview of EPS files) through libtiff. One- and two-sample
// pictures of up to 8 bits in strips are read row by row into 1- or 8-bit bitmaps; all others
// go through the library's RGBA reader into 32-bit bitmaps.
class PLTIFFDecoder : public PLPicDecoder {
  public:
    PLTIFFDecoder();
    ~PLTIFFDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

  private:
    struct Library;
    void DecodeLowColour(PLBmp& bmp);
    void DecodeFullColour(PLBmp& bmp);

    std::unique_ptr<Library> library;
};
