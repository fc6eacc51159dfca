#include "imaging/pict_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/packbits.h"

namespace {

// Row-bytes words carry two flag bits above the count.
constexpr std::uint16_t kRowBytesMask = 0x3FFF;
constexpr std::uint16_t kPixMapFlag = 0x8000;

}  // namespace

PLPictDecoder::PLPictDecoder(PLPicDecoder* jpegDecoder) : jpeg(jpegDecoder) {}
PLPictDecoder::~PLPictDecoder() = default;

void PLPictDecoder::Close() {
    if (jpegOpen && jpeg)
        jpeg->Close();
    jpegOpen = false;
    imageKind = kNone;
    PLPicDecoder::Close();
}

void PLPictDecoder::Open(PLDataSource* dataSourceToRead) {
    source = dataSourceToRead;
    imageKind = kNone;
    jpegOpen = false;
    source->Skip(512);    // preamble
    source->Skip(2 + 8);  // picture size, frame
    std::uint8_t b = 0;
    do {
        b = source->ReadByte();
    } while (b == 0);
    if (b != 0x11)
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "Error decoding pict: Version number missing.");
    b = source->ReadByte();
    if (b == 0x01) {
        version = 1;
    } else if (b == 0x02 && source->ReadByte() == 0xFF) {
        version = 2;
    } else {
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "Illegal version number.");
    }
    WalkOpcodes();
}

void PLPictDecoder::WalkOpcodes() {
    while (imageKind == kNone) {
        std::uint16_t opcode = 0;
        if (version == 2) {
            if (source->GetBytesRead() % 2 != 0)
                source->Skip(1);
            opcode = source->ReadBE16();
        } else {
            opcode = source->ReadByte();
        }
        HandleOpcode(opcode);
    }
}

void PLPictDecoder::SkipLengthWord() {
    source->Skip(source->ReadBE16());
}

void PLPictDecoder::SkipSizeWord() {
    const std::uint16_t size = source->ReadBE16();
    if (size > 2)
        source->Skip(size - 2u);
}

void PLPictDecoder::SkipLongLength() {
    source->Skip(source->ReadBE32());
}

void PLPictDecoder::SkipText(std::size_t before) {
    source->Skip(before);
    source->Skip(source->ReadByte());
}

void PLPictDecoder::HandleOpcode(std::uint16_t op) {
    if (op <= 0xFF) {
        switch (op) {
            case 0x00:
            case 0x17:
            case 0x18:
            case 0x19:
            case 0x1C:
            case 0x1E:
                return;
            case 0x01:
                SkipSizeWord();
                return;
            case 0x02:
            case 0x09:
            case 0x0A:
            case 0x10:
            case 0x20:
                source->Skip(8);
                return;
            case 0x03:
            case 0x05:
            case 0x08:
            case 0x0D:
            case 0x15:
            case 0x16:
            case 0x23:
            case 0xA0:
                source->Skip(2);
                return;
            case 0x04:
            case 0x11:
                source->Skip(1);
                return;
            case 0x06:
            case 0x07:
            case 0x0B:
            case 0x0C:
            case 0x0E:
            case 0x0F:
            case 0x21:
                source->Skip(4);
                return;
            case 0x12:
            case 0x13:
            case 0x14:
                SkipPixPat();
                return;
            case 0x1A:
            case 0x1B:
            case 0x1D:
            case 0x1F:
            case 0x22:
                source->Skip(6);
                return;
            // Text operations: their text follows, so that the walk keeps its place.
            case 0x28:
                SkipText(4);
                return;
            case 0x29:
            case 0x2A:
                SkipText(1);
                return;
            case 0x2B:
                SkipText(2);
                return;
            case 0x90:
            case 0x91:
            case 0x98:
            case 0x99:
                ReadBitmapOperation(op);
                return;
            case 0x9A:
            case 0x9B:  // the same clipped by a region
                ReadDirectOperation(op == 0x9B);
                return;
            case 0xA1:
                source->Skip(2);
                SkipLengthWord();
                return;
            case 0xFF:
                RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "PICT contained only vector data!\n");
            default:
                break;
        }
        if ((op >= 0x24 && op <= 0x27) || (op >= 0x2C && op <= 0x2F) ||
            (op >= 0x92 && op <= 0x9F) || (op >= 0xA2 && op <= 0xAF)) {
            SkipLengthWord();
        } else if ((op >= 0x30 && op <= 0x37) || (op >= 0x40 && op <= 0x47) ||
                   (op >= 0x50 && op <= 0x57)) {
            source->Skip(8);
        } else if (op >= 0x60 && op <= 0x67) {
            source->Skip(12);
        } else if (op >= 0x68 && op <= 0x6F) {
            source->Skip(4);
        } else if ((op >= 0x70 && op <= 0x77) || (op >= 0x80 && op <= 0x87)) {
            // Polygons and regions: a size word that counts itself.
            SkipSizeWord();
        } else if (op >= 0xD0) {
            SkipLongLength();
        }
        // Everything else (shapes on the last shape, 0xB0 to 0xCF) carries no data.
        return;
    }
    if (op == 0xFFFF)
        RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "PICT contained only vector data!\n");
    if (op == 0x0C00) {
        source->Skip(24);  // the version 2 header
    } else if (op <= 0x7FFF) {
        source->Skip((op >> 7) & 0xFF);
    } else if (op <= 0x80FF) {
        return;
    } else if (op == 0x8200) {
        SearchJpeg();
    } else {
        SkipLongLength();
    }
}

