#include "imaging/bitmap.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

#include "imaging/filter.h"
#include "imaging/quantize.h"
#include "imaging/text_exception.h"

namespace {

bool IsKnownDepth(std::int32_t bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

std::size_t PaddedRowBytes(std::int32_t w, std::int32_t bpp) {
    return (static_cast<std::size_t>(w) * static_cast<std::size_t>(bpp) + 31) / 32 * 4;
}

std::size_t PaletteEntriesFor(std::int32_t bpp) {
    return bpp <= 8 && bpp > 0 ? std::size_t{1} << bpp : 0;
}

std::uint8_t* AllocZeroed(std::size_t bytes) {
    // Never a zero-length block, so that a 0-pixel store still has a valid address.
    return new (std::nothrow) std::uint8_t[std::max<std::size_t>(bytes, 1)]();
}

}  // namespace

PLObject::~PLObject() = default;

bool PLPixelStoreFits(std::int32_t w, std::int32_t h, std::int32_t bpp) {
    if (w < 0 || h < 0 || w > kPLMaxSide || h > kPLMaxSide)
        return false;
    if (bpp < 1 || bpp > 32)
        return false;
    std::size_t row = PaddedRowBytes(w, bpp);
    return row == 0 || static_cast<std::size_t>(h) <= kPLMaxPixelStoreBytes / row;
}

// ---- PLBmpInfo

PLBmpInfo::PLBmpInfo(std::int32_t w, std::int32_t h, std::int32_t bpp, PLPoint res, bool alpha,
                     bool grey)
    : width(w), height(h), bitsPerPixel(bpp), resolution(res), hasAlpha(alpha), isGreyscale(grey) {}

void PLBmpInfo::SetBmpInfo(std::int32_t w, std::int32_t h, std::int32_t bpp, PLPoint res,
                           bool alpha, bool grey) {
    width = w;
    height = h;
    bitsPerPixel = bpp;
    resolution = res;
    hasAlpha = alpha;
    isGreyscale = grey;
}

void PLBmpInfo::SetBmpInfo(const PLBmpInfo& info) {
    SetBmpInfo(info.width, info.height, info.bitsPerPixel, info.resolution, info.hasAlpha,
               info.isGreyscale);
}

// ---- PLBmp

PLBmp::PLBmp() = default;
PLBmp::~PLBmp() = default;

void PLBmp::ThrowOutOfMemory() {
    throw PLTextException(PL_ERRNO_MEMORY, "Out of memory creating bitmap.");
}

void PLBmp::CheckStoreRequest(std::int32_t w, std::int32_t h, std::int32_t bpp) {
    if (!IsKnownDepth(bpp) || !PLPixelStoreFits(w, h, bpp))
        ThrowOutOfMemory();
}

void PLBmp::Create(const PLBmpInfo& info) {
    Create(info.GetWidth(), info.GetHeight(), info.GetBitsPerPixel(), info.HasAlpha(),
           info.IsGreyscale(), info.GetResolution());
}

void PLBmp::Create(std::int32_t w, std::int32_t h, std::int32_t bpp, bool alpha, bool grey,
                   PLPoint res) {
    FreePixelStore();
    try {
        CreatePixelStore(w, h, bpp, alpha, grey);
    } catch (const PLTextException&) {
        // Leave a valid, empty bitmap behind rather than dangling pointers.
        try {
            CreatePixelStore(0, 0, 8, false, false);
        } catch (const PLTextException&) {
        }
        throw;
    }
    resolution = res;
}

void PLBmp::FinishPixelStore(std::int32_t w, std::int32_t h, std::int32_t bpp, bool alpha,
                             bool grey) {
    SetBmpInfo(w, h, bpp, PLPoint{}, alpha, grey);
    InitLineArray();
    if (bpp < 16)
        SetGreyRamp();
}

void PLBmp::Lock(bool, bool) {
    ++lockCount;
}
void PLBmp::Unlock() {
    --lockCount;
}

std::size_t PLBmp::GetPaletteSize() const {
    return palette ? PaletteEntriesFor(bitsPerPixel) : 0;
}

void PLBmp::SetPaletteEntries(const RGBQuad* entries) {
    if (palette && entries)
        std::memcpy(palette, entries, GetPaletteSize() * sizeof(RGBQuad));
}

void PLBmp::SetPaletteEntries(std::span<const RGBQuad> entries) {
    std::size_t n = std::min(entries.size(), GetPaletteSize());
    if (n)
        std::memcpy(palette, entries.data(), n * sizeof(RGBQuad));
}

void PLBmp::SetGreyRamp() {
    // Only a bitmap with a colour table has a ramp to set.
    std::size_t n = GetPaletteSize();
    if (n < 2)
        return;
    std::size_t step = 255 / (n - 1);
    for (std::size_t i = 0; i < n; ++i) {
        auto v = static_cast<std::uint8_t>(i * step);
        palette[i] = RGBQuad{v, v, v, 255};
    }
}

Pixel32 PLBmp::GetPixel(std::int32_t column, std::int32_t row) const {
    assert(bitsPerPixel == 32 && column >= 0 && column < width && row >= 0 && row < height);
    Pixel32 p;
    std::memcpy(&p, lineArray[static_cast<std::size_t>(row)] + std::size_t{4} * column, 4);
    return p;
}

void PLBmp::SetPixel(std::int32_t column, std::int32_t row, Pixel32 value) {
    assert(bitsPerPixel == 32 && column >= 0 && column < width && row >= 0 && row < height);
    std::memcpy(lineArray[static_cast<std::size_t>(row)] + std::size_t{4} * column, &value, 4);
}

Pixel32 PLBmp::GetPixelColour(std::int32_t column, std::int32_t row) const {
    assert(column >= 0 && column < width && row >= 0 && row < height);
    const std::uint8_t* line = lineArray[static_cast<std::size_t>(row)];
    auto x = static_cast<std::size_t>(column);
    std::size_t index = 0;
    switch (bitsPerPixel) {
        case 1:
            index = (line[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case 4:
            index = (line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
            break;
        case 8:
            index = line[x];
            break;
        case 16: {
            unsigned w = line[2 * x] | unsigned{line[2 * x + 1]} << 8;
            return Pixel32::FromRGBA(static_cast<std::uint8_t>((w >> 7) & 0xF8),
                                     static_cast<std::uint8_t>((w >> 2) & 0xF8),
                                     static_cast<std::uint8_t>((w & 0x1F) << 3));
        }
        case 24:
            return Pixel32{line[3 * x], line[3 * x + 1], line[3 * x + 2], 255};
        case 32:
            return Pixel32{line[4 * x], line[4 * x + 1], line[4 * x + 2], line[4 * x + 3]};
        default:
            return Pixel32{};
    }
    if (!palette || index >= GetPaletteSize())
        return Pixel32{};
    const RGBQuad& e = palette[index];
    return Pixel32{e.blue, e.green, e.red, e.reserved};
}

void PLBmp::CreateCopy(const PLBmp& source, std::int32_t newBpp) {
    const std::int32_t srcBpp = source.GetBitsPerPixel();
    if (newBpp == 0 || newBpp == srcBpp) {
        if (&source == this)
            return;
        Create(source.GetWidth(), source.GetHeight(), srcBpp, source.HasAlpha(),
               source.IsGreyscale());
        PLBmpLock lock(*this, false, true);
        // Row lengths differ between padded and unpadded bitmaps: copy what both rows hold.
        std::size_t bytes = std::min(GetBytesPerLine(), source.GetBytesPerLine());
        for (std::int32_t y = 0; y < height; ++y) {
            std::memcpy(lineArray[static_cast<std::size_t>(y)],
                        source.GetLineArray()[static_cast<std::size_t>(y)], bytes);
        }
        if (srcBpp <= 8)
            SetPaletteEntries(source.GetPaletteEntries());
        resolution = source.GetResolution();
        return;
    }
    if (&source == this) {
        // Converting in place: Create below would free the pixels being read.
        PLAnyBmp copy;
        copy.CreateCopy(*this);
        CreateCopy(copy, newBpp);
        return;
    }

    const std::int32_t w = source.GetWidth();
    const std::int32_t h = source.GetHeight();
    if (newBpp == 8 && srcBpp > 8) {
        PLFilterQuantize(quantizeSetting1, quantizeSetting2).Apply(source, *this);
        resolution = source.GetResolution();
        return;
    }
    Create(w, h, newBpp, source.HasAlpha() && newBpp == 32, source.IsGreyscale() && newBpp == 8);
    PLBmpLock lock(*this, false, true);
    switch (newBpp) {
        case 32:
            for (std::int32_t y = 0; y < h; ++y) {
                for (std::int32_t x = 0; x < w; ++x)
                    SetPixel(x, y, source.GetPixelColour(x, y));
            }
            break;
        case 24:
            for (std::int32_t y = 0; y < h; ++y) {
                std::uint8_t* line = lineArray[static_cast<std::size_t>(y)];
                for (std::int32_t x = 0; x < w; ++x) {
                    Pixel32 p = source.GetPixelColour(x, y);
                    line[3 * x] = p.blue;
                    line[3 * x + 1] = p.green;
                    line[3 * x + 2] = p.red;
                }
            }
            break;
        case 8:  // from 1 or 4 bits: the indices and the source's colours
            SetPaletteEntries(
                std::span<const RGBQuad>(source.GetPaletteEntries(), source.GetPaletteSize()));
            for (std::int32_t y = 0; y < h; ++y) {
                const std::uint8_t* in = source.GetLineArray()[static_cast<std::size_t>(y)];
                std::uint8_t* out = lineArray[static_cast<std::size_t>(y)];
                for (std::int32_t x = 0; x < w; ++x) {
                    auto ux = static_cast<std::size_t>(x);
                    out[ux] = srcBpp == 1 ? (in[ux >> 3] >> (7 - (ux & 7))) & 1
                                          : (in[ux >> 1] >> ((ux & 1) ? 0 : 4)) & 0x0F;
                }
            }
            break;
        case 1: {
            palette[0] = RGBQuad{255, 255, 255, 255};
            palette[1] = RGBQuad{0, 0, 0, 255};
            for (std::int32_t y = 0; y < h; ++y) {
                std::uint8_t* out = lineArray[static_cast<std::size_t>(y)];
                std::memset(out, 0, GetBytesPerLine());
                for (std::int32_t x = 0; x < w; ++x) {
                    Pixel32 p = source.GetPixelColour(x, y);
                    if (p.red < 128 && p.green < 128 && p.blue < 128) {
                        auto ux = static_cast<std::size_t>(x);
                        out[ux >> 3] |= static_cast<std::uint8_t>(0x80 >> (ux & 7));
                    }
                }
            }
            break;
        }
        default:  // 4 and 16 bits: left as Create made them
            break;
    }
    resolution = source.GetResolution();
}

void PLBmp::CreateFilteredCopy(const PLBmp& source, const PLFilter& filter) {
    filter.Apply(source, *this);
}

// ---- PLWinBmp

PLWinBmp::PLWinBmp() {
    PLWinBmp::CreatePixelStore(16, 16, 8, false, false);
}
PLWinBmp::~PLWinBmp() = default;

std::size_t PLWinBmp::GetBytesPerLine() const {
    return PaddedRowBytes(width, bitsPerPixel);
}

std::size_t PLWinBmp::GetBitsSize() const {
    return static_cast<std::size_t>(height) * GetBytesPerLine();
}

std::size_t PLWinBmp::GetMemUsed() const {
    return 40 + PaletteEntriesFor(bitsPerPixel) * 4 + GetBitsSize() + 56;
}

void PLWinBmp::AllocHeaderBlock(std::int32_t w, std::int32_t h, std::int32_t bpp,
                                std::size_t pixelBytes) {
    std::size_t size = sizeof(BitmapInfoHeader) + PaletteEntriesFor(bpp) * 4 + pixelBytes;
    headerBlock.reset(AllocZeroed(size));
    if (!headerBlock)
        ThrowOutOfMemory();
    headerBlockSize = size;
    auto* info = reinterpret_cast<BitmapInfoHeader*>(headerBlock.get());
    *info = BitmapInfoHeader{40, w, h, 1, static_cast<std::uint16_t>(bpp), 0, 0, 0, 0, 0, 0};
}

void PLWinBmp::CreatePixelStore(std::int32_t w, std::int32_t h, std::int32_t bpp, bool alpha,
                                bool grey) {
    CheckStoreRequest(w, h, bpp);
    AllocHeaderBlock(w, h, bpp, static_cast<std::size_t>(h) * PaddedRowBytes(w, bpp));
    bitsPerPixel = bpp;
    PLWinBmp::InitPointers();
    FinishPixelStore(w, h, bpp, alpha, grey);
}

void PLWinBmp::InitPointers() {
    std::uint8_t* block = headerBlock.get();
    bitmapInfo = reinterpret_cast<BitmapInfoHeader*>(block);
    std::size_t entries = PaletteEntriesFor(bitmapInfo->bitCount);
    palette = entries ? reinterpret_cast<RGBQuad*>(block + sizeof(BitmapInfoHeader)) : nullptr;
    bits = block + sizeof(BitmapInfoHeader) + entries * 4;
}

void PLWinBmp::InitLineArray() {
    std::size_t row = GetBytesPerLine();
    auto h = static_cast<std::size_t>(height);
    lineArray.assign(h, nullptr);
    for (std::size_t i = 0; i < h; ++i)
        lineArray[i] = bits + (h - i - 1) * row;
}

void PLWinBmp::FreePixelStore() {
    lineArray.clear();
    palette = nullptr;
    bits = nullptr;
    bitmapInfo = nullptr;
    headerBlock.reset();
    headerBlockSize = 0;
    width = 0;
    height = 0;
}

void PLWinBmp::CreateFromPackedDib(std::span<const std::uint8_t> dib) {
    BitmapInfoHeader info;
    if (dib.size() < sizeof(info))
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Packed DIB too short.");
    std::memcpy(&info, dib.data(), sizeof(info));
    if (info.size < sizeof(info) || info.size > dib.size() || info.width < 0 || info.height < 0 ||
        !IsKnownDepth(info.bitCount)) {
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Packed DIB header damaged.");
    }
    if (info.compression != 0) {
        RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "Packed DIB compression not supported.");
    }
    Create(info.width, info.height, info.bitCount, info.bitCount == 32, false);
    std::span<const std::uint8_t> rest = dib.subspan(info.size);
    std::size_t entries = PaletteEntriesFor(info.bitCount);
    if (info.clrUsed != 0 && info.clrUsed < entries)
        entries = info.clrUsed;
    entries = std::min(entries, rest.size() / 4);
    if (entries) {
        SetPaletteEntries(
            std::span<const RGBQuad>(reinterpret_cast<const RGBQuad*>(rest.data()), entries));
    }
    rest = rest.subspan(entries * 4);
    std::memcpy(bits, rest.data(), std::min(rest.size(), GetBitsSize()));
}

std::vector<std::uint8_t> PLWinBmp::CopyToGlobalMemory() const {
    return std::vector<std::uint8_t>(headerBlock.get(), headerBlock.get() + headerBlockSize);
}

// ---- PLDIBSection

PLDIBSection::PLDIBSection() {
    FreePixelStore();
    PLDIBSection::CreatePixelStore(16, 16, 8, false, false);
}
PLDIBSection::~PLDIBSection() = default;

void PLDIBSection::CreatePixelStore(std::int32_t w, std::int32_t h, std::int32_t bpp, bool alpha,
                                    bool grey) {
    CheckStoreRequest(w, h, bpp);
    AllocHeaderBlock(w, h, bpp, 0);
    section.reset(AllocZeroed(static_cast<std::size_t>(h) * PaddedRowBytes(w, bpp)));
    if (!section) {
        headerBlock.reset();
        ThrowOutOfMemory();
    }
    bitsPerPixel = bpp;
    PLDIBSection::InitPointers();
    FinishPixelStore(w, h, bpp, alpha, grey);
}

void PLDIBSection::InitPointers() {
    PLWinBmp::InitPointers();
    bits = section.get();
}

void PLDIBSection::FreePixelStore() {
    PLWinBmp::FreePixelStore();
    section.reset();
}

void PLDIBSection::CreateFromPackedDib(std::span<const std::uint8_t> dib) {
    PLWinBmp::CreateFromPackedDib(dib);
}

std::vector<std::uint8_t> PLDIBSection::CopyToGlobalMemory() const {
    std::vector<std::uint8_t> out(headerBlock.get(), headerBlock.get() + headerBlockSize);
    out.insert(out.end(), bits, bits + GetBitsSize());
    return out;
}

std::unique_ptr<std::uint8_t[]> PLDIBSection::ReleaseSection() {
    std::unique_ptr<std::uint8_t[]> released = std::move(section);
    FreePixelStore();
    CreatePixelStore(16, 16, 8, false, false);
    return released;
}

// ---- CWinBmpEx

CWinBmpEx::CWinBmpEx() = default;
CWinBmpEx::~CWinBmpEx() = default;

std::size_t CWinBmpEx::GetColourCount() const {
    return bitsPerPixel == 32 ? std::size_t{1} << 24 : std::size_t{1} << bitsPerPixel;
}

std::unique_ptr<PLLogicalPalette> CWinBmpEx::CreatePaletteFromTable() const {
    auto result = std::make_unique<PLLogicalPalette>();
    if (!palette) {
        // Stands in for the screen's halftone palette.
        static constexpr std::uint8_t kLevels[6] = {0, 51, 102, 153, 204, 255};
        result->entries.reserve(216);
        for (std::uint8_t r : kLevels) {
            for (std::uint8_t g : kLevels) {
                for (std::uint8_t b : kLevels)
                    result->entries.push_back(RGBQuad{b, g, r, 0});
            }
        }
        return result;
    }
    std::size_t n = std::min(GetColourCount(), GetPaletteSize());
    result->entries.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        result->entries.push_back(RGBQuad{palette[i].blue, palette[i].green, palette[i].red, 0});
    }
    return result;
}

const PLLogicalPalette* CWinBmpEx::GetPalette() {
    if (!logicalPalette)
        logicalPalette = CreatePaletteFromTable();
    return logicalPalette.get();
}

void CWinBmpEx::ResetPalette() {
    logicalPalette = CreatePaletteFromTable();
}

// ---- PLAnyBmp

PLAnyBmp::PLAnyBmp() {
    PLAnyBmp::CreatePixelStore(16, 16, 8, false, false);
}
PLAnyBmp::~PLAnyBmp() = default;

std::size_t PLAnyBmp::GetBytesPerLine() const {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
}

std::size_t PLAnyBmp::GetMemUsed() const {
    return 52 + PaletteEntriesFor(bitsPerPixel) * 4 +
           static_cast<std::size_t>(height) * GetBytesPerLine() + 52;
}

void PLAnyBmp::CreatePixelStore(std::int32_t w, std::int32_t h, std::int32_t bpp, bool alpha,
                                bool grey) {
    CheckStoreRequest(w, h, bpp);
    std::size_t row = (static_cast<std::size_t>(w) * static_cast<std::size_t>(bpp) + 7) / 8;
    pixels.reset(AllocZeroed(static_cast<std::size_t>(h) * row));
    if (!pixels)
        ThrowOutOfMemory();
    std::size_t entries = PaletteEntriesFor(bpp);
    if (entries) {
        paletteStore.reset(new (std::nothrow) RGBQuad[entries]());
        if (!paletteStore) {
            pixels.reset();
            ThrowOutOfMemory();
        }
    }
    palette = paletteStore.get();
    FinishPixelStore(w, h, bpp, alpha, grey);
}

void PLAnyBmp::InitLineArray() {
    std::size_t row = GetBytesPerLine();
    auto h = static_cast<std::size_t>(height);
    lineArray.assign(h, nullptr);
    for (std::size_t i = 0; i < h; ++i)
        lineArray[i] = pixels.get() + i * row;
}

void PLAnyBmp::FreePixelStore() {
    lineArray.clear();
    palette = nullptr;
    paletteStore.reset();
    pixels.reset();
    width = 0;
    height = 0;
}
