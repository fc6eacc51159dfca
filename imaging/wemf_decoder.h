#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/pic_decoder.h"

struct _wmfAPI;

// Windows metafiles (WMF, through libwmf) and enhanced metafiles (EMF, through libemf2svg and
// the installed SVG rasterizer), drawn on white at a size taken from the metafile's header at
// 96 pixels per inch, as 32-bit bitmaps.
class PLWEMFDecoder : public PLPicDecoder {
  public:
    PLWEMFDecoder();
    ~PLWEMFDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

    // Pictures larger than this on their longer side are drawn smaller, keeping their shape.
    static constexpr std::int32_t kMaxSide = 4096;
    static constexpr std::int32_t kPixelsPerInch = 96;

    bool IsEnhanced() const { return enhanced; }

  private:
    void OpenEnhanced();
    void OpenWindows();
    void DecodeEnhanced(PLBmp& bmp);
    void DecodeWindows(PLBmp& bmp);
    void ReleaseLibrary();
    void SetSize(std::int64_t pictureWidth, std::int64_t pictureHeight);

    std::vector<std::uint8_t> bytes;  // the whole metafile
    bool enhanced = false;
    bool placeable = false;
    _wmfAPI* wmf = nullptr;
    float frame[4] = {};  // libwmf's device rectangle of the picture: left, top, right, bottom
};
