#include "imaging/jpeg_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// Progressive files can ask for any number of scans; real ones have a dozen.
constexpr long kMaxScans = 1000;
// Working memory of the library beyond the bitmap (coefficient buffers of progressive files).
constexpr long kMaxLibraryMemory = 512L * 1024 * 1024;

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

}  // namespace

struct PLJPEGDecoder::Library {
    jpeg_decompress_struct cinfo{};
    struct ErrorManager {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
    } error{};
    jpeg_source_mgr sourceManager{};
    jpeg_progress_mgr progressManager{};
    PLDataSource* source = nullptr;
    bool created = false;
    bool cmyk = false;
    bool adobeInverted = false;

    // Steps that run with the library's error exit armed. They keep no objects with
    // destructors, since a library error jumps out of them.
    struct RowsStep {
        Library* self;
        std::uint8_t* const* rows;
        JDIMENSION height;
        JDIMENSION width;
        bool colour;
    };

    static void ErrorExit(j_common_ptr common) {
        auto* manager = reinterpret_cast<ErrorManager*>(common->err);
        (*common->err->format_message)(common, manager->message);
        std::longjmp(manager->jump, 1);
    }
    // Warnings and trace lines go nowhere.
    static void OutputMessage(j_common_ptr) {}

    static void InitSource(j_decompress_ptr) {}
    static boolean FillInputBuffer(j_decompress_ptr cinfo) {
        // Out of data: the library fills the rest of the picture after a fake end marker.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        cinfo->src->next_input_byte = kEndOfImage;
        cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    static void SkipInputData(j_decompress_ptr cinfo, long count) {
        if (count <= 0)
            return;
        jpeg_source_mgr* src = cinfo->src;
        if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
            FillInputBuffer(cinfo);
            return;
        }
        src->next_input_byte += count;
        src->bytes_in_buffer -= static_cast<std::size_t>(count);
    }
    static void TermSource(j_decompress_ptr) {}

    static void Progress(j_common_ptr common) {
        auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
        if (cinfo->input_scan_number > kMaxScans)
            ERREXIT(cinfo, JERR_NOT_COMPILED);
        auto* self = static_cast<Library*>(cinfo->client_data);
        DecodeProgress* progress = self->source ? self->source->GetProgress() : nullptr;
        jpeg_progress_mgr* p = common->progress;
        if (progress == nullptr || p->total_passes <= 0 || p->pass_limit <= 0)
            return;
        const double done = (p->completed_passes + static_cast<double>(p->pass_counter) /
                                                       static_cast<double>(p->pass_limit)) /
                            p->total_passes;
        try {
            progress->OnProgress(done);
        } catch (...) {
            // A progress display must not tear through the library.
        }
    }

    static void Create(void* context) {
        auto* self = static_cast<Library*>(context);
        jpeg_create_decompress(&self->cinfo);
        self->created = true;
    }
    static void ReadHeader(void* context) {
        auto* self = static_cast<Library*>(context);
        jpeg_read_header(&self->cinfo, TRUE);
    }
    static void ReadRows(void* context) {
        auto* step = static_cast<RowsStep*>(context);
        jpeg_decompress_struct* cinfo = &step->self->cinfo;
        jpeg_start_decompress(cinfo);
        if (cinfo->output_width != step->width || cinfo->output_height != step->height ||
            cinfo->output_components != (step->colour ? 4 : 1))
            ERREXIT(cinfo, JERR_CONVERSION_NOTIMPL);
        while (cinfo->output_scanline < cinfo->output_height) {
            const JDIMENSION row = cinfo->output_scanline;
            const JDIMENSION lines =
                step->colour ? std::min<JDIMENSION>(32, step->height - row) : 1;
            auto* target =
                const_cast<JSAMPARRAY>(reinterpret_cast<const JSAMPROW*>(step->rows + row));
            if (jpeg_read_scanlines(cinfo, target, lines) == 0)
                break;
        }
        jpeg_finish_decompress(cinfo);
    }

    // Runs `step` with the error exit armed: false when the library gave up, with its
    // message kept.
    bool Guarded(void (*step)(void*), void* context) {
        if (setjmp(error.jump) != 0)
            return false;
        step(context);
        return true;
    }
};

