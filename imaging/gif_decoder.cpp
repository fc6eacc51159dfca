#include "imaging/gif_decoder.h"

#include <array>
#include <cstring>

#include <gif_lib.h>

namespace {

constexpr char kEndOfData[] = "End of file reached while decoding.\n";

}  // namespace

struct PLGIFDecoder::Library {
    GifFileType* gif = nullptr;
    PLDataSource* source = nullptr;
    bool endOfData = false;

    ~Library() { CloseGif(); }

    void CloseGif() {
        if (gif != nullptr) {
            int error = 0;
            DGifCloseFile(gif, &error);
        }
        gif = nullptr;
    }

    // giflib is C: running out of data is recorded here and reported as a short read.
    static int Read(GifFileType* file, GifByteType* out, int count) {
        auto* self = static_cast<Library*>(file->UserData);
        if (count <= 0)
            return 0;
        if (self->source->GetRemaining() < static_cast<std::size_t>(count)) {
            self->endOfData = true;
            return 0;
        }
        std::memcpy(out, self->source->ReadBytes(static_cast<std::size_t>(count)),
                    static_cast<std::size_t>(count));
        return count;
    }

    void ThrowIfEndOfData() const {
        if (endOfData)
            throw PLTextException(PL_ERREND_OF_FILE, kEndOfData);
    }
};

PLGIFDecoder::PLGIFDecoder() : library(std::make_unique<Library>()) {}

PLGIFDecoder::~PLGIFDecoder() = default;

void PLGIFDecoder::Open(PLDataSource* source) {
    Library& lib = *library;
    lib.CloseGif();
    lib.source = source;
    lib.endOfData = false;
    int error = 0;
    lib.gif = DGifOpen(&lib, &Library::Read, &error);
    if (lib.gif == nullptr) {
        lib.ThrowIfEndOfData();
        if (error == D_GIF_ERR_NOT_GIF_FILE)
            RaiseDecoderError(PL_ERRWRONG_SIGNATURE, "GIF decoder: This isn't a GIF.");
        const char* text = GifErrorString(error);
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "%s", text ? text : "Cannot open GIF.");
    }
    CheckPictureSize(lib.gif->SWidth, lib.gif->SHeight, 8);
    SetBmpInfo(lib.gif->SWidth, lib.gif->SHeight, 8, PLPoint{}, false, false);
}

void PLGIFDecoder::DecodePixels(PLBmp& bmp) {
    Library& lib = *library;
    GifFileType* gif = lib.gif;
    if (gif == nullptr)
        RaiseDecoderError(PL_ERRINTERNAL, "No GIF picture is open.");
    if (bmp.GetWidth() != width || bmp.GetHeight() != height ||
        bmp.GetBitsPerPixel() != bitsPerPixel)
        bmp.Create(*this);

    PLBmpLock lock(bmp, false, true);
    std::uint8_t* const* rows = bmp.GetLineArray();
    const auto background = static_cast<std::uint8_t>(gif->SBackGroundColor);
    for (std::int32_t y = 0; y < height; ++y)
        std::memset(rows[y], background, static_cast<std::size_t>(width));

    int transparent = -1;
    const ColorMapObject* colourMap = gif->SColorMap;
    bool done = false;
    while (!done) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            lib.ThrowIfEndOfData();
            RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "GIF decoder: Damaged record.");
        }
        switch (type) {
            case EXTENSION_RECORD_TYPE: {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
                    lib.ThrowIfEndOfData();
                    RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "GIF decoder: Damaged extension.");
                }
                if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4 &&
                    (block[1] & 1) != 0)
                    transparent = block[4];
                while (block != nullptr) {
                    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                        lib.ThrowIfEndOfData();
                        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "GIF decoder: Damaged extension.");
                    }
                }
                break;
            }
            case IMAGE_DESC_RECORD_TYPE: {
                if (DGifGetImageDesc(gif) == GIF_ERROR) {
                    lib.ThrowIfEndOfData();
                    RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "GIF decoder: Damaged image header.");
                }
                const GifImageDesc& image = gif->Image;
                if (image.Left < 0 || image.Top < 0 || image.Width < 0 || image.Height < 0 ||
                    std::int64_t{image.Left} + image.Width > width ||
                    std::int64_t{image.Top} + image.Height > height)
                    RaiseDecoderError(PL_ERRFORMAT_UNKNOWN,
                                      "GIF decoder: Image lies outside the logical screen.");
                if (image.ColorMap != nullptr)
                    colourMap = image.ColorMap;
                static constexpr int kStart[] = {0, 4, 2, 1};
                static constexpr int kStep[] = {8, 8, 4, 2};
                const int passes = image.Interlace ? 4 : 1;
                bool broken = false;
                for (int pass = 0; pass < passes && !broken; ++pass) {
                    const int start = image.Interlace ? kStart[pass] : 0;
                    const int step = image.Interlace ? kStep[pass] : 1;
                    for (int y = start; y < image.Height; y += step) {
                        if (DGifGetLine(gif, rows[image.Top + y] + image.Left, image.Width) ==
                            GIF_ERROR) {
                            // Damaged image data: what was read so far is the picture.
                            lib.ThrowIfEndOfData();
                            broken = true;
                            break;
                        }
                    }
                }
                done = true;
                break;
            }
            case TERMINATE_RECORD_TYPE:
            default:
                done = true;
                break;
        }
    }

    if (colourMap == nullptr || colourMap->Colors == nullptr)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "GIF decoder: No colour map.");
    std::array<RGBQuad, 256> palette{};
    const int count = std::min(colourMap->ColorCount, 256);
    for (int i = 0; i < count; ++i) {
        const GifColorType& c = colourMap->Colors[i];
        palette[static_cast<std::size_t>(i)] =
            RGBQuad{c.Blue, c.Green, c.Red, static_cast<std::uint8_t>(i == transparent ? 0 : 255)};
    }
    bmp.SetPaletteEntries(std::span<const RGBQuad>(palette));
    if (transparent >= 0) {
        SetBmpInfo(width, height, bitsPerPixel, resolution, true, isGreyscale);
        bmp.SetBmpInfo(bmp.GetWidth(), bmp.GetHeight(), bmp.GetBitsPerPixel(), bmp.GetResolution(),
                       true, bmp.IsGreyscale());
    }
}

void PLGIFDecoder::Close() {
    library->CloseGif();
    library->source = nullptr;
    PLPicDecoder::Close();
}
