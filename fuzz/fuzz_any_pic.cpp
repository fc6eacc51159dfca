// Any bytes through the decoder front end and on to the fitted cell picture: nothing may
// crash, hang or read outside what it was given, whatever the format.
#include <cstddef>
#include <cstdint>

#include "imaging/any_pic_decoder.h"
#include "imaging/filter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PLAnyPicDecoder decoder;
    CWinBmpEx bmp;
    try {
        decoder.DecodeMemory(data, size, bmp);
        CWinBmpEx wide;
        wide.CreateCopy(bmp, 32);
        bmp.CreateFilteredCopy(wide, PLFilterResizeSharp(87, 65));
    } catch (const PLTextException&) {
    }
    return 0;
}
