#pragma once

// The decoder front end: recognises the format from the first bytes (metafiles from the
// name), lets the matching format decoder read the header and the pixels.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "imaging/pic_decoder.h"

enum class PLFileType : std::int32_t {
    Unknown = 0,
    Bmp = 1,
    Pict = 2,
    Tga = 3,
    Tiff = 4,
    Jpeg = 5,
    Png = 6,
    EpsTiff = 7,  // EPS with a TIFF preview, decoded by the TIFF decoder
    Wmf = 8,
    Emf = 9,
    Pcx = 10,
    Pgm = 11,
    Gif = 12,
    Ppm = 13,
    Psd = 14,
};

class PLAnyPicDecoder : public PLPicDecoder {
  public:
    PLAnyPicDecoder();
    ~PLAnyPicDecoder() override;

    void Open(PLDataSource* source) override;
    void DecodePixels(PLBmp& bmp) override;
    void Close() override;

    PLFileType GetFileType() const { return fileType; }

    // The format of a file from its first bytes and its size; bytes at or beyond the end of
    // `header` count as 0.
    static PLFileType DetectFileType(std::span<const std::uint8_t> header, std::size_t size);
    // How many leading bytes DetectFileType looks at.
    static constexpr std::size_t kDetectBytes = 528;

  private:
    // Creates one format decoder and makes it the one for `types`.
    template <class Decoder, class... Args>
    Decoder* Register(std::initializer_list<PLFileType> types, Args&&... args) {
        auto decoder = std::make_unique<Decoder>(std::forward<Args>(args)...);
        Decoder* raw = decoder.get();
        for (PLFileType t : types)
            byType[static_cast<std::size_t>(t)] = raw;
        decoders.push_back(std::move(decoder));
        return raw;
    }

    PLFileType fileType = PLFileType::Unknown;
    PLPicDecoder* currentDecoder = nullptr;
    bool decoderOpen = false;  // currentDecoder was opened and not closed since
    std::vector<std::unique_ptr<PLPicDecoder>> decoders;  // in creation order
    std::array<PLPicDecoder*, 15> byType{};
};
