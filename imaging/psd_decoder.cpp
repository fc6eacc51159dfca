#include "imaging/psd_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/packbits.h"

namespace {

constexpr std::uint16_t kGreyscale = 1;
constexpr std::uint16_t kIndexed = 2;
constexpr std::uint16_t kRgb = 3;

// Where channels 0 to 3 (red, green, blue, alpha) go in a 32-bit pixel.
constexpr std::size_t kChannelByte[4] = {2, 1, 0, 3};

}  // namespace

PLPSDDecoder::PLPSDDecoder() = default;
PLPSDDecoder::~PLPSDDecoder() = default;

void PLPSDDecoder::Open(PLDataSource* dataSourceToRead) {
    source = dataSourceToRead;
    const PLBytes h = source->ReadChecked(26);
    if (std::memcmp(h.data(), "8BPS", 4) != 0)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "PSD decoder: This isn't a photoshop file.");
    header.version = h.BE16(4);
    header.channels = h.BE16(12);
    header.rows = h.BE32(14);
    header.columns = h.BE32(18);
    header.bitsPerChannel = h.BE16(22);
    header.mode = h.BE16(24);
    // The large-document variant has wider lengths, and deeper channels do not fit our rows.
    if (header.version != 1)
        RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "PSD decoder: Version not supported.");

    const std::uint32_t colourDataLength = source->ReadBE32();
    if (colourDataLength >= 768) {
        const PLBytes colours = source->ReadChecked(768);
        for (std::size_t i = 0; i < 256; ++i)
            palette[i] = RGBQuad{colours[512 + i], colours[256 + i], colours[i], 255};
        source->Skip(colourDataLength - 768);
    } else {
        source->Skip(colourDataLength);
    }

    ReadResources();

    std::int32_t depth = 8;
    bool alpha = false;
    bool grey = false;
    switch (header.mode) {
        case kGreyscale:
            grey = true;
            for (std::size_t i = 0; i < 256; ++i) {
                const auto v = static_cast<std::uint8_t>(i);
                palette[i] = RGBQuad{v, v, v, 255};
            }
            break;
        case kIndexed:
            break;
        case kRgb:
            depth = 32;
            alpha = header.channels > 3;
            break;
        default:
            RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "This PSD color mode is not supported.");
    }
    if (header.bitsPerChannel != 8) {
        RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED,
                          "PSD decoder: Only 8 bits per channel are supported.");
    }
    if (header.channels < (header.mode == kRgb ? 3 : 1))
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "PSD decoder: Too few channels.");
    if (header.columns > static_cast<std::uint32_t>(kPLMaxSide) ||
        header.rows > static_cast<std::uint32_t>(kPLMaxSide)) {
        RaiseDecoderError(PL_ERRNO_MEMORY, "Picture too large.");
    }
    const auto w = static_cast<std::int32_t>(header.columns);
    const auto ht = static_cast<std::int32_t>(header.rows);
    CheckPictureSize(w, ht, depth);
    const PLPoint res = resolution;
    SetBmpInfo(w, ht, depth, res, alpha, grey);

    layerSectionLength = source->ReadBE32();
    layerSectionStart = source->GetBytesRead();

    // A file too short for its pixels fails before a bitmap is made for them: raw rows take
    // their width, packed ones their length and at least two bytes for every 128 pixels.
    const std::uint64_t used = depth == 8 ? 1 : std::min<std::uint64_t>(header.channels, 4);
    const std::uint64_t rowLeast = header.columns;
    const std::uint64_t packedLeast = std::uint64_t{header.channels} * header.rows * 2 +
                                      used * header.rows * ((header.columns + 127) / 128 * 2);
    const std::uint64_t least = std::uint64_t{layerSectionLength} + 2 +
                                std::min(used * header.rows * rowLeast, packedLeast);
    if (source->GetRemaining() < least)
        throw PLTextException(PL_ERREND_OF_FILE, "End of file reached while decoding.\n");
}

