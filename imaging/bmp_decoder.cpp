#include "imaging/bmp_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr std::uint16_t Signature(char first, char second) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(first) |
                                      static_cast<std::uint8_t>(second) << 8);
}

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kBitfields = 3;
constexpr std::uint32_t kAlphaBitfields = 6;

std::int32_t PelsPerMeterToDpi(std::int32_t perMeter) {
    if (perMeter <= 0)
        return 0;
    const auto dpi = static_cast<std::int32_t>(static_cast<float>(perMeter) * 0.0254f + 0.5f);
    return dpi <= 1 ? 0 : dpi;
}

std::uint32_t LE32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::uint16_t LE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// One channel of a bit-field pixel, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    // A mask whose bits form one run, as every writer produces them.
    bool Usable() const { return mask != 0 && ((max + 1) & max) == 0; }
    std::uint8_t Get(std::uint32_t pixel) const {
        if (max == 0)
            return 0;
        const std::uint64_t value = (pixel & mask) >> shift;
        return static_cast<std::uint8_t>((value * 255 + max / 2) / max);
    }
};

}  // namespace

PLBmpDecoder::PLBmpDecoder() = default;
PLBmpDecoder::~PLBmpDecoder() = default;

void PLBmpDecoder::Open(PLDataSource* dataSourceToRead) {
    source = dataSourceToRead;
    sourceStart = source->GetBytesRead();
    info.reset();
    palette.fill(RGBQuad{});
    masks.fill(0);
    haveMasks = false;
    topDown = false;

    ReadHeader();
    ReadInfoHeader();
    const std::int32_t fileDepth = info->bitCount;
    switch (fileDepth) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Decoding bmp: Illegal bpp value.");
    }
    const std::int32_t outputDepth = fileDepth <= 8 ? 8 : 32;
    CheckPictureSize(info->width, pictureHeight, outputDepth);

    if (fileDepth <= 8)
        ReadPalette();
    else
        ReadMasks();
    SeekToPixels();

    SetBmpInfo(
        info->width, pictureHeight, outputDepth,
        PLPoint{PelsPerMeterToDpi(info->xPelsPerMeter), PelsPerMeterToDpi(info->yPelsPerMeter)},
        fileDepth == 32, false);
}

void PLBmpDecoder::ReadHeader() {
    std::uint16_t signature = source->ReadLE16();
    while (signature == Signature('B', 'A')) {
        // An array header of an OS/2 bitmap array: the first bitmap follows.
        source->Skip(12);
        signature = source->ReadLE16();
    }
    if (signature != Signature('B', 'M') && signature != Signature('B', 'A') &&
        signature != Signature('I', 'C') && signature != Signature('C', 'I') &&
        signature != Signature('C', 'P'))
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "Bitmap decoder: This isn't a bitmap.");
    source->Skip(8);  // file size, two reserved values
    pixelOffset = source->ReadLE32();
}

void PLBmpDecoder::ReadInfoHeader() {
    headerSize = source->ReadLE32();
    info = std::make_unique<BitmapInfoHeader>();
    std::memset(info.get(), 0, sizeof(BitmapInfoHeader));
    info->size = headerSize;
    if (headerSize == 12) {
        const std::uint8_t* core = source->ReadBytes(8);
        info->width = LE16(core);
        info->height = LE16(core + 2);
        info->planes = LE16(core + 4);
        info->bitCount = LE16(core + 6);
        pictureHeight = info->height;
        return;
    }
    // OS/2 2.x headers may stop after any field; from 16 bytes on, read what is there.
    if (headerSize < 16)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Bitmap decoder: Illegal header size.");
    const std::size_t fieldBytes = std::min<std::size_t>(headerSize, 56) - 4;
    std::uint8_t fields[52] = {};
    std::memcpy(fields, source->ReadBytes(fieldBytes), fieldBytes);
    info->width = static_cast<std::int32_t>(LE32(fields));
    info->height = static_cast<std::int32_t>(LE32(fields + 4));
    info->planes = LE16(fields + 8);
    info->bitCount = LE16(fields + 10);
    info->compression = LE32(fields + 12);
    info->sizeImage = LE32(fields + 16);
    info->xPelsPerMeter = static_cast<std::int32_t>(LE32(fields + 20));
    info->yPelsPerMeter = static_cast<std::int32_t>(LE32(fields + 24));
    info->clrUsed = LE32(fields + 28);
    info->clrImportant = LE32(fields + 32);
    if (headerSize >= 52) {
        // Version 2 and later headers carry the colour masks themselves.
        masks = {LE32(fields + 36), LE32(fields + 40), LE32(fields + 44),
                 headerSize >= 56 ? LE32(fields + 48) : 0};
        haveMasks = info->compression == kBitfields || info->compression == kAlphaBitfields;
    }
    if (headerSize > 56)
        source->Skip(headerSize - 56);

    if (info->height < 0) {
        if (info->height == INT32_MIN)
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Bitmap decoder: Illegal height.");
        topDown = true;
        pictureHeight = -info->height;
    } else {
        pictureHeight = info->height;
    }
}

