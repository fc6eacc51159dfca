#include "imaging/tga_decoder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kTopFirst = 0x20;  // descriptor bit 5: the first row in the file is the top

bool IsGrey(std::uint8_t imageType) {
    return imageType == 3 || imageType == 11;
}

}  // namespace

PLTGADecoder::PLTGADecoder() = default;
PLTGADecoder::~PLTGADecoder() = default;

void PLTGADecoder::Open(PLDataSource* dataSourceToRead) {
    source = dataSourceToRead;
    const PLBytes h = source->ReadChecked(18);
    header.idLength = h[0];
    header.colourMapType = h[1];
    header.imageType = h[2];
    header.colourMapFirst = h.LE16(3);
    header.colourMapLength = h.LE16(5);
    header.colourMapEntrySize = h[7];
    header.xOrigin = h.LE16(8);
    header.yOrigin = h.LE16(10);
    header.width = h.LE16(12);
    header.height = h.LE16(14);
    header.pixelDepth = h[16];
    header.descriptor = h[17];
    source->Skip(header.idLength);

    std::int32_t depth = 8;
    bool alpha = false;
    switch (header.pixelDepth) {
        case 15:
        case 24:
            depth = 32;
            break;
        case 16:
        case 32:
            depth = 32;
            alpha = true;
            break;
        default:
            break;
    }
    const bool known = (header.imageType >= 1 && header.imageType <= 3) ||
                       (header.imageType >= 9 && header.imageType <= 11);
    if (!known)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unknown TGA image type.");
    CheckPictureSize(header.width, header.height, depth);
    // A file too short for its pixels fails before a bitmap is made for them: plain pixels
    // take their full size, run-length ones at least two bytes for every 128.
    const std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    const std::uint64_t valueBytes = depth == 8 ? 1 : (header.pixelDepth + 7) / 8;
    const std::uint64_t leastBytes =
        header.imageType >= 9 ? (pixels + 127) / 128 * (1 + valueBytes) : pixels * valueBytes;
    if (source->GetRemaining() < leastBytes)
        throw PLTextException(PL_ERREND_OF_FILE, "End of file reached while decoding.\n");
    SetBmpInfo(header.width, header.height, depth, PLPoint{}, alpha, IsGrey(header.imageType));
}

Pixel32 PLTGADecoder::ReadTgaPixel(int bits) {
    switch (bits) {
        case 15:
        case 16: {
            const std::uint16_t w = source->ReadLE16();
            Pixel32 p = Pixel32::FromRGBA(static_cast<std::uint8_t>((w >> 7) & 0xF8),
                                          static_cast<std::uint8_t>((w >> 2) & 0xF8),
                                          static_cast<std::uint8_t>((w & 0x1F) << 3));
            // The attribute bit is the top bit of the word, and it only means alpha when the
            // descriptor counts an alpha bit.
            if (bits == 16 && (header.descriptor & 0x0F) != 0)
                p.alpha = (w & 0x8000) ? 255 : 0;
            return p;
        }
        case 24: {
            const std::uint8_t* b = source->ReadBytes(3);
            return Pixel32{b[0], b[1], b[2], 255};
        }
        case 32: {
            const std::uint8_t* b = source->ReadBytes(4);
            return Pixel32{b[0], b[1], b[2], b[3]};
        }
        case 8: {
            // Grey colour-map entries.
            const std::uint8_t v = source->ReadByte();
            return Pixel32{v, v, v, 255};
        }
        default:
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unknown TGA colour map entry size.");
    }
}

Pixel32 PLTGADecoder::ReadImagePixel() {
    // Grey pictures of 16 bits (grey with alpha, as GIMP writes them) hold a grey byte, then
    // an alpha byte.
    if (IsGrey(header.imageType) && header.pixelDepth == 16) {
        const std::uint8_t* b = source->ReadBytes(2);
        const bool alpha = (header.descriptor & 0x0F) != 0;
        return Pixel32{b[0], b[0], b[0], alpha ? b[1] : static_cast<std::uint8_t>(255)};
    }
    return ReadTgaPixel(header.pixelDepth);
}

void PLTGADecoder::ReadColourMap(PLBmp& bmp) {
    RGBQuad* palette = bmp.GetPaletteEntries();
    const std::int32_t first = header.colourMapFirst;
    const std::int32_t end = first + header.colourMapLength;
    for (std::int32_t i = first; i < end; ++i) {
        const Pixel32 p = ReadTgaPixel(header.colourMapEntrySize);
        // True-colour pictures carry a colour map they do not use; it is read past.
        if (palette)
            palette[i % 256] = RGBQuad{p.blue, p.green, p.red, p.alpha};
    }
}

void PLTGADecoder::ReadValues(std::uint8_t* row, std::int32_t first, std::int32_t count,
                              bool oneByte) {
    if (oneByte) {
        std::memcpy(row + first, source->ReadBytes(static_cast<std::size_t>(count)),
                    static_cast<std::size_t>(count));
        return;
    }
    for (std::int32_t x = first; x < first + count; ++x) {
        const Pixel32 p = ReadImagePixel();
        std::memcpy(row + 4 * static_cast<std::size_t>(x), &p, 4);
    }
}

void PLTGADecoder::RepeatValue(std::uint8_t* row, std::int32_t first, std::int32_t count,
                               bool oneByte, std::uint8_t index, Pixel32 colour) {
    if (oneByte) {
        std::memset(row + first, index, static_cast<std::size_t>(count));
        return;
    }
    for (std::int32_t x = first; x < first + count; ++x)
        std::memcpy(row + 4 * static_cast<std::size_t>(x), &colour, 4);
}

void PLTGADecoder::DecodePixels(PLBmp& bmp) {
    if (header.colourMapType != 0)
        ReadColourMap(bmp);
    if (IsGrey(header.imageType))
        bmp.SetGreyRamp();
    bool packed = false;
    if (header.imageType >= 1 && header.imageType <= 3) {
        packed = false;
    } else if (header.imageType >= 9 && header.imageType <= 11) {
        packed = true;
    } else {
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unknown TGA image type.");
    }

    PLBmpLock lock(bmp, false, true);
    const std::int32_t w = GetWidth();
    const std::int32_t h = GetHeight();
    const bool oneByte = bmp.GetBitsPerPixel() == 8;
    const bool topFirst = (header.descriptor & kTopFirst) != 0;
    std::uint8_t* const* lines = bmp.GetLineArray();

    // A packet may run across the end of a row (older writers do that): what is left of it
    // goes on at the start of the next row, never past the end of one.
    std::int32_t runLeft = 0;
    bool runRepeats = false;
    std::uint8_t runIndex = 0;
    Pixel32 runColour;
    for (std::int32_t r = 0; r < h; ++r) {
        std::uint8_t* row = lines[topFirst ? r : h - 1 - r];
        if (!packed) {
            ReadValues(row, 0, w, oneByte);
            continue;
        }
        std::int32_t x = 0;
        while (x < w) {
            if (runLeft == 0) {
                const std::uint8_t packet = source->ReadByte();
                runRepeats = (packet & 0x80) != 0;
                runLeft = (packet & 0x7F) + 1;
                if (runRepeats) {
                    if (oneByte)
                        runIndex = source->ReadByte();
                    else
                        runColour = ReadImagePixel();
                }
            }
            const std::int32_t count = std::min(runLeft, w - x);
            if (runRepeats)
                RepeatValue(row, x, count, oneByte, runIndex, runColour);
            else
                ReadValues(row, x, count, oneByte);
            x += count;
            runLeft -= count;
        }
    }
}
