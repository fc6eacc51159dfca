#pragma once

#include "imaging/pnm_decoder.h"

// Portable graymaps ("P2" text, "P5" binary) as 8-bit grey bitmaps.
class PLPGMDecoder : public PLPnmDecoder {
  public:
    PLPGMDecoder();
    ~PLPGMDecoder() override;
};
