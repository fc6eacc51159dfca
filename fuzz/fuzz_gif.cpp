#include "fuzz/fuzz_decoder.h"
#include "imaging/gif_decoder.h"

FOLV_DECODER_FUZZER(PLGIFDecoder)