void PLPSDDecoder::ReadResources() {
    resolution = PLPoint{};
    const std::uint32_t length = source->ReadBE32();
    // Every block must lie inside the section: reading past it fails like reading past the end.
    const PLBytes section = source->ReadChecked(length);
    std::size_t at = 0;
    // A last block with an odd size may lack its padding byte: `at` can pass `length` by one.
    while (at < length && length - at >= 12) {
        if (std::memcmp(section.Sub(at, 4).data(), "8BIM", 4) != 0) {
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN,
                              "PSD decoder: Wrong signature in resource data block.");
        }
        const std::uint16_t id = section.BE16(at + 4);
        const std::size_t nameLength = section[at + 6];
        // Length byte and name take an even number of bytes.
        at += 7 + nameLength + (nameLength % 2 == 0 ? 1 : 0);
        const std::uint32_t size = section.BE32(at);
        at += 4;
        const PLBytes data = section.Sub(at, size);
        if (id == 1005 && size >= 16) {
            resolution = PLPoint{static_cast<std::int32_t>(data.BE16(0)),
                                 static_cast<std::int32_t>(data.BE16(8))};
        }
        at += size + (size % 2);
    }
}

void PLPSDDecoder::StoreRow(PLBmp& bmp, std::size_t channel, std::int32_t row,
                            const std::uint8_t* data) {
    std::uint8_t* out = bmp.GetLineArray()[row];
    const std::int32_t w = GetWidth();
    if (bitsPerPixel == 8) {
        if (channel == 0)
            std::memcpy(out, data, static_cast<std::size_t>(w));
        return;
    }
    if (channel > 3)
        return;
    const std::size_t at = kChannelByte[channel];
    for (std::int32_t x = 0; x < w; ++x)
        out[4 * static_cast<std::size_t>(x) + at] = data[x];
}

void PLPSDDecoder::DecodePixels(PLBmp& bmp) {
    const std::size_t passed = source->GetBytesRead() - layerSectionStart;
    if (layerSectionLength > passed)
        source->Skip(layerSectionLength - passed);

    const std::uint16_t compression = source->ReadBE16();
    if (compression > 3)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "PSD decoder: Compression unknown.");
    if (compression >= 2)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "PSD decoder: Compression type not supported.");
    if (bitsPerPixel == 8)
        bmp.SetPaletteEntries(palette.data());

    PLBmpLock lock(bmp, false, true);
    const std::int32_t w = GetWidth();
    const std::int32_t h = GetHeight();
    const std::size_t channels = header.channels;
    // Only these channels reach the bitmap; the rest of the data is not read.
    const std::size_t used = bitsPerPixel == 8 ? 1 : (channels < 4 ? channels : 4);
    if (bitsPerPixel == 32 && channels == 3) {
        // Three channels leave alpha alone: make it opaque rather than whatever was there.
        for (std::int32_t y = 0; y < h; ++y) {
            std::uint8_t* out = bmp.GetLineArray()[y];
            for (std::int32_t x = 0; x < w; ++x)
                out[4 * static_cast<std::size_t>(x) + 3] = 255;
        }
    }

    if (compression == 0) {
        for (std::size_t c = 0; c < used; ++c) {
            for (std::int32_t y = 0; y < h; ++y)
                StoreRow(bmp, c, y, source->ReadBytes(static_cast<std::size_t>(w)));
        }
    } else {
        ReadPackedChannels(bmp, used);
    }
}

void PLPSDDecoder::ReadPackedChannels(PLBmp& bmp, std::size_t used) {
    const std::int32_t w = GetWidth();
    const std::int32_t h = GetHeight();
    const std::size_t channels = header.channels;

    const PLBytes lengths = source->ReadChecked(channels * static_cast<std::size_t>(h) * 2);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w));
    for (std::size_t c = 0; c < used; ++c) {
        for (std::int32_t y = 0; y < h; ++y) {
            const std::size_t packedLength =
                lengths.BE16((c * static_cast<std::size_t>(h) + static_cast<std::size_t>(y)) * 2);
            const std::uint8_t* packed = source->ReadBytes(packedLength);
            std::memset(row.data(), 0, row.size());
            PLExpandPackBits({packed, packedLength}, row);
            StoreRow(bmp, c, y, row.data());
        }
    }
}
