#include "imaging/png_decoder.h"

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <png.h>

namespace {

constexpr char kEndOfData[] = "End of file reached while decoding.\n";

}  // namespace

struct PLPNGDecoder::Library {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PLDataSource* source = nullptr;
    bool endOfData = false;
    char message[256] = {};

    // Arguments of the guarded steps; trivially destructible, since a library error jumps
    // out of them.
    struct HeaderStep {
        Library* self;
        png_uint_32 width;
        png_uint_32 height;
        int bitDepth;
        int colourType;
        int interlace;
        png_uint_32 resX;
        png_uint_32 resY;
        int unit;
        bool havePhys;
    };
    struct PaletteStep {
        Library* self;
        png_colorp entries;
        int count;
    };
    struct RowsStep {
        Library* self;
        png_bytepp rows;
        std::size_t rowBytes;  // what the bitmap's rows hold
        std::size_t expected;  // what each row should receive
        bool strip16;
        bool pack;
    };

    ~Library() { Destroy(); }

    void Destroy() {
        if (png != nullptr)
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        png = nullptr;
        info = nullptr;
    }

    static void Error(png_structp png, png_const_charp text) {
        auto* self = static_cast<Library*>(png_get_error_ptr(png));
        std::snprintf(self->message, sizeof self->message, "%s", text ? text : "");
        // Returning would let libpng print the text before it jumps.
        png_longjmp(png, 1);
    }
    static void Warning(png_structp, png_const_charp) {}

    static void Read(png_structp png, png_bytep out, std::size_t count) {
        auto* self = static_cast<Library*>(png_get_io_ptr(png));
        if (self->source->GetRemaining() < count) {
            self->endOfData = true;
            png_error(png, "End of file reached while decoding.");
        }
        std::memcpy(out, self->source->ReadBytes(count), count);
    }

    static void ReadHeader(void* context) {
        auto* step = static_cast<HeaderStep*>(context);
        Library* self = step->self;
        png_read_info(self->png, self->info);
        png_get_IHDR(self->png, self->info, &step->width, &step->height, &step->bitDepth,
                     &step->colourType, &step->interlace, nullptr, nullptr);
        step->havePhys =
            png_get_pHYs(self->png, self->info, &step->resX, &step->resY, &step->unit) != 0;
    }
    static void GetPalette(void* context) {
        auto* step = static_cast<PaletteStep*>(context);
        if (png_get_PLTE(step->self->png, step->self->info, &step->entries, &step->count) == 0) {
            step->entries = nullptr;
            step->count = 0;
        }
    }
    static void ReadRows(void* context) {
        auto* step = static_cast<RowsStep*>(context);
        png_structp png = step->self->png;
        if (step->strip16)
            png_set_strip_16(png);
        if (step->pack)
            png_set_packing(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, step->self->info);
        const std::size_t rowBytes = png_get_rowbytes(png, step->self->info);
        if (rowBytes != step->expected || rowBytes > step->rowBytes)
            png_error(png, "Unexpected row layout after transformations.");
        png_read_image(png, step->rows);
        png_read_end(png, nullptr);
    }

    bool Guarded(void (*step)(void*), void* context) {
        if (setjmp(png_jmpbuf(png)) != 0)
            return false;
        step(context);
        return true;
    }
};

PLPNGDecoder::PLPNGDecoder() : library(std::make_unique<Library>()) {}

PLPNGDecoder::~PLPNGDecoder() = default;

void PLPNGDecoder::Fail() {
    const bool endOfData = library->endOfData;
    const std::string message = library->message;
    library->Destroy();
    if (endOfData)
        throw PLTextException(PL_ERREND_OF_FILE, kEndOfData);
    RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "%s", message.c_str());
}

