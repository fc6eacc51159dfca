#include "fuzz/fuzz_decoder.h"
#include "imaging/bmp_decoder.h"

FOLV_DECODER_FUZZER(PLBmpDecoder)
