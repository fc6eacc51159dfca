#include "imaging/tiff_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <tiffio.h>

namespace {

// The library's own allocations for one picture (strip and tile buffers).
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{512} * 1024 * 1024;

// The picture's bytes, read by copying and seeking within them.
struct MemoryFile {
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (count <= 0 || file->position >= file->size)
        return 0;
    const std::uint64_t n =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(count), file->size - file->position);
    std::memcpy(buffer, file->data + file->position, static_cast<std::size_t>(n));
    file->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = file->position;
    else if (whence == SEEK_END)
        base = file->size;
    else if (whence != SEEK_SET)
        return static_cast<toff_t>(-1);
    const std::uint64_t target = base + offset;
    if (target < base)
        return static_cast<toff_t>(-1);
    file->position = target;
    return target;
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->size;
}

// The bytes are in memory already: handing them over as a mapping spares copies, and the
// library reads uncompressed tiles whose byte counts are larger than needed only that way.
int MapProc(thandle_t handle, void** base, toff_t* size) {
    auto* file = static_cast<MemoryFile*>(handle);
    *base = const_cast<std::uint8_t*>(file->data);
    *size = file->size;
    return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

// Nothing the library says reaches a console: the process-wide handlers are switched off once,
// and each picture's messages go to its own record.
void SilenceLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// Copies the four samples of 8-bit RGB pictures unchanged, whatever the extra sample says.
void PutFourSamples(TIFFRGBAImage*, std::uint32_t* cp, std::uint32_t, std::uint32_t,
                    std::uint32_t w, std::uint32_t h, std::int32_t fromskew, std::int32_t toskew,
                    unsigned char* pp) {
    const std::ptrdiff_t skip = static_cast<std::ptrdiff_t>(fromskew) * 4;
    for (; h > 0; --h) {
        for (std::uint32_t x = 0; x < w; ++x) {
            std::memcpy(cp, pp, 4);
            ++cp;
            pp += 4;
        }
        cp += toskew;
        pp += skip;
    }
}

// The same for pictures stored as separate planes; without an extra sample the library hands
// over no fourth plane.
void PutFourSeparateSamples(TIFFRGBAImage*, std::uint32_t* cp, std::uint32_t, std::uint32_t,
                            std::uint32_t w, std::uint32_t h, std::int32_t fromskew,
                            std::int32_t toskew, unsigned char* r, unsigned char* g,
                            unsigned char* b, unsigned char* a) {
    for (; h > 0; --h) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const unsigned char pixel[4] = {*r++, *g++, *b++,
                                            a ? *a++ : static_cast<unsigned char>(255)};
            std::memcpy(cp, pixel, 4);
            ++cp;
        }
        r += fromskew;
        g += fromskew;
        b += fromskew;
        if (a)
            a += fromskew;
        cp += toskew;
    }
}

}  // namespace

struct PLTIFFDecoder::Library {
    TIFF* tiff = nullptr;
    MemoryFile file;
    std::string lastMessage;
    bool errorReported = false;

    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint16_t bitsPerSample = 1;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    bool tiled = false;

    ~Library() { CloseTiff(); }

    void CloseTiff() {
        if (tiff != nullptr)
            TIFFClose(tiff);
        tiff = nullptr;
    }

    static void Format(std::string& out, const char* module, const char* format, va_list args) {
        char text[1024];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        std::vsnprintf(text, sizeof text, format, args);
#pragma GCC diagnostic pop
        out = module != nullptr && *module != '\0' ? std::string(module) + ": " + text : text;
    }
    static int Error(TIFF*, void* user, const char* module, const char* format, va_list args) {
        auto* self = static_cast<Library*>(user);
        Format(self->lastMessage, module, format, args);
        self->errorReported = true;
        return 1;
    }
    static int Warning(TIFF*, void*, const char*, const char*, va_list) {
        return 1;
    }

    const char* Message() const {
        return lastMessage.empty() ? "Unknown TIFF library error." : lastMessage.c_str();
    }
};

PLTIFFDecoder::PLTIFFDecoder() : library(std::make_unique<Library>()) {
    SilenceLibrary();
}

PLTIFFDecoder::~PLTIFFDecoder() = default;

