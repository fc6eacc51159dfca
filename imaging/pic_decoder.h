#pragma once

// Common base of the format decoders and the front end. A decode runs Open (read the header,
// fill the inherited description), DecodeInto (create the bitmap from the description, then
// DecodePixels) and Close, all inside DecodeFile.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/bitmap.h"
#include "imaging/data_source.h"
#include "imaging/text_exception.h"

class PLPicDecoder : public PLBmpInfo {
  public:
    PLPicDecoder();
    ~PLPicDecoder() override;
    PLPicDecoder(const PLPicDecoder&) = delete;
    PLPicDecoder& operator=(const PLPicDecoder&) = delete;

    // Decodes a picture file into `bmp`; bitsPerPixel 0 keeps the picture's depth. Throws
    // PLTextException on any failure, with the source closed.
    virtual void DecodeFile(const char* fileName, PLBmp& bmp, std::int32_t bitsPerPixel = 0,
                            DecodeProgress* progress = nullptr);
    // The same for a picture held in memory (kept alive by the caller during the call).
    virtual void DecodeMemory(const std::uint8_t* bytes, std::size_t byteCount, PLBmp& bmp,
                              std::int32_t bitsPerPixel = 0);
    // Creates `bmp` from the description (checking the size limit) and decodes into it.
    virtual void DecodeInto(PLBmp& bmp, std::int32_t bitsPerPixel);
    // Releases the data source; decoders that hold library state override it and call this.
    // Safe to call when nothing is open.
    virtual void Close();
    // Reads the header from `source` and sets the description. The source stays owned by
    // whoever attached it.
    virtual void Open(PLDataSource* source) = 0;
    // Decodes the pixels into a bitmap created from the description.
    virtual void DecodePixels(PLBmp& bmp) = 0;

    // Gives this decoder the source to release in Close() (the front end hands it on).
    void AttachSource(std::unique_ptr<PLDataSource> source);
    std::unique_ptr<PLDataSource> DetachSource();
    PLDataSource* GetDataSource() const { return dataSource.get(); }

    // One PackBits row of `rowBytes` bytes from `source` (PSD, PICT). Rows shorter than 8
    // bytes are stored unpacked and returned as read; otherwise `packedLength` bytes are
    // unpacked into `buffer`, which holds at least `rowBytes` bytes. Defined in
    // imaging/unpack_row.cpp.
    static const std::uint8_t* UnpackRow(std::uint8_t* buffer, PLDataSource* source,
                                         std::size_t rowBytes, std::size_t packedLength);

    // Every decoder calls this before it creates a bitmap or a pixel buffer for a picture:
    // sides from 1 to kPLMaxSide and a store of at most kPLMaxPixelStoreBytes (rows padded to
    // 4 bytes), else code 10 "Picture too large." (code 2 "Picture has no pixels." for a
    // side below 1). DecodeInto already checks the description.
    static void CheckPictureSize(std::int32_t pictureWidth, std::int32_t pictureHeight,
                                 std::int32_t pictureBitsPerPixel);

  protected:
    std::unique_ptr<PLDataSource> dataSource;
};
