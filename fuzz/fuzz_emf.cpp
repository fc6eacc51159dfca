// Enhanced metafiles through the metafile decoder and libemf2svg. The decoder takes a source
// for an enhanced metafile by its name; no rasterizer is linked, so the SVG is made but not
// drawn.

#include <string>

#include "fuzz/fuzz_decoder.h"
#include "imaging/wemf_decoder.h"

namespace {

class NamedSource : public PLDataSource {
  public:
    void OpenAs(const std::string& name, const std::uint8_t* bytes, std::size_t size) {
        Open(name, bytes, size);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PLWEMFDecoder decoder;
    CWinBmpEx bmp;
    NamedSource source;
    source.OpenAs("fuzz.emf", data, size);
    try {
        decoder.Open(&source);
        decoder.DecodeInto(bmp, 0);
    } catch (const PLTextException&) {
    }
    decoder.Close();
    return 0;
}
