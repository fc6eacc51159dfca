#include "imaging/ppm_decoder.h"

PLPPMDecoder::PLPPMDecoder() : PLPnmDecoder(3, '3', '6', "PPM") {}
PLPPMDecoder::~PLPPMDecoder() = default;