PLPictDecoder::Rect PLPictDecoder::ReadRect() {
    const PLBytes r = source->ReadChecked(8);
    return Rect{static_cast<std::int16_t>(r.BE16(0)), static_cast<std::int16_t>(r.BE16(2)),
                static_cast<std::int16_t>(r.BE16(4)), static_cast<std::int16_t>(r.BE16(6))};
}

PLPictDecoder::PixMap PLPictDecoder::ReadPixMap() {
    PixMap pm;
    pm.bounds = ReadRect();
    const PLBytes r = source->ReadChecked(36);
    pm.version = r.BE16(0);
    pm.packType = r.BE16(2);
    pm.packSize = r.BE32(4);
    pm.hRes = r.BE32(8);
    pm.vRes = r.BE32(12);
    pm.pixelType = r.BE16(16);
    pm.pixelSize = r.BE16(18);
    pm.cmpCount = r.BE16(20);
    pm.cmpSize = r.BE16(22);
    pm.planeBytes = r.BE32(24);
    pm.pmTable = r.BE32(28);
    pm.pmReserved = r.BE32(32);
    return pm;
}

void PLPictDecoder::ReadColourTable(Palette& table) {
    table.fill(RGBQuad{0, 0, 0, 255});
    source->Skip(4);  // seed
    const std::uint16_t flags = source->ReadBE16();
    const std::size_t count = std::size_t{source->ReadBE16()} + 1;
    if (count > table.size())
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "pixel value greater than colour table size.");
    const PLBytes entries = source->ReadChecked(count * 8);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t index = (flags & 0x8000) ? i : entries.BE16(i * 8);
        if (index >= count)
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "pixel value greater than colour table size.");
        table[index] = RGBQuad{entries[i * 8 + 6], entries[i * 8 + 4], entries[i * 8 + 2], 255};
    }
}

void PLPictDecoder::SkipPixPat() {
    const std::uint16_t type = source->ReadBE16();
    if (type == 2) {
        source->Skip(14);  // pattern and colour of a dither pattern
        return;
    }
    if (type != 1)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unknown pattern type in pixPat.");
    source->Skip(8);
    std::size_t r = source->ReadBE16() & kRowBytesMask;
    const PixMap pm = ReadPixMap();
    Palette unused;
    ReadColourTable(unused);
    const std::int32_t w = std::max(pm.bounds.Width(), 0);
    const std::int32_t h = std::max(pm.bounds.Height(), 0);
    if (r == 0)
        r = static_cast<std::size_t>(pm.pixelSize == 16 ? 2 * w : w);
    if (r < 8) {
        source->Skip(r * static_cast<std::size_t>(h));
        return;
    }
    for (std::int32_t y = 0; y < h; ++y)
        source->Skip(r > 250 ? source->ReadBE16() : source->ReadByte());
}

void PLPictDecoder::RequireRows(std::int32_t rows) const {
    // Every row takes at least one byte: a file too short for that fails before a bitmap is
    // made for it.
    if (source->GetRemaining() < static_cast<std::size_t>(rows))
        throw PLTextException(PL_ERREND_OF_FILE, "End of file reached while decoding.\n");
}

