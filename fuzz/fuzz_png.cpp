#include "fuzz/fuzz_decoder.h"
#include "imaging/png_decoder.h"

FOLV_DECODER_FUZZER(PLPNGDecoder)
