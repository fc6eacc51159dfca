#pragma once

// The body of a one-decoder fuzzer: the bytes through PLMemSource into that decoder. Only
// PLTextException is an expected way to fail; anything else reaches libFuzzer.

#include <cstddef>
#include <cstdint>

#include "imaging/bitmap.h"
#include "imaging/pic_decoder.h"
#include "imaging/text_exception.h"

template <class Decoder>
int FuzzDecoder(const std::uint8_t* data, std::size_t size) {
    // One decoder for the whole run, as the explorer keeps one: state must not leak between
    // pictures.
    static Decoder decoder;
    CWinBmpEx bmp;
    try {
        decoder.DecodeMemory(data, size, bmp, 0);
    } catch (const PLTextException&) {
    }
    return 0;
}

#define FOLV_DECODER_FUZZER(Decoder)                                                    \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        return FuzzDecoder<Decoder>(data, size);                                        \
    }
