#include "imaging/pgm_decoder.h"

PLPGMDecoder::PLPGMDecoder() : PLPnmDecoder(1, '2', '5', "PGM") {}
PLPGMDecoder::~PLPGMDecoder() = default;