void PLBmpDecoder::ReadPalette() {
    const std::uint64_t entries = info->clrUsed != 0 ? info->clrUsed : 1u << info->bitCount;
    // Only OS/2 1.x core headers have 3-byte entries.
    const std::size_t entrySize = headerSize == 12 ? 3 : 4;
    const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(entries, 256));
    const std::uint8_t* table = source->ReadBytes(kept * entrySize);
    for (std::size_t i = 0; i < kept; ++i) {
        const std::uint8_t* entry = table + i * entrySize;
        palette[i] = RGBQuad{entry[0], entry[1], entry[2], 255};
    }
    if (entries > kept) {
        // A table past 256 colours: the pixels usually start where the header says; without
        // a usable offset the rest of the table is passed over.
        const std::size_t position = source->GetBytesRead() - sourceStart;
        const std::uint64_t rest = (entries - kept) * entrySize;
        if (pixelOffset < position || pixelOffset > source->GetSize() - sourceStart) {
            if (rest > source->GetRemaining())
                throw PLTextException(PL_ERREND_OF_FILE, "End of file reached while decoding.\n");
            source->Skip(static_cast<std::size_t>(rest));
        }
    }
}

void PLBmpDecoder::ReadMasks() {
    const bool bitfields = info->compression == kBitfields || info->compression == kAlphaBitfields;
    if (info->bitCount == 16 && info->compression != kRgb && headerSize < 52) {
        // Three masks after the header; any compression value means masks for 16 bits.
        masks = {source->ReadLE32(), source->ReadLE32(), source->ReadLE32(), 0};
        if (info->compression == kAlphaBitfields)
            masks[3] = source->ReadLE32();
        haveMasks = true;
    } else if (info->bitCount == 32 && bitfields && headerSize < 52) {
        masks = {source->ReadLE32(), source->ReadLE32(), source->ReadLE32(), 0};
        if (info->compression == kAlphaBitfields)
            masks[3] = source->ReadLE32();
        haveMasks = true;
    } else if (info->bitCount == 16 && info->compression != kRgb) {
        haveMasks = true;
    }
}

void PLBmpDecoder::SeekToPixels() {
    // The rows start at the offset the file header gives when it lies between here and the end
    // of the data; a lying offset leaves them right after the colour table.
    const std::size_t position = source->GetBytesRead() - sourceStart;
    const std::size_t available = source->GetSize() - sourceStart;
    if (pixelOffset > position && pixelOffset <= available)
        source->Skip(pixelOffset - position);
}

void PLBmpDecoder::Close() {
    info.reset();
    source = nullptr;
    PLPicDecoder::Close();
}

std::uint8_t* PLBmpDecoder::Row(PLBmp& bmp, std::int32_t fileRow) const {
    return bmp.GetLineArray()[topDown ? fileRow : pictureHeight - 1 - fileRow];
}

void PLBmpDecoder::DecodePixels(PLBmp& bmp) {
    if (bmp.GetWidth() != width || bmp.GetHeight() != height ||
        bmp.GetBitsPerPixel() != bitsPerPixel)
        bmp.Create(*this);
    if (bitsPerPixel == 8)
        bmp.SetPaletteEntries(std::span<const RGBQuad>(palette));
    PLBmpLock lock(bmp, false, true);
    const bool compressed = info->compression != kRgb;
    if (info->bitCount == 8 && compressed)
        DecodeRle8(bmp);
    else if (info->bitCount == 4 && compressed)
        DecodeRle4(bmp);
    else
        DecodeRows(bmp);
}

