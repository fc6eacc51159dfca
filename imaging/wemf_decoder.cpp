#include "imaging/wemf_decoder.h"

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/svg_rasterizer.h"

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;

PLSvgRasterizer* installedRasterizer = nullptr;

std::uint16_t LE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t LE32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
std::int32_t SLE32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(LE32(p));
}

[[noreturn]] void FailToLoad() {
    RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED,
                      "Windows Metafile functions failed to load this image.");
}

// The records of a Windows metafile (after any placeable header) must chain inside the data;
// the renderer is only handed metafiles whose structure holds. The header's largest record
// size, which libwmf allocates by, is set to the largest record there is.
void CheckWindowsRecords(std::vector<std::uint8_t>& d, std::size_t at) {
    if (d.size() - at < 18)
        FailToLoad();
    const std::uint16_t type = LE16(&d[at]);
    const std::uint16_t headerWords = LE16(&d[at + 2]);
    const std::uint16_t version = LE16(&d[at + 4]);
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x100 && version != 0x300))
        FailToLoad();
    const std::size_t header = at;
    at += 18;
    std::uint32_t largest = 0;
    bool ended = false;
    while (!ended && d.size() - at >= 6) {
        const std::uint32_t words = LE32(&d[at]);
        const std::uint64_t recordBytes = std::uint64_t{words} * 2;
        const std::uint16_t function = LE16(&d[at + 4]);
        if (recordBytes < 6 || recordBytes > d.size() - at)
            FailToLoad();
        largest = std::max(largest, words);
        ended = function == 0;
        at += static_cast<std::size_t>(recordBytes);
    }
    if (!ended && at != d.size())
        FailToLoad();
    for (int i = 0; i < 4; ++i)
        d[header + 12 + i] = static_cast<std::uint8_t>(largest >> (8 * i));
}

void CheckEnhancedRecords(const std::vector<std::uint8_t>& d) {
    std::size_t at = 0;
    while (d.size() - at >= 8) {
        const std::uint32_t type = LE32(&d[at]);
        const std::uint32_t size = LE32(&d[at + 4]);
        if (size < 8 || size % 4 != 0 || size > d.size() - at)
            FailToLoad();
        if (type == kEmrEof)
            return;
        at += size;
    }
    FailToLoad();
}

// libwmf hands the picture it drew to the caller and does not export gd's destroy function;
// this frees what gd allocates for a true-colour picture.
void DestroyGdImage(void* image) {
    auto* im = static_cast<gdImage*>(image);
    if (!im)
        return;
    if (im->pixels) {
        for (int y = 0; y < im->sy; ++y)
            std::free(im->pixels[y]);
        std::free(im->pixels);
    }
    if (im->_tpixels) {
        std::free(im->_tpixels);
    } else if (im->tpixels) {
        for (int y = 0; y < im->sy; ++y)
            std::free(im->tpixels[y]);
    }
    std::free(im->tpixels);
    std::free(im->polyInts);
    std::free(im->style);
    std::free(im);
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

}  // namespace

PLSvgRasterizer::~PLSvgRasterizer() = default;

PLSvgRasterizer* PLGetSvgRasterizer() {
    return installedRasterizer;
}

PLSvgRasterizer* PLSetSvgRasterizer(PLSvgRasterizer* rasterizer) {
    PLSvgRasterizer* previous = installedRasterizer;
    installedRasterizer = rasterizer;
    return previous;
}

PLWEMFDecoder::PLWEMFDecoder() = default;

PLWEMFDecoder::~PLWEMFDecoder() {
    ReleaseLibrary();
}

void PLWEMFDecoder::ReleaseLibrary() {
    if (wmf) {
        wmf_gd_t* device = WMF_GD_GetData(wmf);
        if (device && device->type == wmf_gd_image) {
            DestroyGdImage(device->gd_image);
            device->gd_image = nullptr;
        }
        wmf_mem_close(wmf);
        wmf_api_destroy(wmf);
        wmf = nullptr;
    }
}