PLJPEGDecoder::PLJPEGDecoder() : library(std::make_unique<Library>()) {
    Library& lib = *library;
    lib.cinfo.err = jpeg_std_error(&lib.error.pub);
    lib.error.pub.error_exit = &Library::ErrorExit;
    lib.error.pub.output_message = &Library::OutputMessage;
    if (!lib.Guarded(&Library::Create, &lib))
        throw PLTextException(PL_ERRNO_MEMORY, lib.error.message);
    lib.cinfo.client_data = &lib;
    lib.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    lib.sourceManager.init_source = &Library::InitSource;
    lib.sourceManager.fill_input_buffer = &Library::FillInputBuffer;
    lib.sourceManager.skip_input_data = &Library::SkipInputData;
    lib.sourceManager.resync_to_restart = &jpeg_resync_to_restart;
    lib.sourceManager.term_source = &Library::TermSource;
    lib.progressManager.progress_monitor = &Library::Progress;
    lib.cinfo.progress = &lib.progressManager;
}

PLJPEGDecoder::~PLJPEGDecoder() {
    if (library->created)
        jpeg_destroy_decompress(&library->cinfo);
}

void PLJPEGDecoder::Fail() {
    jpeg_abort_decompress(&library->cinfo);
    RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "%s\n", library->error.message);
}

void PLJPEGDecoder::Open(PLDataSource* source) {
    Library& lib = *library;
    jpeg_abort_decompress(&lib.cinfo);
    lib.source = source;
    // The picture runs from here to the end of the source (PICT files embed one).
    const std::span<const std::uint8_t> bytes = source->RemainingBytes();
    lib.sourceManager.next_input_byte = bytes.data();
    lib.sourceManager.bytes_in_buffer = bytes.size();
    lib.cinfo.src = &lib.sourceManager;
    if (!lib.Guarded(&Library::ReadHeader, &lib))
        Fail();

    jpeg_decompress_struct& cinfo = lib.cinfo;
    lib.cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // Photoshop writes CMYK inverted, with its own marker.
    lib.adobeInverted = lib.cmyk && cinfo.saw_Adobe_marker;
    bool grey = false;
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        cinfo.out_color_space = JCS_GRAYSCALE;
        grey = true;
    } else if (lib.cmyk) {
        cinfo.out_color_space = JCS_CMYK;
    } else {
        cinfo.out_color_space = JCS_EXT_BGRX;
    }

    PLPoint dpi{cinfo.X_density, cinfo.Y_density};
    if (dpi.x == 1 || dpi.y == 1)
        dpi = {};
    if (cinfo.density_unit == 2)
        dpi = {static_cast<std::int32_t>(dpi.x * 2.54), static_cast<std::int32_t>(dpi.y * 2.54)};

    const auto w = static_cast<std::int32_t>(std::min<JDIMENSION>(cinfo.image_width, INT32_MAX));
    const auto h = static_cast<std::int32_t>(std::min<JDIMENSION>(cinfo.image_height, INT32_MAX));
    const std::int32_t depth = grey ? 8 : 32;
    try {
        CheckPictureSize(w, h, depth);
    } catch (...) {
        jpeg_abort_decompress(&cinfo);
        throw;
    }
    SetBmpInfo(w, h, depth, dpi, false, grey);
}

void PLJPEGDecoder::DecodePixels(PLBmp& bmp) {
    Library& lib = *library;
    if (bmp.GetWidth() != width || bmp.GetHeight() != height ||
        bmp.GetBitsPerPixel() != bitsPerPixel)
        bmp.Create(*this);
    jpeg_decompress_struct& cinfo = lib.cinfo;
    cinfo.do_fancy_upsampling = fastUpsampling ? FALSE : TRUE;
    cinfo.dct_method = JDCT_FLOAT;

    PLBmpLock lock(bmp, false, true);
    Library::RowsStep step{&lib, bmp.GetLineArray(), static_cast<JDIMENSION>(height),
                           static_cast<JDIMENSION>(width), bitsPerPixel == 32};
    if (!lib.Guarded(&Library::ReadRows, &step))
        Fail();

    if (lib.cmyk) {
        for (std::int32_t y = 0; y < height; ++y) {
            std::uint8_t* p = bmp.GetLineArray()[y];
            for (std::int32_t x = 0; x < width; ++x, p += 4) {
                unsigned c = p[0], m = p[1], yel = p[2], k = p[3];
                if (!lib.adobeInverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yel = 255 - yel;
                    k = 255 - k;
                }
                // Inverted samples: each ink's complement times the key's complement.
                p[0] = static_cast<std::uint8_t>((yel * k + 127) / 255);
                p[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
                p[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
                p[3] = 255;
            }
        }
    }
}

void PLJPEGDecoder::Close() {
    jpeg_abort_decompress(&library->cinfo);
    library->source = nullptr;
    PLPicDecoder::Close();
}
