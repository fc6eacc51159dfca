#pragma once

#include <cstdint>

#include "imaging/pic_decoder.h"

// What the portable graymap and pixmap decoders share: the header scan and the sample reader.
class PLPnmDecoder : public PLPicDecoder {
  public:
    ~PLPnmDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;

    // 0 for the text form, 1 for the binary form.
    std::int32_t GetKind() const { return kind; }
    std::int32_t GetMaxval() const { return maxval; }

  protected:
    // samplesPerPixel 1 (grey, 8-bit bitmap) or 3 (red, green, blue, 32-bit bitmap).
    PLPnmDecoder(int samplesPerPixel, char textDigit, char binaryDigit, const char* name);

  private:
    static constexpr int kEnd = -1;  // the data has ended (pixel text only)

    void NextChar(bool endAllowed);
    bool IsSeparator() const;
    void SkipSeparators(bool endAllowed);
    std::uint32_t ReadNumber(bool endAllowed);
    std::uint32_t ReadTextSample();
    [[noreturn]] void Fail(const char* what) const;

    const int samples;
    const char textDigit;
    const char binaryDigit;
    const char* const name;

    PLDataSource* source = nullptr;
    int current = 0;  // the current character of the scan
    std::int32_t kind = 0;
    std::int32_t maxval = 255;
};
