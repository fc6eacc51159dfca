#include "fuzz/fuzz_decoder.h"
#include "imaging/pcx_decoder.h"

FOLV_DECODER_FUZZER(PLPCXDecoder)