void PLWEMFDecoder::Close() {
    ReleaseLibrary();
    bytes.clear();
    bytes.shrink_to_fit();
    PLPicDecoder::Close();
}

void PLWEMFDecoder::SetSize(std::int64_t w, std::int64_t h) {
    if (w <= 0)
        w = 320;
    if (h <= 0)
        h = 200;
    const std::int64_t longer = std::max(w, h);
    if (longer > kMaxSide) {
        w = std::max<std::int64_t>(1, w * kMaxSide / longer);
        h = std::max<std::int64_t>(1, h * kMaxSide / longer);
    }
    // Drawn opaque on white: alpha is 255 everywhere.
    SetBmpInfo(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), 32, PLPoint{}, true,
               false);
}

void PLWEMFDecoder::Open(PLDataSource* source) {
    std::string upper = source->GetName();
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    enhanced = upper.find(".EMF") != std::string::npos;
    const std::span<const std::uint8_t> all = source->RemainingBytes();
    bytes.assign(all.begin(), all.end());
    source->Skip(all.size());
    ReleaseLibrary();
    if (enhanced)
        OpenEnhanced();
    else
        OpenWindows();
}

void PLWEMFDecoder::OpenEnhanced() {
    if (bytes.size() < 88 || LE32(&bytes[0]) != kEmrHeader || LE32(&bytes[40]) != kEmfSignature)
        FailToLoad();
    CheckEnhancedRecords(bytes);
    // Frame in hundredths of a millimetre; the reference device in pixels and millimetres.
    const std::int64_t frameWidth = std::int64_t{SLE32(&bytes[32])} - SLE32(&bytes[24]);
    const std::int64_t frameHeight = std::int64_t{SLE32(&bytes[36])} - SLE32(&bytes[28]);
    const std::int64_t devicePixelsX = SLE32(&bytes[72]);
    const std::int64_t devicePixelsY = SLE32(&bytes[76]);
    const std::int64_t deviceMmX = SLE32(&bytes[80]);
    const std::int64_t deviceMmY = SLE32(&bytes[84]);
    const std::int64_t w = deviceMmX > 0 ? frameWidth * devicePixelsX / (deviceMmX * 100) : 0;
    const std::int64_t h = deviceMmY > 0 ? frameHeight * devicePixelsY / (deviceMmY * 100) : 0;
    SetSize(w, h);
}

void PLWEMFDecoder::OpenWindows() {
    placeable = bytes.size() >= kPlaceableSize && LE32(bytes.data()) == kPlaceableKey;
    CheckWindowsRecords(bytes, placeable ? kPlaceableSize : 0);

    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&wmf, flags, &options) != wmf_E_None) {
        ReleaseLibrary();
        RaiseDecoderError(PL_ERRNO_MEMORY, "Cannot allocate device context.");
    }
    wmfD_Rect box{};
    if (wmf_mem_open(wmf, bytes.data(), static_cast<long>(bytes.size())) != wmf_E_None ||
        wmf_scan(wmf, 0, &box) != wmf_E_None) {
        ReleaseLibrary();
        FailToLoad();
    }

    if (placeable) {
        const auto left = static_cast<std::int16_t>(LE16(&bytes[6]));
        const auto top = static_cast<std::int16_t>(LE16(&bytes[8]));
        const auto right = static_cast<std::int16_t>(LE16(&bytes[10]));
        const auto bottom = static_cast<std::int16_t>(LE16(&bytes[12]));
        const std::uint16_t unitsPerInch = LE16(&bytes[14]);
        const std::int64_t w = std::int64_t{right} - left;
        const std::int64_t h = std::int64_t{bottom} - top;
        if (unitsPerInch == 0) {
            SetSize(0, 0);
        } else {
            SetSize(w * kPixelsPerInch / unitsPerInch, h * kPixelsPerInch / unitsPerInch);
        }
        // libwmf places the window origin, the box's top left, at 0 and counts in points.
        if (unitsPerInch != 0 && w > 0 && h > 0) {
            frame[0] = 0;
            frame[1] = 0;
            frame[2] = static_cast<float>(w) * 72.0f / unitsPerInch;
            frame[3] = static_cast<float>(h) * 72.0f / unitsPerInch;
            return;
        }
    } else {
        // No frame of its own: the drawing's extent, at our resolution.
        unsigned int w = 0;
        unsigned int h = 0;
        wmf_display_size(wmf, &w, &h, kPixelsPerInch, kPixelsPerInch);
        SetSize(w, h);
    }
    frame[0] = box.TL.x;
    frame[1] = box.TL.y;
    frame[2] = box.BR.x;
    frame[3] = box.BR.y;
}

