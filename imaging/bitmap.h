#pragma once

// The bitmap model every picture lives in. Pixel work only: nothing here touches a window
// system. Whoever draws a bitmap reads its rows through GetLineArray() (row 0 is the top row
// for every kind of bitmap) with GetBytesPerLine() bytes each, and its colour table through
// GetPaletteEntries().

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "pixel and header layouts assume a little-endian machine");

// Root of the image library's classes.
class PLObject {
  public:
    PLObject() = default;
    PLObject(const PLObject&) = default;
    PLObject& operator=(const PLObject&) = default;
    virtual ~PLObject();
    virtual void Validate() const {}
};

// 32-bit pixel: blue in the low byte, then green, red and alpha; its memory layout is the
// four bytes of a 32-bit row.
struct Pixel32 {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t alpha = 0;

    static constexpr Pixel32 FromRGBA(std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                      std::uint8_t a = 255) {
        return Pixel32{b, g, r, a};
    }
    static constexpr Pixel32 FromValue(std::uint32_t v) {
        return Pixel32{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    }
    constexpr std::uint32_t Value() const {
        return std::uint32_t{blue} | std::uint32_t{green} << 8 | std::uint32_t{red} << 16 |
               std::uint32_t{alpha} << 24;
    }
    friend constexpr bool operator==(const Pixel32&, const Pixel32&) = default;
};
static_assert(sizeof(Pixel32) == 4);

// One colour-table entry, as stored in a Windows bitmap: blue, green, red, reserved.
struct RGBQuad {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
    friend constexpr bool operator==(const RGBQuad&, const RGBQuad&) = default;
};
static_assert(sizeof(RGBQuad) == 4);

// The 40-byte information header of a device-independent bitmap (little-endian fields).
struct BitmapInfoHeader {
    std::uint32_t size;  // always 40
    std::int32_t width;
    std::int32_t height;  // positive: rows stored bottom-up
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::uint32_t sizeImage;
    std::int32_t xPelsPerMeter;
    std::int32_t yPelsPerMeter;
    std::uint32_t clrUsed;
    std::uint32_t clrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct PLPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend constexpr bool operator==(const PLPoint&, const PLPoint&) = default;
};

// Largest pixel store a bitmap is allowed (bytes), and largest side (pixels). Anything bigger
// is refused with code 10 before any allocation is attempted.
inline constexpr std::size_t kPLMaxPixelStoreBytes = std::size_t{512} * 1024 * 1024;
inline constexpr std::int32_t kPLMaxSide = 65535;

// True when a picture of this size and depth stays within the limits above, with rows padded
// to 4 bytes (the larger of the two row layouts). Never overflows.
bool PLPixelStoreFits(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel);

class PLBmpInfo : public PLObject {
  public:
    PLBmpInfo() = default;
    PLBmpInfo(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
              PLPoint resolution, bool hasAlpha, bool isGreyscale);

    std::int32_t GetWidth() const { return width; }
    std::int32_t GetHeight() const { return height; }
    std::int32_t GetBitsPerPixel() const { return bitsPerPixel; }
    PLPoint GetResolution() const { return resolution; }
    bool HasAlpha() const { return hasAlpha; }
    bool IsGreyscale() const { return isGreyscale; }

    void SetBmpInfo(std::int32_t newWidth, std::int32_t newHeight, std::int32_t newBitsPerPixel,
                    PLPoint newResolution, bool newHasAlpha, bool newIsGreyscale);
    void SetBmpInfo(const PLBmpInfo& info);
    const PLBmpInfo& GetBmpInfo() const { return *this; }

  protected:
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 0;
    PLPoint resolution;
    bool hasAlpha = false;
    bool isGreyscale = false;
};

class PLFilter;

// Abstract bitmap: a colour table and row pointers, row 0 the top row.
class PLBmp : public PLBmpInfo {
  public:
    PLBmp();
    ~PLBmp() override;
    PLBmp(const PLBmp&) = delete;
    PLBmp& operator=(const PLBmp&) = delete;

