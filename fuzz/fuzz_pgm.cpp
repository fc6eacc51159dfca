#include "fuzz/fuzz_decoder.h"
#include "imaging/pgm_decoder.h"

FOLV_DECODER_FUZZER(PLPGMDecoder)
