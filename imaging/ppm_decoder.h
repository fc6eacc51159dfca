#pragma once

#include "imaging/pnm_decoder.h"

// Portable pixmaps ("P3" text, "P6" binary) as 32-bit bitmaps.
class PLPPMDecoder : public PLPnmDecoder {
  public:
    PLPPMDecoder();
    ~PLPPMDecoder() override;
};