    // Replace the store: depth 1, 4, 8, 16, 24 or 32. Throws PLTextException code 10
    // ("Out of memory creating bitmap.") when the store cannot be made; the old store is
    // gone by then.
    virtual void Create(const PLBmpInfo& info);
    virtual void Create(std::int32_t newWidth, std::int32_t newHeight, std::int32_t newBitsPerPixel,
                        bool newHasAlpha, bool newIsGreyscale, PLPoint newResolution = {});
    virtual std::size_t GetMemUsed() const = 0;
    virtual std::size_t GetBytesPerLine() const = 0;
    // The lock count only counts; see PLBmpLock.
    virtual void Lock(bool readable, bool writable);
    virtual void Unlock();

    std::uint8_t* const* GetLineArray() { return lineArray.data(); }
    const std::uint8_t* const* GetLineArray() const { return lineArray.data(); }
    std::int32_t GetLockCount() const { return lockCount; }

    // Colour table: 2^bitsPerPixel entries for depths up to 8, none (nullptr, 0) otherwise.
    RGBQuad* GetPaletteEntries() { return palette; }
    const RGBQuad* GetPaletteEntries() const { return palette; }
    std::size_t GetPaletteSize() const;
    // Copies the whole colour table (GetPaletteSize() entries) from `entries`.
    void SetPaletteEntries(const RGBQuad* entries);
    // Copies as many entries as both sides have; the rest of the table is kept.
    void SetPaletteEntries(std::span<const RGBQuad> entries);
    void SetGreyRamp();

    // 32-bit bitmaps only; column and row must lie inside the picture.
    Pixel32 GetPixel(std::int32_t column, std::int32_t row) const;
    void SetPixel(std::int32_t column, std::int32_t row, Pixel32 value);

    // The colour of any pixel at any depth: the palette entry (its reserved byte as alpha)
    // for 8 bits or less, 5-5-5 with alpha 255 for 16 bits, alpha 255 for 24 bits.
    Pixel32 GetPixelColour(std::int32_t column, std::int32_t row) const;

    // Makes this bitmap a copy of `source` at `newBitsPerPixel` (0: the source's depth).
    void CreateCopy(const PLBmp& source, std::int32_t newBitsPerPixel = 0);
    // This bitmap becomes filter's output for `source` (which may be this bitmap).
    void CreateFilteredCopy(const PLBmp& source, const PLFilter& filter);

    std::int32_t quantizeSetting1 = 0;
    std::int32_t quantizeSetting2 = 2;

  protected:
    virtual void CreatePixelStore(std::int32_t newWidth, std::int32_t newHeight,
                                  std::int32_t newBitsPerPixel, bool newHasAlpha,
                                  bool newIsGreyscale) = 0;
    virtual void FreePixelStore() = 0;
    virtual void InitLineArray() = 0;

    // Shared tail of CreatePixelStore: record the description, build rows, grey ramp.
    void FinishPixelStore(std::int32_t newWidth, std::int32_t newHeight,
                          std::int32_t newBitsPerPixel, bool newHasAlpha, bool newIsGreyscale);
    // Throws code 10 when the depth is not one of ours or the size is over the limit.
    static void CheckStoreRequest(std::int32_t newWidth, std::int32_t newHeight,
                                  std::int32_t newBitsPerPixel);
    [[noreturn]] static void ThrowOutOfMemory();

    RGBQuad* palette = nullptr;  // points into the subclass's storage
    std::vector<std::uint8_t*> lineArray;
    std::int32_t lockCount = 0;
};

// Scoped Lock/Unlock, so that a failing decode still unlocks.
class PLBmpLock {
  public:
    PLBmpLock(PLBmp& bmp, bool readable, bool writable) : bmp_(bmp) {
        bmp_.Lock(readable, writable);
    }
    ~PLBmpLock() { bmp_.Unlock(); }
    PLBmpLock(const PLBmpLock&) = delete;
    PLBmpLock& operator=(const PLBmpLock&) = delete;

  private:
    PLBmp& bmp_;
};

// A device-independent bitmap: header, colour table and pixels in one block, rows bottom-up
// in memory and padded to 4 bytes. A new one is 16 x 16, 8 bits, grey ramp.
class PLWinBmp : public PLBmp {
  public:
    PLWinBmp();
    ~PLWinBmp() override;

    std::size_t GetMemUsed() const override;
    std::size_t GetBytesPerLine() const override;

