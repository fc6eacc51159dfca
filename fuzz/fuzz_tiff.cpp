#include "fuzz/fuzz_decoder.h"
#include "imaging/tiff_decoder.h"

FOLV_DECODER_FUZZER(PLTIFFDecoder)