void PLTIFFDecoder::Open(PLDataSource* source) {
    Library& lib = *library;
    lib.CloseTiff();
    lib.lastMessage.clear();
    lib.errorReported = false;
    // The picture runs from here to the end of the source: an EPS file's preview starts at an
    // offset, and its own offsets count from there.
    const std::span<const std::uint8_t> bytes = source->RemainingBytes();
    lib.file = MemoryFile{bytes.data(), bytes.size(), 0};

    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr)
        RaiseDecoderError(PL_ERRNO_MEMORY, "Out of memory opening TIFF.");
    TIFFOpenOptionsSetErrorHandlerExtR(options, &Library::Error, &lib);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &Library::Warning, &lib);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibraryAllocation);
    lib.tiff = TIFFClientOpenExt("MemSource", "r", &lib.file, &ReadProc, &WriteProc, &SeekProc,
                                 &CloseProc, &SizeProc, &MapProc, &UnmapProc, options);
    TIFFOpenOptionsFree(options);
    if (lib.tiff == nullptr) {
        if (lib.errorReported)
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "%s\n", lib.Message());
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "%s", lib.Message());
    }

    TIFFGetFieldDefaulted(lib.tiff, TIFFTAG_IMAGEWIDTH, &lib.width);
    TIFFGetFieldDefaulted(lib.tiff, TIFFTAG_IMAGELENGTH, &lib.length);
    TIFFGetFieldDefaulted(lib.tiff, TIFFTAG_BITSPERSAMPLE, &lib.bitsPerSample);
    TIFFGetFieldDefaulted(lib.tiff, TIFFTAG_SAMPLESPERPIXEL, &lib.samplesPerPixel);
    lib.photometric = PHOTOMETRIC_MINISBLACK;
    TIFFGetFieldDefaulted(lib.tiff, TIFFTAG_PHOTOMETRIC, &lib.photometric);
    TIFFGetFieldDefaulted(lib.tiff, TIFFTAG_PLANARCONFIG, &lib.planar);
    lib.tiled = TIFFIsTiled(lib.tiff) != 0;

    if (lib.bitsPerSample == 0 || lib.bitsPerSample > 64 || lib.samplesPerPixel == 0)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unsupported TIFF sample layout.");

    std::int32_t depth;
    if (lib.tiled)
        depth = 32;
    else if (lib.samplesPerPixel == 1)
        depth = lib.bitsPerSample == 1 ? 1 : lib.bitsPerSample > 8 ? 32 : 8;
    else
        depth = lib.samplesPerPixel >= 3 || lib.bitsPerSample > 8 ? 32 : 8;
    const bool alpha = lib.samplesPerPixel == 4 && lib.photometric <= PHOTOMETRIC_PALETTE;
    const bool grey =
        lib.photometric == PHOTOMETRIC_MINISWHITE || lib.photometric == PHOTOMETRIC_MINISBLACK;

    float resX = 0, resY = 0;
    std::uint16_t unit = RESUNIT_INCH;
    if (TIFFGetField(lib.tiff, TIFFTAG_XRESOLUTION, &resX) == 0 || !(resX > 1))
        resX = 0;
    if (TIFFGetField(lib.tiff, TIFFTAG_YRESOLUTION, &resY) == 0 || !(resY > 1))
        resY = 0;
    if (TIFFGetField(lib.tiff, TIFFTAG_RESOLUTIONUNIT, &unit) != 0 && unit != RESUNIT_INCH) {
        const float factor = unit == RESUNIT_CENTIMETER ? 2.54f : 0.0254f;
        resX *= factor;
        resY *= factor;
    }
    const auto toInt = [](float v) {
        return v < 2.0e9f ? static_cast<std::int32_t>(std::lround(v)) : 0;
    };

    const auto w = static_cast<std::int32_t>(std::min<std::uint32_t>(lib.width, INT32_MAX));
    const auto h = static_cast<std::int32_t>(std::min<std::uint32_t>(lib.length, INT32_MAX));
    CheckPictureSize(w, h, depth);
    SetBmpInfo(w, h, depth, PLPoint{toInt(resX), toInt(resY)}, alpha, grey);
}

void PLTIFFDecoder::DecodePixels(PLBmp& bmp) {
    if (library->tiff == nullptr)
        RaiseDecoderError(PL_ERRINTERNAL, "No TIFF picture is open.");
    if (bmp.GetWidth() != width || bmp.GetHeight() != height ||
        bmp.GetBitsPerPixel() != bitsPerPixel)
        bmp.Create(*this);
    const Library& lib = *library;
    if (!lib.tiled && lib.samplesPerPixel <= 2 && lib.bitsPerSample <= 8 && bitsPerPixel != 32)
        DecodeLowColour(bmp);
    else
        DecodeFullColour(bmp);
}