void PLPictDecoder::SetPixMapDescription() {
    const int size = pixMap.pixelSize;
    if (size != 1 && size != 2 && size != 4 && size != 8 && size != 16 && size != 32)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Illegal bpp value in unpackbits: %d\n", size);
    // Direct 32-bit rows are component planes: red, green, blue and perhaps alpha in front.
    if (size == 32 && pixMap.cmpCount != 3 && pixMap.cmpCount != 4)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unsupported component count in PICT.");
    const std::int32_t depth = size <= 8 ? 8 : 32;
    CheckPictureSize(pixMap.bounds.Width(), pixMap.bounds.Height(), depth);
    RequireRows(pixMap.bounds.Height());
    SetBmpInfo(pixMap.bounds.Width(), pixMap.bounds.Height(), depth,
               PLPoint{static_cast<std::int32_t>(pixMap.hRes >> 16),
                       static_cast<std::int32_t>(pixMap.vRes >> 16)},
               size > 8 && pixMap.cmpCount == 4, false);
}

void PLPictDecoder::ReadBitmapOperation(std::uint16_t op) {
    isRegion = op == 0x91 || op == 0x99;
    unpackedRows = op == 0x90 || op == 0x91;
    rowBytes = source->ReadBE16();
    if (rowBytes & kPixMapFlag) {
        pixMap = ReadPixMap();
        SetPixMapDescription();
        imageKind = kPixMap;
        return;
    }
    bitmapBounds = ReadRect();
    source->Skip(16);  // source and destination rectangles
    CheckPictureSize(bitmapBounds.Width(), bitmapBounds.Height(), 8);
    RequireRows(bitmapBounds.Height());
    SetBmpInfo(bitmapBounds.Width(), bitmapBounds.Height(), 8, PLPoint{}, false, false);
    imageKind = kBitmap;
}

void PLPictDecoder::ReadDirectOperation(bool region) {
    isRegion = region;
    unpackedRows = false;
    source->Skip(4);  // base address
    rowBytes = source->ReadBE16();
    pixMap = ReadPixMap();
    source->Skip(16 + 2);  // source and destination rectangles, transfer mode
    if (region)
        SkipSizeWord();
    SetPixMapDescription();
    imageKind = kDirect;
}

void PLPictDecoder::SearchJpeg() {
    const std::uint32_t length = source->ReadBE32();
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::span<const std::uint8_t> next = source->PeekBytes(3);
        if (next.size() == 3 && next[0] == 0xFF && next[1] == 0xD8 && next[2] == 0xFF) {
            if (!jpeg) {
                RaiseDecoderError(PL_ERRFORMAT_NOT_COMPILED,
                                  "Library not compiled for this file type.");
            }
            jpegOpen = true;
            jpeg->Open(source);
            SetBmpInfo(*jpeg);
            imageKind = kJpeg;
            return;
        }
        source->Skip(1);
    }
    RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED,
                      "PICT file contains unrecognized quicktime data.\n");
}

void PLPictDecoder::DecodePixels(PLBmp& bmp) {
    const std::int32_t kind = imageKind;
    imageKind = kNone;
    switch (kind) {
        case kDirect: {
            PLBmpLock lock(bmp, false, true);
            DecodeRows(bmp, rowBytes & kRowBytesMask, pixMap.pixelSize);
            return;
        }
        case kJpeg:
            jpeg->DecodePixels(bmp);
            return;
        case kPixMap: {
            Palette table;
            ReadColourTable(table);
            if (bmp.GetBitsPerPixel() == 8)
                bmp.SetPaletteEntries(table.data());
            source->Skip(16 + 2);  // source and destination rectangles, transfer mode
            if (isRegion)
                SkipSizeWord();
            PLBmpLock lock(bmp, false, true);
            DecodeRows(bmp, rowBytes & kRowBytesMask, pixMap.pixelSize);
            return;
        }
        case kBitmap: {
            source->Skip(2);  // transfer mode
            if (isRegion)
                SkipSizeWord();
            PLBmpLock lock(bmp, false, true);
            // QuickDraw paints set bits black.
            const RGBQuad bw[2] = {RGBQuad{255, 255, 255, 255}, RGBQuad{0, 0, 0, 255}};
            bmp.SetPaletteEntries(std::span<const RGBQuad>(bw, 2));
            DecodeRows(bmp, rowBytes & kRowBytesMask, 1);
            return;
        }
        default:
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "PICT decoder: No picture opened.");
    }
}

