#include "fuzz/fuzz_decoder.h"
#include "imaging/ppm_decoder.h"

FOLV_DECODER_FUZZER(PLPPMDecoder)