void PLTIFFDecoder::DecodeLowColour(PLBmp& bmp) {
    Library& lib = *library;
    const unsigned bits = lib.bitsPerSample;
    const unsigned entries = 1u << bits;

    std::array<RGBQuad, 256> palette{};
    if (lib.photometric == PHOTOMETRIC_PALETTE) {
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (TIFFGetField(lib.tiff, TIFFTAG_COLORMAP, &red, &green, &blue) == 0 || red == nullptr ||
            green == nullptr || blue == nullptr)
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "TIFF palette picture without colour map.");
        bool wide = false;
        for (unsigned i = 0; i < entries; ++i)
            wide = wide || red[i] >= 256 || green[i] >= 256 || blue[i] >= 256;
        const auto channel = [wide](std::uint16_t v) {
            return static_cast<std::uint8_t>(wide ? v * 255u / 65535u : v);
        };
        for (unsigned i = 0; i < entries; ++i)
            palette[i] = RGBQuad{channel(blue[i]), channel(green[i]), channel(red[i]), 255};
    } else {
        // Grey ramp: black to white, or white to black for min-is-white and anything else.
        const unsigned step = 255 / (entries - 1);
        const bool whiteFirst = lib.photometric != PHOTOMETRIC_MINISBLACK;
        for (unsigned i = 0; i < entries; ++i) {
            const auto v = static_cast<std::uint8_t>(whiteFirst ? 255 - i * step : i * step);
            palette[i] = RGBQuad{v, v, v, 255};
        }
    }

    // Planes stored separately: the first plane holds the sample we keep.
    const unsigned samples = lib.planar == PLANARCONFIG_SEPARATE ? 1 : lib.samplesPerPixel;
    const tmsize_t scanlineSize = TIFFScanlineSize(lib.tiff);
    const std::uint64_t needed = (static_cast<std::uint64_t>(lib.width) * samples * bits + 7) / 8;
    if (scanlineSize <= 0 || static_cast<std::uint64_t>(scanlineSize) < needed)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unexpected TIFF scan line size.");
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(scanlineSize));

    {
        PLBmpLock lock(bmp, false, true);
        const std::size_t rowBytes = bmp.GetBytesPerLine();
        for (std::int32_t row = 0; row < height; ++row) {
            if (TIFFReadScanline(lib.tiff, buffer.data(), static_cast<std::uint32_t>(row), 0) < 0) {
                // A damaged tail still leaves a picture worth showing.
                if (row < height / 3)
                    RaiseDecoderError(PL_ERRINTERNAL, "%s", lib.Message());
                continue;
            }
            std::uint8_t* out = bmp.GetLineArray()[row];
            if (bitsPerPixel == 1) {
                std::memcpy(out, buffer.data(), std::min<std::size_t>(rowBytes, needed));
            } else if (bits == 8) {
                for (std::uint32_t x = 0; x < lib.width; ++x)
                    out[x] = buffer[x * samples];
            } else {
                // Samples narrower than a byte, high bits first; keep the first of each pixel.
                const unsigned mask = entries - 1;
                for (std::uint32_t x = 0; x < lib.width; ++x) {
                    const std::uint64_t bit = static_cast<std::uint64_t>(x) * samples * bits;
                    const unsigned pair = static_cast<unsigned>(buffer[bit / 8]) << 8 |
                                          (bit / 8 + 1 < buffer.size() ? buffer[bit / 8 + 1] : 0);
                    out[x] = static_cast<std::uint8_t>((pair >> (16 - bits - bit % 8)) & mask);
                }
            }
        }
    }
    bmp.SetPaletteEntries(std::span<const RGBQuad>(
        palette.data(), std::min<std::size_t>(entries, bmp.GetPaletteSize())));
}

void PLTIFFDecoder::DecodeFullColour(PLBmp& bmp) {
    Library& lib = *library;
    char message[1024] = {};
    TIFFRGBAImage image{};
    if (TIFFRGBAImageBegin(&image, lib.tiff, 0, message) == 0)
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "%s", message[0] ? message : lib.Message());

    const std::size_t pixels = static_cast<std::size_t>(lib.width) * lib.length;
    std::unique_ptr<std::uint32_t[]> raster(new (std::nothrow) std::uint32_t[pixels]());
    if (!raster) {
        TIFFRGBAImageEnd(&image);
        RaiseDecoderError(PL_ERRNO_MEMORY, "Out of memory allocating TIFF buffer.");
    }
    if (image.bitspersample == 8 && image.samplesperpixel == 4 &&
        image.photometric == PHOTOMETRIC_RGB) {
        if (image.isContig)
            image.put.contig = &PutFourSamples;
        else
            image.put.separate = &PutFourSeparateSamples;
    }
    const int ok = TIFFRGBAImageGet(&image, raster.get(), lib.width, lib.length);
    TIFFRGBAImageEnd(&image);
    if (ok == 0)
        RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "%s", lib.Message());

    PLBmpLock lock(bmp, false, true);
    for (std::int32_t row = 0; row < height; ++row) {
        // The library's raster is bottom-up.
        const std::uint32_t* in =
            raster.get() + static_cast<std::size_t>(height - 1 - row) * lib.width;
        auto* out = reinterpret_cast<Pixel32*>(bmp.GetLineArray()[row]);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t v = in[x];
            out[x] = Pixel32::FromRGBA(
                static_cast<std::uint8_t>(TIFFGetR(v)), static_cast<std::uint8_t>(TIFFGetG(v)),
                static_cast<std::uint8_t>(TIFFGetB(v)), static_cast<std::uint8_t>(TIFFGetA(v)));
        }
    }
}

void PLTIFFDecoder::Close() {
    library->CloseTiff();
    PLPicDecoder::Close();
}
