#include "imaging/pic_decoder.h"

#include <new>
#include <utility>

PLPicDecoder::PLPicDecoder() = default;
PLPicDecoder::~PLPicDecoder() = default;

void PLPicDecoder::CheckPictureSize(std::int32_t w, std::int32_t h, std::int32_t bpp) {
    if (w < 1 || h < 1)
        RaiseDecoderError(PL_ERRFORMAT_UNKNOWN, "Picture has no pixels.");
    if (!PLPixelStoreFits(w, h, bpp))
        RaiseDecoderError(PL_ERRNO_MEMORY, "Picture too large.");
}

void PLPicDecoder::AttachSource(std::unique_ptr<PLDataSource> source) {
    dataSource = std::move(source);
}

std::unique_ptr<PLDataSource> PLPicDecoder::DetachSource() {
    return std::move(dataSource);
}

void PLPicDecoder::Close() {
    if (dataSource) {
        dataSource->Close();
        dataSource.reset();
    }
}

void PLPicDecoder::DecodeFile(const char* fileName, PLBmp& bmp, std::int32_t bpp,
                              DecodeProgress* progress) {
    auto source = std::make_unique<PLFileSource>(progress);
    if (std::int32_t err = source->Open(fileName)) {
        RaiseDecoderError(err, "Opening %s failed", fileName ? fileName : "");
    }
    PLDataSource* raw = source.get();
    AttachSource(std::move(source));
    try {
        Open(raw);
        DecodeInto(bmp, bpp);
        Close();
    } catch (const PLTextException&) {
        Close();
        throw;
    } catch (const std::bad_alloc&) {
        // Callers catch only the library's exception.
        Close();
        RaiseDecoderError(PL_ERRNO_MEMORY, "Out of memory decoding picture.");
    }
}

void PLPicDecoder::DecodeMemory(const std::uint8_t* bytes, std::size_t byteCount, PLBmp& bmp,
                                std::int32_t bpp) {
    auto source = std::make_unique<PLMemSource>();
    if (std::int32_t err = source->Open(bytes, byteCount)) {
        RaiseDecoderError(err, "Reading from memory at %p failed", static_cast<const void*>(bytes));
    }
    PLDataSource* raw = source.get();
    AttachSource(std::move(source));
    try {
        Open(raw);
        DecodeInto(bmp, bpp);
        Close();
    } catch (const PLTextException&) {
        Close();
        throw;
    } catch (const std::bad_alloc&) {
        // Callers catch only the library's exception.
        Close();
        RaiseDecoderError(PL_ERRNO_MEMORY, "Out of memory decoding picture.");
    }
}

void PLPicDecoder::DecodeInto(PLBmp& bmp, std::int32_t bpp) {
    CheckPictureSize(width, height, bpp > bitsPerPixel ? bpp : bitsPerPixel);
    if (bpp == 0 || bpp == bitsPerPixel) {
        bmp.Create(*this);
        DecodePixels(bmp);
        return;
    }
    if (bitsPerPixel >= bpp) {
        RaiseDecoderError(PL_ERRFORMAT_NOT_SUPPORTED, "Image bit depth doesn't match request.");
    }
    PLAnyBmp temporary;
    temporary.Create(*this);
    DecodePixels(temporary);
    bmp.CreateCopy(temporary, bpp);
}
