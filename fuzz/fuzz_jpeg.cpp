#include "fuzz/fuzz_decoder.h"
#include "imaging/jpeg_decoder.h"

FOLV_DECODER_FUZZER(PLJPEGDecoder)
