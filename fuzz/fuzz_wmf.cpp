// Windows metafiles through the metafile decoder and libwmf.

#include "fuzz/fuzz_decoder.h"
#include "imaging/wemf_decoder.h"

FOLV_DECODER_FUZZER(PLWEMFDecoder)
