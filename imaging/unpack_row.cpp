#include <algorithm>
#include <cstring>

#include "imaging/packbits.h"
#include "imaging/pic_decoder.h"

std::size_t PLExpandPackBits(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out,
                             std::size_t unitSize) {
    std::size_t in = 0;
    std::size_t written = 0;
    while (in < packed.size() && written < out.size()) {
        const std::uint8_t n = packed[in++];
        if (n < 128) {
            const std::size_t bytes = (std::size_t{n} + 1) * unitSize;
            const std::size_t available = std::min(bytes, packed.size() - in);
            const std::size_t copied = std::min(available, out.size() - written);
            std::memcpy(out.data() + written, packed.data() + in, copied);
            written += copied;
            in += available;
            if (available < bytes)
                break;
        } else if (n > 128) {
            if (packed.size() - in < unitSize)
                break;
            const std::uint8_t* unit = packed.data() + in;
            in += unitSize;
            for (int i = 0; i < 257 - n && written < out.size(); ++i) {
                const std::size_t copied = std::min(unitSize, out.size() - written);
                std::memcpy(out.data() + written, unit, copied);
                written += copied;
            }
        }
    }
    return written;
}

const std::uint8_t* PLPicDecoder::UnpackRow(std::uint8_t* buffer, PLDataSource* source,
                                            std::size_t rowBytes, std::size_t packedLength) {
    if (rowBytes < 8)
        return source->ReadBytes(rowBytes);
    const std::uint8_t* packed = source->ReadBytes(packedLength);
    // Damaged rows that unpack short leave zeros, never the previous row.
    std::memset(buffer, 0, rowBytes);
    PLExpandPackBits({packed, packedLength}, {buffer, rowBytes});
    return buffer;
}