void PLPNGDecoder::Open(PLDataSource* source) {
    Library& lib = *library;
    lib.Destroy();
    lib.source = source;
    lib.endOfData = false;
    lib.message[0] = '\0';
    lib.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &lib, &Library::Error, &Library::Warning);
    if (lib.png == nullptr)
        RaiseDecoderError(PL_ERRNO_MEMORY, "Out of memory creating the PNG reader.");
    lib.info = png_create_info_struct(lib.png);
    if (lib.info == nullptr) {
        lib.Destroy();
        RaiseDecoderError(PL_ERRNO_MEMORY, "Out of memory creating the PNG reader.");
    }
    png_set_read_fn(lib.png, &lib, &Library::Read);
    png_set_user_limits(lib.png, kPLMaxSide, kPLMaxSide);

    Library::HeaderStep header{};
    header.self = &lib;
    if (!lib.Guarded(&Library::ReadHeader, &header))
        Fail();
    colourType = header.colourType;
    bitDepth = header.bitDepth;

    std::int32_t depth = 8;
    bool alpha = false;
    bool grey = false;
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
            grey = true;
            break;
        case PNG_COLOR_TYPE_PALETTE:
            break;
        case PNG_COLOR_TYPE_RGB:
            png_set_bgr(lib.png);
            png_set_filler(lib.png, 0xFF, PNG_FILLER_AFTER);
            depth = 32;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            png_set_gray_to_rgb(lib.png);
            png_set_expand(lib.png);
            png_set_bgr(lib.png);
            depth = 32;
            alpha = true;
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            png_set_bgr(lib.png);
            depth = 32;
            alpha = true;
            break;
        default:
            lib.Destroy();
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Unknown PNG colour type.");
    }

    PLPoint dpi{};
    if (header.havePhys && header.unit == PNG_RESOLUTION_METER) {
        dpi = {static_cast<std::int32_t>(static_cast<float>(header.resX) * 0.0254f + 0.5f),
               static_cast<std::int32_t>(static_cast<float>(header.resY) * 0.0254f + 0.5f)};
    }
    try {
        CheckPictureSize(static_cast<std::int32_t>(header.width),
                         static_cast<std::int32_t>(header.height), depth);
    } catch (...) {
        lib.Destroy();
        throw;
    }
    SetBmpInfo(static_cast<std::int32_t>(header.width), static_cast<std::int32_t>(header.height),
               depth, dpi, alpha, grey);
}

void PLPNGDecoder::DecodePixels(PLBmp& bmp) {
    Library& lib = *library;
    if (lib.png == nullptr)
        RaiseDecoderError(PL_ERRINTERNAL, "No PNG picture is open.");
    if (bmp.GetWidth() != width || bmp.GetHeight() != height ||
        bmp.GetBitsPerPixel() != bitsPerPixel)
        bmp.Create(*this);

    if (colourType == PNG_COLOR_TYPE_GRAY) {
        const unsigned n = bitDepth == 16 ? 256u : 1u << bitDepth;
        std::array<RGBQuad, 256> ramp{};
        for (unsigned i = 0; i < n; ++i) {
            const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
            ramp[i] = RGBQuad{v, v, v, 255};
        }
        bmp.SetPaletteEntries(std::span<const RGBQuad>(ramp.data(), n));
    } else if (colourType == PNG_COLOR_TYPE_PALETTE) {
        Library::PaletteStep palette{&lib, nullptr, 0};
        if (!lib.Guarded(&Library::GetPalette, &palette))
            Fail();
        std::array<RGBQuad, 256> entries{};
        const int count = palette.count < 0 ? 0 : palette.count > 256 ? 256 : palette.count;
        for (int i = 0; i < count; ++i) {
            const png_color& c = palette.entries[i];
            entries[static_cast<std::size_t>(i)] = RGBQuad{c.blue, c.green, c.red, 255};
        }
        bmp.SetPaletteEntries(
            std::span<const RGBQuad>(entries.data(), static_cast<std::size_t>(count)));
    }

    PLBmpLock lock(bmp, false, true);
    Library::RowsStep rows{&lib,
                           const_cast<png_bytepp>(bmp.GetLineArray()),
                           bmp.GetBytesPerLine(),
                           static_cast<std::size_t>(width) * (bitsPerPixel == 32 ? 4 : 1),
                           bitDepth == 16,
                           bitDepth < 8};
    if (!lib.Guarded(&Library::ReadRows, &rows))
        Fail();
    lib.Destroy();
}

void PLPNGDecoder::Close() {
    library->Destroy();
    library->source = nullptr;
    PLPicDecoder::Close();
}