void PLPictDecoder::DecodeRows(PLBmp& bmp, std::size_t r, int pixelSize) {
    const std::int32_t w = GetWidth();
    const std::int32_t h = GetHeight();
    const auto uw = static_cast<std::size_t>(w);
    if (r == 0)
        r = pixelSize <= 8 ? uw : (pixelSize == 16 ? 2 * uw : 4 * uw);

    // The unpacked row as the pixels need it; PackBits runs that would go past it are dropped.
    std::size_t needed = 0;
    if (pixelSize <= 8)
        needed = pixelSize == 8 ? uw : (uw * static_cast<std::size_t>(pixelSize) + 7) / 8;
    else if (pixelSize == 16)
        needed = 2 * uw;
    else
        needed = std::size_t{pixMap.cmpCount} * uw;
    // 32-bit rows are packed component planes, unless the pixel map says they are stored
    // unpacked (pack type 1, and rows under 8 bytes: four bytes a pixel) or with the pad
    // byte removed (pack type 2: red, green, blue).
    const bool raw = unpackedRows || r < 8 || (pixelSize == 32 && pixMap.packType == 1);
    const bool chunky3 = pixelSize == 32 && pixMap.packType == 2 && !raw;
    const bool chunky4 = pixelSize == 32 && raw;
    if (chunky3)
        needed = 3 * uw;
    if (chunky4)
        needed = 4 * uw;
    std::vector<std::uint8_t> row(needed);

    std::uint8_t* const* lines = bmp.GetLineArray();
    for (std::int32_t y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), 0);
        if (chunky3) {
            std::memcpy(row.data(), source->ReadBytes(needed), needed);
        } else if (raw) {
            const std::uint8_t* data = source->ReadBytes(r);
            std::memcpy(row.data(), data, std::min(r, needed));
        } else {
            const std::size_t length = r > 250 ? source->ReadBE16() : source->ReadByte();
            const std::uint8_t* data = source->ReadBytes(length);
            PLExpandPackBits({data, length}, row, pixelSize == 16 ? 2 : 1);
        }

        std::uint8_t* out = lines[y];
        switch (pixelSize) {
            case 8:
                std::memcpy(out, row.data(), uw);
                break;
            case 1:
            case 2:
            case 4: {
                const int perByte = 8 / pixelSize;
                const int mask = (1 << pixelSize) - 1;
                for (std::size_t x = 0; x < uw; ++x) {
                    const int shift = 8 - pixelSize * (static_cast<int>(x % perByte) + 1);
                    out[x] = static_cast<std::uint8_t>((row[x / perByte] >> shift) & mask);
                }
                break;
            }
            case 16:
                for (std::size_t x = 0; x < uw; ++x) {
                    const unsigned v = unsigned{row[2 * x]} << 8 | row[2 * x + 1];
                    const Pixel32 p =
                        Pixel32::FromRGBA(static_cast<std::uint8_t>(((v >> 10) & 0x1F) << 3),
                                          static_cast<std::uint8_t>(((v >> 5) & 0x1F) << 3),
                                          static_cast<std::uint8_t>((v & 0x1F) << 3));
                    std::memcpy(out + 4 * x, &p, 4);
                }
                break;
            case 32: {
                const bool alpha = pixMap.cmpCount == 4;
                if (chunky3 || chunky4) {
                    const std::size_t step = chunky3 ? 3 : 4;
                    const std::size_t colour = chunky3 ? 0 : 1;
                    for (std::size_t x = 0; x < uw; ++x) {
                        const std::uint8_t* px = row.data() + step * x;
                        const Pixel32 p{px[colour + 2], px[colour + 1], px[colour],
                                        chunky4 && alpha ? px[0] : static_cast<std::uint8_t>(255)};
                        std::memcpy(out + 4 * x, &p, 4);
                    }
                    break;
                }
                const std::uint8_t* planes = row.data();
                const std::size_t first = alpha ? uw : 0;
                for (std::size_t x = 0; x < uw; ++x) {
                    const Pixel32 p{planes[first + 2 * uw + x], planes[first + uw + x],
                                    planes[first + x],
                                    alpha ? planes[x] : static_cast<std::uint8_t>(255)};
                    std::memcpy(out + 4 * x, &p, 4);
                }
                break;
            }
            default:
                RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Illegal bpp value in unpackbits: %d\n",
                                  pixelSize);
        }
    }
}
