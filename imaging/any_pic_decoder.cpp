#include "imaging/any_pic_decoder.h"

#include <algorithm>
#include <cstring>
#include <string>

// Format decoders: each one adds its include here and its Register line in the constructor.
#include "imaging/bmp_decoder.h"
#include "imaging/gif_decoder.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/pcx_decoder.h"
#include "imaging/pgm_decoder.h"
#include "imaging/pict_decoder.h"
#include "imaging/png_decoder.h"
#include "imaging/ppm_decoder.h"
#include "imaging/psd_decoder.h"
#include "imaging/tga_decoder.h"
#include "imaging/tiff_decoder.h"
#include "imaging/wemf_decoder.h"

class PLJPEGDecoder;

PLAnyPicDecoder::PLAnyPicDecoder() {
    // The PICT decoder hands embedded JPEG data to the JPEG decoder.
    [[maybe_unused]] PLJPEGDecoder* jpeg = nullptr;
    // In creation order; one line per format decoder.
    Register<PLBmpDecoder>({PLFileType::Bmp});
    Register<PLTGADecoder>({PLFileType::Tga});
    Register<PLTIFFDecoder>({PLFileType::Tiff, PLFileType::EpsTiff});
    jpeg = Register<PLJPEGDecoder>({PLFileType::Jpeg});
    Register<PLPictDecoder>({PLFileType::Pict}, jpeg);
    Register<PLPNGDecoder>({PLFileType::Png});
    Register<PLWEMFDecoder>({PLFileType::Wmf, PLFileType::Emf});
    Register<PLPCXDecoder>({PLFileType::Pcx});
    Register<PLPGMDecoder>({PLFileType::Pgm});
    Register<PLGIFDecoder>({PLFileType::Gif});
    Register<PLPPMDecoder>({PLFileType::Ppm});
    Register<PLPSDDecoder>({PLFileType::Psd});
}

PLAnyPicDecoder::~PLAnyPicDecoder() {
    // Later decoders may hold earlier ones (PICT holds JPEG): delete in reverse order.
    while (!decoders.empty())
        decoders.pop_back();
}

namespace {

std::uint8_t At(std::span<const std::uint8_t> h, std::size_t i) {
    return i < h.size() ? h[i] : 0;
}

std::uint32_t LE32At(std::span<const std::uint8_t> h, std::size_t i) {
    return std::uint32_t{At(h, i)} | std::uint32_t{At(h, i + 1)} << 8 |
           std::uint32_t{At(h, i + 2)} << 16 | std::uint32_t{At(h, i + 3)} << 24;
}

bool Starts(std::span<const std::uint8_t> h, std::initializer_list<std::uint8_t> bytes,
            std::size_t offset = 0) {
    std::size_t i = offset;
    for (std::uint8_t b : bytes) {
        if (At(h, i++) != b)
            return false;
    }
    return true;
}

bool OneOf(std::uint8_t v, std::initializer_list<std::uint8_t> set) {
    return std::find(set.begin(), set.end(), v) != set.end();
}

}  // namespace

PLFileType PLAnyPicDecoder::DetectFileType(std::span<const std::uint8_t> h, std::size_t size) {
    // Only the bytes the file really has count.
    h = h.first(std::min(h.size(), size));
    const char sig0 = static_cast<char>(At(h, 0));
    const char sig1 = static_cast<char>(At(h, 1));
    const std::string two{sig0, sig1};
    if (two == "BA" || two == "BM" || two == "IC" || two == "CI" || two == "CP") {
        return PLFileType::Bmp;
    }
    if (At(h, 1) <= 1 && (At(h, 2) <= 3 || (At(h, 2) >= 9 && At(h, 2) <= 11)) &&
        OneOf(At(h, 7), {0, 8, 15, 16, 24, 32}) && OneOf(At(h, 16), {8, 15, 16, 24, 32})) {
        return PLFileType::Tga;
    }
    if (Starts(h, {'G', 'I', 'F', '8'}))
        return PLFileType::Gif;
    if (Starts(h, {0x49, 0x49, 0x2A, 0x00}) || Starts(h, {0x4D, 0x4D, 0x00, 0x2A})) {
        return PLFileType::Tiff;
    }
    if (size > 540 &&
        (Starts(h, {0x00, 0x11, 0x02, 0xFF}, 522) || Starts(h, {0x00, 0x11, 0x01}, 522) ||
         Starts(h, {0x11, 0x01, 0x01, 0x00}, 522))) {
        return PLFileType::Pict;
    }
    if (Starts(h, {0xFF, 0xD8, 0xFF}))
        return PLFileType::Jpeg;
    if (Starts(h, {0x89, 0x50, 0x4E, 0x47}))
        return PLFileType::Png;
    if ((Starts(h, {0xC5, 0xD0, 0xD3, 0xC6}) || Starts(h, {0xC6, 0xD3, 0xD0, 0xC5})) &&
        LE32At(h, 20) != 0 && LE32At(h, 24) != 0) {
        return PLFileType::EpsTiff;
    }
    if (At(h, 0) == 0x0A && At(h, 2) == 1)
        return PLFileType::Pcx;
    if (sig0 == 'P' && (sig1 == '2' || sig1 == '5'))
        return PLFileType::Pgm;
    if (sig0 == 'P' && (sig1 == '3' || sig1 == '6'))
        return PLFileType::Ppm;
    if (Starts(h, {'8', 'B', 'P', 'S'}))
        return PLFileType::Psd;
    return PLFileType::Unknown;
}

void PLAnyPicDecoder::Open(PLDataSource* source) {
    fileType = PLFileType::Unknown;
    std::string upper = source->GetName();
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    if (upper.find(".WMF") != std::string::npos) {
        fileType = PLFileType::Wmf;
    } else if (upper.find(".EMF") != std::string::npos) {
        fileType = PLFileType::Emf;
    } else {
        fileType = DetectFileType(source->PeekBytes(kDetectBytes), source->GetSize());
    }

    if (fileType == PLFileType::Unknown) {
        RaiseDecoderError(PL_ERRUNKNOWN_FILE_TYPE, "Unknown file type.");
    }
    currentDecoder = byType[static_cast<std::size_t>(fileType)];
    if (!currentDecoder) {
        RaiseDecoderError(PL_ERRFORMAT_NOT_COMPILED, "Library not compiled for this file type.");
    }

    if (fileType == PLFileType::EpsTiff) {
        // The preview's offset sits at byte 20 of the EPS header.
        std::uint32_t offset = LE32At(source->PeekBytes(24), 20);
        source->Skip(offset);
    }

    // The chosen decoder releases the source from now on, also when its Open fails.
    if (dataSource.get() == source)
        currentDecoder->AttachSource(DetachSource());
    decoderOpen = true;
    currentDecoder->Open(source);
    SetBmpInfo(*currentDecoder);
}

void PLAnyPicDecoder::DecodePixels(PLBmp& bmp) {
    currentDecoder->DecodePixels(bmp);
    SetBmpInfo(*currentDecoder);
}

void PLAnyPicDecoder::Close() {
    if (decoderOpen && currentDecoder)
        currentDecoder->Close();
    decoderOpen = false;
    PLPicDecoder::Close();
}