    // The header in front of the colour table; writable (the preview reader stores the
    // compression and image size of a preview here).
    BitmapInfoHeader* GetBitmapInfo() { return bitmapInfo; }
    const BitmapInfoHeader* GetBitmapInfo() const { return bitmapInfo; }
    // First byte of the pixel array (the bottom row), GetBitsSize() bytes long.
    std::uint8_t* GetBits() { return bits; }
    const std::uint8_t* GetBits() const { return bits; }
    std::size_t GetBitsSize() const;

    // Replaces the store with a copy of a packed DIB (header, colour table, pixels), checking
    // every length against `dib`. Code 2 for a damaged one, 10 when too big.
    virtual void CreateFromPackedDib(std::span<const std::uint8_t> dib);
    // Header, colour table and pixels as one packed DIB.
    virtual std::vector<std::uint8_t> CopyToGlobalMemory() const;

  protected:
    void CreatePixelStore(std::int32_t newWidth, std::int32_t newHeight,
                          std::int32_t newBitsPerPixel, bool newHasAlpha,
                          bool newIsGreyscale) override;
    void FreePixelStore() override;
    void InitLineArray() override;
    virtual void InitPointers();

    // Header block: 40-byte header, the colour table and (PLWinBmp itself) the pixels.
    std::unique_ptr<std::uint8_t[]> headerBlock;
    std::size_t headerBlockSize = 0;
    BitmapInfoHeader* bitmapInfo = nullptr;
    std::uint8_t* bits = nullptr;

    // Allocates and fills the header block with `pixelBytes` extra bytes (zeroed).
    void AllocHeaderBlock(std::int32_t newWidth, std::int32_t newHeight,
                          std::int32_t newBitsPerPixel, std::size_t pixelBytes);
};

// The same with its pixels in a separate zero-filled block (the "section"). A new one is a
// 16 x 16 8-bit grey-ramp bitmap with all pixels zero.
class PLDIBSection : public PLWinBmp {
  public:
    PLDIBSection();
    ~PLDIBSection() override;

    void CreateFromPackedDib(std::span<const std::uint8_t> dib) override;
    std::vector<std::uint8_t> CopyToGlobalMemory() const override;
    // Hands the pixel block to the caller and makes a fresh 16 x 16 8-bit store.
    virtual std::unique_ptr<std::uint8_t[]> ReleaseSection();

  protected:
    void CreatePixelStore(std::int32_t newWidth, std::int32_t newHeight,
                          std::int32_t newBitsPerPixel, bool newHasAlpha,
                          bool newIsGreyscale) override;
    void FreePixelStore() override;
    void InitPointers() override;

    std::unique_ptr<std::uint8_t[]> section;
};

// A palette for drawing on palette devices: the colour table, or a fixed colour cube for
// bitmaps without one. Nothing realises it on this system; it is kept for the cell's logic.
struct PLLogicalPalette {
    std::vector<RGBQuad> entries;
};

// The bitmap the explorer uses. Drawing is done by the window side, which reads the pixels
// through GetLineArray() (top row first) and, when GetBitmapInfo()->compression is not zero,
// the raw bytes of GetBits() as the header describes them.
class CWinBmpEx : public PLDIBSection {
  public:
    CWinBmpEx();
    ~CWinBmpEx() override;

    // The cached logical palette; built on first request.
    const PLLogicalPalette* GetPalette();
    // Drops the cached palette and builds a new one from the colour table.
    void ResetPalette();
    // 2^24 for 32 bits, 2^bitsPerPixel otherwise.
    std::size_t GetColourCount() const;

  private:
    std::unique_ptr<PLLogicalPalette> CreatePaletteFromTable() const;
    std::unique_ptr<PLLogicalPalette> logicalPalette;
};

// Plain in-memory bitmap, rows top-down and unpadded; the library's temporary.
class PLAnyBmp : public PLBmp {
  public:
    PLAnyBmp();
    ~PLAnyBmp() override;

    std::size_t GetMemUsed() const override;
    std::size_t GetBytesPerLine() const override;
    std::uint8_t* GetPixels() { return pixels.get(); }

  protected:
    void CreatePixelStore(std::int32_t newWidth, std::int32_t newHeight,
                          std::int32_t newBitsPerPixel, bool newHasAlpha,
                          bool newIsGreyscale) override;
    void FreePixelStore() override;
    void InitLineArray() override;

  private:
    std::unique_ptr<std::uint8_t[]> pixels;
    std::unique_ptr<RGBQuad[]> paletteStore;
};
