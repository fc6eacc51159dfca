#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "model/build_kind.h"

class CWinBmpEx;

namespace folv {

// One row of the drawing version table. The zero row ends a table; its code and name are
// null.
struct DwgVersion {
    std::int32_t number;
    const char* code;
    const char* name;
};

// The build's version table, newest first, ending with the zero row.
std::span<const DwgVersion> DwgVersionTable(BuildKind build);

// Drawings from this version number on carry an embedded preview.
inline constexpr std::int32_t kFirstVersionWithPreview = 22;

// Largest pixel array a preview header may announce; past this the header is taken for a lie
// rather than a picture worth a cell.
inline constexpr std::uint64_t kMaxPreviewPixelBytes = 16u << 20;

// Largest BMP record or "Preview" stream taken in: the pixels above with room for any header
// and palette. A bigger one cannot hold a picture worth reading it whole for.
inline constexpr std::uint64_t kMaxPreviewRecordBytes = kMaxPreviewPixelBytes + (64u << 10);

class CDwgPreview {
  public:
    explicit CDwgPreview(BuildKind build = BuildKind::Library) : build_(build) {}
    virtual ~CDwgPreview() = default;

    // The number of the table row whose code occurs in the first six bytes of the file;
    // 0 when the file cannot be read or nothing matches.
    std::int32_t GetVersion(std::u16string_view path) const;

    // The drawing's BMP record, copied byte for byte. False (and `buffer` empty) when the
    // drawing is too old, the image data area is damaged or has no BMP record, or that
    // record is larger than kMaxPreviewRecordBytes.
    bool ReadPreviewBitmap(std::u16string_view path, std::vector<std::uint8_t>& buffer) const;

    // Swaps pure black and pure white palette entries of a BMP record in place; `colour` is
    // red in the low byte, then green, then blue. A record too short for its palette, or
    // without one, is left alone.
    static void InvertBlackAndWhite(std::span<std::uint8_t> picture, std::uint32_t colour);

  private:
    BuildKind build_;
};

// The drawing's embedded preview, black and white exchanged, into `bitmap`. False, with the
// bitmap untouched, when the file has no readable preview. Create's exception passes.
bool LoadDwgPreview(std::u16string_view path, CWinBmpEx& bitmap,
                    BuildKind build = BuildKind::Library);

// The "Preview" stream of a compound file into `bitmap`. An empty stream counts as success
// and leaves the bitmap as it was.
bool LoadStoragePreview(std::u16string_view path, CWinBmpEx& bitmap);

}  // namespace folv