void PLBmpDecoder::DecodeRows(PLBmp& bmp) {
    const std::int32_t fileDepth = info->bitCount;
    const std::size_t dataBytes = (static_cast<std::size_t>(width) * fileDepth + 7) / 8;
    const std::size_t stride = (static_cast<std::size_t>(width) * fileDepth + 31) / 32 * 4;

    enum class Words { rgb555, rgb565, fields };
    Words words = Words::rgb555;
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    bool fieldPixels32 = false;
    if (fileDepth == 16 && haveMasks) {
        if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)
            words = Words::rgb555;
        else if (red.Usable() && green.Usable() && blue.Usable() &&
                 !(masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F))
            words = Words::fields;
        else
            words = Words::rgb565;
    }
    if (fileDepth == 32 && haveMasks && red.Usable() && green.Usable() && blue.Usable() &&
        !(masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF))
        fieldPixels32 = true;

    for (std::int32_t r = 0; r < height; ++r) {
        // Some writers leave out the padding of the last row.
        const std::size_t rowBytes =
            r + 1 < height ? stride : std::max(dataBytes, std::min(stride, source->GetRemaining()));
        const std::uint8_t* in = source->ReadBytes(rowBytes);
        std::uint8_t* out = Row(bmp, r);
        switch (fileDepth) {
            case 1:
                for (std::int32_t x = 0; x < width; ++x)
                    out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
                break;
            case 4:
                for (std::int32_t x = 0; x < width; ++x)
                    out[x] = (x & 1) ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4);
                break;
            case 8:
                std::memcpy(out, in, static_cast<std::size_t>(width));
                break;
            case 16: {
                auto* pixels = reinterpret_cast<Pixel32*>(out);
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint32_t w = LE16(in + 2 * x);
                    switch (words) {
                        case Words::rgb555:
                            pixels[x] =
                                Pixel32::FromRGBA(static_cast<std::uint8_t>((w >> 7) & 0xF8),
                                                  static_cast<std::uint8_t>((w >> 2) & 0xF8),
                                                  static_cast<std::uint8_t>((w & 0x1F) << 3));
                            break;
                        case Words::rgb565:
                            pixels[x] =
                                Pixel32::FromRGBA(static_cast<std::uint8_t>((w >> 8) & 0xF8),
                                                  static_cast<std::uint8_t>((w >> 3) & 0xF8),
                                                  static_cast<std::uint8_t>((w & 0x1F) << 3));
                            break;
                        case Words::fields:
                            pixels[x] = Pixel32::FromRGBA(red.Get(w), green.Get(w), blue.Get(w));
                            break;
                    }
                }
                break;
            }
            case 24: {
                auto* pixels = reinterpret_cast<Pixel32*>(out);
                for (std::int32_t x = 0; x < width; ++x)
                    pixels[x] = Pixel32{in[3 * x], in[3 * x + 1], in[3 * x + 2], 255};
                break;
            }
            case 32:
                if (fieldPixels32) {
                    auto* pixels = reinterpret_cast<Pixel32*>(out);
                    for (std::int32_t x = 0; x < width; ++x) {
                        const std::uint32_t w = LE32(in + 4 * x);
                        pixels[x] = Pixel32::FromRGBA(red.Get(w), green.Get(w), blue.Get(w),
                                                      masks[3] != 0 ? alpha.Get(w) : 255);
                    }
                } else {
                    std::memcpy(out, in, 4 * static_cast<std::size_t>(width));
                }
                break;
        }
    }

    if (fileDepth == 32 && !fieldPixels32) {
        // Most 32-bit files leave the fourth byte zero: that is no alpha, not a transparent
        // picture.
        bool anyAlpha = false;
        for (std::int32_t y = 0; y < height && !anyAlpha; ++y) {
            const std::uint8_t* row = bmp.GetLineArray()[y];
            for (std::int32_t x = 0; x < width; ++x) {
                if (row[4 * x + 3] != 0) {
                    anyAlpha = true;
                    break;
                }
            }
        }
        if (!anyAlpha) {
            for (std::int32_t y = 0; y < height; ++y) {
                std::uint8_t* row = bmp.GetLineArray()[y];
                for (std::int32_t x = 0; x < width; ++x)
                    row[4 * x + 3] = 255;
            }
        }
    }
}

void PLBmpDecoder::DecodeRle8(PLBmp& bmp) {
    std::int32_t row = 0;
    std::int32_t x = 0;
    while (row < height) {
        const std::uint8_t count = source->ReadByte();
        if (count != 0) {
            const std::uint8_t value = source->ReadByte();
            const std::int32_t n = std::min<std::int32_t>(count, width - x);
            std::memset(Row(bmp, row) + x, value, static_cast<std::size_t>(n));
            x += n;
            continue;
        }
        const std::uint8_t code = source->ReadByte();
        if (code == 0) {
            ++row;
            x = 0;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "Encountered delta escape.");
        } else {
            const std::uint8_t* bytes = source->ReadBytes(code);
            const std::int32_t n = std::min<std::int32_t>(code, width - x);
            std::memcpy(Row(bmp, row) + x, bytes, static_cast<std::size_t>(n));
            x += n;
            if (code & 1)
                source->Skip(1);
        }
    }
}

void PLBmpDecoder::DecodeRle4(PLBmp& bmp) {
    // The row buffer is kept between rows: pixels a row's runs do not reach repeat the row
    // before.
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(width), 0);
    std::int32_t row = 0;
    std::int32_t x = 0;
    auto put = [&](std::uint8_t pixel) {
        if (x < width)
            buffer[static_cast<std::size_t>(x++)] = pixel;
    };
    while (row < height) {
        const std::uint8_t count = source->ReadByte();
        if (count != 0) {
            const std::uint8_t value = source->ReadByte();
            for (int i = 0; i < count && x < width; ++i)
                put((i & 1) ? (value & 0x0F) : (value >> 4));
            continue;
        }
        const std::uint8_t code = source->ReadByte();
        if (code == 0 || code == 1) {
            std::memcpy(Row(bmp, row), buffer.data(), buffer.size());
            ++row;
            x = 0;
            if (code == 1)
                break;
        } else if (code == 2) {
            RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "Encountered delta escape.");
        } else {
            const std::size_t byteCount = (code + 1u) / 2;
            const std::uint8_t* bytes = source->ReadBytes(byteCount);
            for (int i = 0; i < code && x < width; ++i)
                put((i & 1) ? (bytes[i / 2] & 0x0F) : (bytes[i / 2] >> 4));
            if (byteCount & 1)
                source->Skip(1);
        }
    }
}
