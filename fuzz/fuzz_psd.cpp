#include "fuzz/fuzz_decoder.h"
#include "imaging/psd_decoder.h"

FOLV_DECODER_FUZZER(PLPSDDecoder)
