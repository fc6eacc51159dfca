#include "fuzz/fuzz_decoder.h"
#include "imaging/tga_decoder.h"

FOLV_DECODER_FUZZER(PLTGADecoder)
