// The PICT decoder with the JPEG decoder it hands QuickTime blocks to, as the front end
// builds it.

#include "fuzz/fuzz_decoder.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/pict_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PLJPEGDecoder jpeg;
    static PLPictDecoder decoder(&jpeg);
    CWinBmpEx bmp;
    try {
        decoder.DecodeMemory(data, size, bmp, 0);
    } catch (const PLTextException&) {
    }
    return 0;
}
