#include "imaging/pcx_decoder.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

PLPCXDecoder::PLPCXDecoder() = default;
PLPCXDecoder::~PLPCXDecoder() = default;

void PLPCXDecoder::Open(PLDataSource* dataSourceToRead) {
    source = dataSourceToRead;
    const PLBytes h = source->ReadChecked(128);
    header.manufacturer = h[0];
    header.encoding = h[2];
    header.bitsPerPixel = h[3];
    header.xMin = h.LE16(4);
    header.yMin = h.LE16(6);
    header.xMax = h.LE16(8);
    header.yMax = h.LE16(10);
    header.hRes = h.LE16(12);
    header.vRes = h.LE16(14);
    std::memcpy(header.palette.data(), h.Sub(16, 48).data(), 48);
    header.planes = h[65];
    header.bytesPerLine = h.LE16(66);

    if (header.manufacturer != 0x0A)
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "Error decoding pcx: Not a PCX file.");
    if (header.encoding != 1)
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "File has unknown encoding scheme.");
    const int bits = header.bitsPerPixel;
    const int planes = header.planes;
    if (bits == 1) {
        if (planes > 4)
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Can't handle image with more than 4 planes.");
    } else if (!((bits == 2 || bits == 4 || bits == 8) && (planes == 1 || planes == 3))) {
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Can't handle bits per pixel image with planes.");
    }
    if (planes == 0)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Can't handle bits per pixel image with planes.");

    const std::int32_t w = std::int32_t{header.xMax} - header.xMin + 1;
    const std::int32_t ht = std::int32_t{header.yMax} - header.yMin + 1;
    CheckPictureSize(w, ht, 32);
    // Each plane's line must hold the picture's width, or the conversion would read past it.
    const std::int64_t pixelsPerLine = std::int64_t{header.bytesPerLine} * 8 / bits;
    if (pixelsPerLine < w)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Bytes per line too small for the width.");
    const std::uint64_t bufferBytes =
        std::uint64_t{header.planes} * header.bytesPerLine * static_cast<std::uint64_t>(ht);
    if (bufferBytes > kPLMaxPixelStoreBytes)
        RaiseDecoderError(PL_ERRNO_MEMORY, "Picture too large.");
    SetBmpInfo(w, ht, 32, PLPoint{header.hRes, header.vRes}, false, false);
}

void PLPCXDecoder::DecodePixels(PLBmp& bmp) {
    const int bits = header.bitsPerPixel;
    const int planes = header.planes;
    const std::size_t lineBytes = header.bytesPerLine;
    const std::size_t rowBytes = lineBytes * planes;
    const std::int32_t w = GetWidth();
    const std::int32_t h = GetHeight();

    // What a file cut short no longer covers stays black.
    std::vector<std::uint8_t> buffer(rowBytes * static_cast<std::size_t>(h), 0);
    std::size_t filled = 0;
    try {
        while (filled < buffer.size()) {
            const std::uint8_t b = source->ReadByte();
            if ((b & 0xC0) == 0xC0) {
                const std::size_t count = b & 0x3F;
                const std::uint8_t value = source->ReadByte();
                if (count > buffer.size() - filled)
                    RaiseDecoderError(PL_ERRINTERNAL, "repeat count spans end of image.");
                std::memset(buffer.data() + filled, value, count);
                filled += count;
            } else {
                buffer[filled++] = b;
            }
        }
    } catch (const PLTextException& e) {
        if (e.GetCode() != PL_ERREND_OF_FILE)
            throw;
    }

    std::array<RGBQuad, 256> table{};
    for (std::size_t i = 0; i < 16; ++i) {
        table[i] = RGBQuad{header.palette[3 * i + 2], header.palette[3 * i + 1],
                           header.palette[3 * i], 255};
    }
    if (bits == 8 && planes == 1) {
        // The table is the file's last 769 bytes, its marker 0x0C first; some writers leave
        // bytes between the pixel data and the marker.
        const std::span<const std::uint8_t> rest = source->PeekBytes(source->GetRemaining());
        if (rest.size() > 769 && rest[rest.size() - 769] == 0x0C)
            source->Skip(rest.size() - 769);
        source->Skip(1);
        const PLBytes colours = source->ReadChecked(768);
        for (std::size_t i = 0; i < 256; ++i)
            table[i] = RGBQuad{colours[3 * i + 2], colours[3 * i + 1], colours[3 * i], 255};
    }
    if (bits == 1 && planes == 1) {
        table[0] = RGBQuad{0, 0, 0, 255};
        table[1] = RGBQuad{255, 255, 255, 255};
    }

    PLBmpLock lock(bmp, false, true);
    std::uint8_t* const* lines = bmp.GetLineArray();
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(w), 0);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* src = buffer.data() + static_cast<std::size_t>(y) * rowBytes;
        auto* out = lines[y];
        if (bits == 8 && planes == 3) {
            for (std::int32_t x = 0; x < w; ++x) {
                const Pixel32 p =
                    Pixel32::FromRGBA(src[x], src[lineBytes + x], src[2 * lineBytes + x]);
                std::memcpy(out + 4 * static_cast<std::size_t>(x), &p, 4);
            }
            continue;
        }
        // Only the picture's own pixels are converted; lines may be longer.
        if (planes == 1) {
            const int perByte = 8 / bits;
            const int mask = (1 << bits) - 1;
            for (std::int32_t x = 0; x < w; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                indices[x] = static_cast<std::uint8_t>((src[x / perByte] >> shift) & mask);
            }
        } else if (bits == 1) {
            for (std::int32_t x = 0; x < w; ++x) {
                std::uint8_t index = 0;
                for (int plane = 0; plane < planes; ++plane) {
                    if (src[plane * lineBytes + x / 8] & (0x80 >> (x % 8)))
                        index |= static_cast<std::uint8_t>(1 << plane);
                }
                indices[x] = index;
            }
        } else {
            RaiseDecoderError(PL_ERRINTERNAL, "Can't handle more than 1 bit per pixel.");
        }
        for (std::int32_t x = 0; x < w; ++x) {
            const RGBQuad& c = table[indices[x]];
            const Pixel32 p{c.blue, c.green, c.red, 255};
            std::memcpy(out + 4 * static_cast<std::size_t>(x), &p, 4);
        }
    }
}