void PLWEMFDecoder::DecodePixels(PLBmp& bmp) {
    PLBmpLock lock(bmp, false, true);
    const std::int32_t w = GetWidth();
    std::uint8_t* const* rows = bmp.GetLineArray();
    for (std::int32_t y = 0; y < GetHeight(); ++y)
        std::memset(rows[y], 0xFF, 4 * static_cast<std::size_t>(w));
    if (enhanced)
        DecodeEnhanced(bmp);
    else
        DecodeWindows(bmp);
}

void PLWEMFDecoder::DecodeWindows(PLBmp& bmp) {
    if (!wmf)
        FailToLoad();
    wmf_gd_t* device = WMF_GD_GetData(wmf);
    device->type = wmf_gd_image;
    device->width = static_cast<unsigned int>(GetWidth());
    device->height = static_cast<unsigned int>(GetHeight());
    wmfD_Rect box{{frame[0], frame[1]}, {frame[2], frame[3]}};
    device->bbox = box;
    if (wmf_play(wmf, 0, &box) != wmf_E_None || !device->gd_image)
        FailToLoad();
    const int* pixels = wmf_gd_image_pixels(device->gd_image);
    if (!pixels)
        FailToLoad();
    const std::int32_t w = GetWidth();
    for (std::int32_t y = 0; y < GetHeight(); ++y) {
        std::uint8_t* out = bmp.GetLineArray()[y];
        const int* in = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (std::int32_t x = 0; x < w; ++x) {
            // gd's true colour: red, green, blue in the low 24 bits, over the white page.
            const auto v = static_cast<std::uint32_t>(in[x]);
            out[4 * x] = static_cast<std::uint8_t>(v);
            out[4 * x + 1] = static_cast<std::uint8_t>(v >> 8);
            out[4 * x + 2] = static_cast<std::uint8_t>(v >> 16);
            out[4 * x + 3] = 255;
        }
    }
}

void PLWEMFDecoder::DecodeEnhanced(PLBmp& bmp) {
    PLSvgRasterizer* rasterizer = PLGetSvgRasterizer();
    if (!rasterizer)
        RaiseDecoderError(PL_ERRFORMAT_NOT_COMPILED, "Library not compiled for this file type.");
    generatorOptions options{};
    char noNamespace[] = "";
    options.nameSpace = noNamespace;
    options.verbose = false;
    options.emfplus = false;  // dual EMF+ files carry plain records too, which draw fully
    options.svgDelimiter = true;
    options.imgWidth = GetWidth();
    options.imgHeight = GetHeight();
    char* out = nullptr;
    std::size_t length = 0;
    const int ok =
        emf2svg(reinterpret_cast<char*>(bytes.data()), bytes.size(), &out, &length, &options);
    std::unique_ptr<char, FreeDeleter> svg(out);
    if (!ok || !out || length == 0)
        FailToLoad();
    if (!rasterizer->Rasterize(std::string_view(out, length), GetWidth(), GetHeight(),
                               bmp.GetLineArray())) {
        RaiseDecoderError(PL_ERRFORMAT_NOT_COMPILED, "Library not compiled for this file type.");
    }
}
