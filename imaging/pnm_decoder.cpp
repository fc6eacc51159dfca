#include "imaging/pnm_decoder.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Larger numbers only arise in damaged headers; they are refused by the size check.
constexpr std::uint32_t kNumberCap = 100000000;

std::uint8_t Scale(std::uint32_t value, std::uint32_t maxval) {
    value = std::min(value, maxval);
    return static_cast<std::uint8_t>(value * 255 / maxval);
}

}  // namespace

PLPnmDecoder::PLPnmDecoder(int samplesPerPixel, char text, char binary, const char* decoderName)
    : samples(samplesPerPixel), textDigit(text), binaryDigit(binary), name(decoderName) {}

PLPnmDecoder::~PLPnmDecoder() = default;

void PLPnmDecoder::Fail(const char* what) const {
    RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "%s decoder: %s", name, what);
}

void PLPnmDecoder::NextChar(bool endAllowed) {
    if (endAllowed && source->GetRemaining() == 0) {
        current = kEnd;
        return;
    }
    current = source->ReadByte();
}

bool PLPnmDecoder::IsSeparator() const {
    return current == ' ' || current == '\r' || current == '\n' || current == '\t' ||
           current == '\v' || current == '\f';
}

void PLPnmDecoder::SkipSeparators(bool endAllowed) {
    for (;;) {
        if (IsSeparator()) {
            NextChar(endAllowed);
        } else if (current == '#') {
            // A comment runs to the end of its line.
            do {
                NextChar(endAllowed);
            } while (current != '\n' && current != '\r' && current != kEnd);
        } else {
            return;
        }
    }
}

std::uint32_t PLPnmDecoder::ReadNumber(bool endAllowed) {
    std::uint32_t value = 0;
    while (current >= '0' && current <= '9') {
        if (value < kNumberCap)
            value = value * 10 + static_cast<std::uint32_t>(current - '0');
        NextChar(endAllowed);
    }
    return value;
}

void PLPnmDecoder::Open(PLDataSource* dataSourceToRead) {
    source = dataSourceToRead;
    // The graymap names its binary form first, the pixmap its text form.
    const char first = samples == 1 ? binaryDigit : textDigit;
    const char second = samples == 1 ? textDigit : binaryDigit;
    const std::string wrongId =
        std::string("Is not the correct identifier P") + first + " or P" + second + ".";
    if (source->ReadByte() != 'P')
        Fail(wrongId.c_str());
    const int digit = source->ReadByte();
    if (digit == textDigit) {
        kind = 0;
    } else if (digit == binaryDigit) {
        kind = 1;
    } else {
        Fail(wrongId.c_str());
    }

    std::uint32_t fields[3] = {};
    NextChar(false);
    for (std::uint32_t& field : fields) {
        SkipSeparators(false);
        if (current < '0' || current > '9')
            Fail("Unexpected character in header.");
        field = ReadNumber(false);
    }
    // Sixteen-bit samples (maxval up to 65535) are read as such; anything else out of range
    // counts as 255.
    maxval = (fields[2] < 1 || fields[2] > 65535) ? 255 : static_cast<std::int32_t>(fields[2]);

    const std::int32_t depth = samples == 1 ? 8 : 32;
    const auto w = static_cast<std::int32_t>(fields[0]);
    const auto h = static_cast<std::int32_t>(fields[1]);
    CheckPictureSize(w, h, depth);
    // Every sample takes at least one byte, as a digit or as binary data.
    const std::uint64_t sampleCount = std::uint64_t{fields[0]} * fields[1] * samples;
    if (source->GetRemaining() < sampleCount * (kind == 1 && maxval > 255 ? 2 : 1) - (kind == 0))
        throw PLTextException(PL_ERREND_OF_FILE, "End of file reached while decoding.\n");
    SetBmpInfo(w, h, depth, PLPoint{}, false, samples == 1);
}

std::uint32_t PLPnmDecoder::ReadTextSample() {
    SkipSeparators(true);
    if (current == kEnd)
        throw PLTextException(PL_ERREND_OF_FILE, "End of file reached while decoding.\n");
    if (current < '0' || current > '9')
        Fail("Unexpected character in pixel data.");
    return ReadNumber(true);
}

void PLPnmDecoder::DecodePixels(PLBmp& bmp) {
    if (kind != 0 && kind != 1)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unknown %s image type.", name);
    PLBmpLock lock(bmp, false, true);
    const std::int32_t w = GetWidth();
    const std::int32_t h = GetHeight();
    const auto max = static_cast<std::uint32_t>(maxval);
    const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
    std::uint8_t* const* lines = bmp.GetLineArray();
    std::uint32_t value[3] = {};

    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* row = lines[y];
        const std::uint8_t* data = nullptr;
        if (kind == 1) {
            data = source->ReadBytes(static_cast<std::size_t>(w) * samples * sampleBytes);
        }
        for (std::int32_t x = 0; x < w; ++x) {
            for (int s = 0; s < samples; ++s) {
                if (kind == 0) {
                    value[s] = ReadTextSample();
                } else if (sampleBytes == 2) {
                    value[s] = std::uint32_t{data[0]} << 8 | data[1];
                    data += 2;
                } else {
                    value[s] = *data++;
                }
            }
            if (samples == 1) {
                row[x] = Scale(value[0], max);
                continue;
            }
            Pixel32 p;
            if (max == 255) {
                p = Pixel32{Scale(value[2], max), Scale(value[1], max), Scale(value[0], max), 0};
            } else {
                p = Pixel32{Scale(value[2], max), Scale(value[1], max), Scale(value[0], max),
                            static_cast<std::uint8_t>(kind == 1 ? 255 : 0)};
            }
            std::memcpy(row + 4 * static_cast<std::size_t>(x), &p, 4);
        }
    }
}
