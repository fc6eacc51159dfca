// Writes a small seed corpus for the fuzzers, one folder per format, with the formats' own
// encoders (libjpeg, libpng, libtiff, giflib) and hand-laid bitmap files.
//   fuzz_seeds OUTPUT_FOLDER

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kSide = 12;

void Save(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint8_t Sample(int x, int y, int channel) {
    return static_cast<std::uint8_t>((x * 21 + y * 13 + channel * 70) & 0xFF);
}

void Le(Bytes& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A bitmap file: `headerSize` 12 or 40, the palette written for 8 bits or less.
Bytes Bmp(int bpp, std::uint32_t compression, int headerSize, const Bytes& pixels,
          const std::vector<std::uint32_t>& masks = {}) {
    Bytes info;
    const int entries = bpp <= 8 ? 1 << bpp : 0;
    const int entrySize = headerSize == 12 ? 3 : 4;
    Le(info, static_cast<std::uint32_t>(headerSize), 4);
    if (headerSize == 12) {
        Le(info, kSide, 2);
        Le(info, kSide, 2);
        Le(info, 1, 2);
        Le(info, static_cast<std::uint32_t>(bpp), 2);
    } else {
        Le(info, kSide, 4);
        Le(info, kSide, 4);
        Le(info, 1, 2);
        Le(info, static_cast<std::uint32_t>(bpp), 2);
        Le(info, compression, 4);
        Le(info, static_cast<std::uint32_t>(pixels.size()), 4);
        Le(info, 2835, 4);
        Le(info, 2835, 4);
        Le(info, 0, 4);
        Le(info, 0, 4);
    }
    for (std::uint32_t m : masks)
        Le(info, m, 4);
    for (int i = 0; i < entries; ++i) {
        for (int c = 0; c < entrySize; ++c)
            info.push_back(Sample(i, i, c));
    }
    Bytes file = {'B', 'M'};
    Le(file, static_cast<std::uint32_t>(14 + info.size() + pixels.size()), 4);
    Le(file, 0, 4);
    Le(file, static_cast<std::uint32_t>(14 + info.size()), 4);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

Bytes Rows(int bpp) {
    const int stride = (kSide * bpp + 31) / 32 * 4;
    Bytes rows;
    for (int y = 0; y < kSide; ++y)
        for (int i = 0; i < stride; ++i)
            rows.push_back(Sample(i, y, 0));
    return rows;
}

void WriteBmps(const fs::path& dir) {
    Save(dir / "1bit.bmp", Bmp(1, 0, 40, Rows(1)));
    Save(dir / "4bit.bmp", Bmp(4, 0, 40, Rows(4)));
    Save(dir / "8bit.bmp", Bmp(8, 0, 40, Rows(8)));
    Save(dir / "os2.bmp", Bmp(8, 0, 12, Rows(8)));
    Save(dir / "24bit.bmp", Bmp(24, 0, 40, Rows(24)));
    Save(dir / "32bit.bmp", Bmp(32, 0, 40, Rows(32)));
    Save(dir / "565.bmp", Bmp(16, 3, 40, Rows(16), {0xF800, 0x07E0, 0x001F}));
    Bytes rle8, rle4;
    for (int y = 0; y < kSide; ++y) {
        for (std::uint8_t b : Bytes{0x04, static_cast<std::uint8_t>(y), 0x00, 0x04, 1, 2, 3, 4,
                                    0x04, 0x21, 0x00, 0x00})
            rle8.push_back(b);
        for (std::uint8_t b : {0x05, 0x12, 0x00, 0x03, 0x45, 0x60, 0x04, 0x77, 0x00, 0x00})
            rle4.push_back(b);
    }
    rle8.insert(rle8.end(), {0x00, 0x01});
    rle4.insert(rle4.end(), {0x00, 0x01});
    Save(dir / "rle8.bmp", Bmp(8, 1, 40, rle8));
    Save(dir / "rle4.bmp", Bmp(4, 2, 40, rle4));
}

Bytes Jpeg(int components, bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kSide;
    cinfo.image_height = kSide;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 75, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.density_unit = 1;
    cinfo.X_density = 72;
    cinfo.Y_density = 72;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(kSide * components));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < kSide; ++x)
            for (int c = 0; c < components; ++c)
                row[static_cast<std::size_t>(x * components + c)] =
                    Sample(x, static_cast<int>(cinfo.next_scanline), c);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

void WriteJpegs(const fs::path& dir) {
    Save(dir / "colour.jpg", Jpeg(3, false));
    Save(dir / "progressive.jpg", Jpeg(3, true));
    Save(dir / "grey.jpg", Jpeg(1, false));
    Save(dir / "cmyk.jpg", Jpeg(4, false));
}

Bytes Png(png_uint_32 format, bool colormap) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kSide;
    image.height = kSide;
    image.format = format;
    const std::size_t channels = PNG_IMAGE_PIXEL_CHANNELS(format);
    Bytes pixels(kSide * kSide * channels);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = colormap ? static_cast<std::uint8_t>(i % 7) : Sample(static_cast<int>(i), 3, 0);
    Bytes map;
    if (colormap) {
        image.colormap_entries = 7;
        for (int i = 0; i < 7 * 3; ++i)
            map.push_back(Sample(i, 1, 2));
    }
    std::size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0,
                              colormap ? map.data() : nullptr);
    Bytes bytes(size);
    if (png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0,
                                  colormap ? map.data() : nullptr) == 0)
        return {};
    bytes.resize(size);
    return bytes;
}

void WritePngs(const fs::path& dir) {
    Save(dir / "rgb.png", Png(PNG_FORMAT_RGB, false));
    Save(dir / "rgba.png", Png(PNG_FORMAT_RGBA, false));
    Save(dir / "grey.png", Png(PNG_FORMAT_GRAY, false));
    Save(dir / "greyalpha.png", Png(PNG_FORMAT_GA, false));
    Save(dir / "grey16.png", Png(PNG_FORMAT_LINEAR_Y, false));
    Save(dir / "palette.png", Png(PNG_FORMAT_RGB_COLORMAP, true));
}

void Tiff(const fs::path& path, int samples, int bits, int photometric, int compression,
          bool tiled) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr)
        return;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kSide);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kSide);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (samples == 4) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    std::vector<std::uint16_t> map;
    if (photometric == PHOTOMETRIC_PALETTE) {
        map.resize(3u << bits);
        for (std::size_t i = 0; i < map.size(); ++i)
            map[i] = static_cast<std::uint16_t>(i * 4099);
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + (1u << bits),
                     map.data() + (2u << bits));
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(kSide) * samples * bits + 7) / 8;
    if (tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
        Bytes tile(static_cast<std::size_t>(TIFFTileSize(tiff)));
        for (std::size_t i = 0; i < tile.size(); ++i)
            tile[i] = Sample(static_cast<int>(i), 5, 1);
        TIFFWriteTile(tiff, tile.data(), 0, 0, 0, 0);
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 4);
        Bytes row(rowBytes);
        for (int y = 0; y < kSide; ++y) {
            for (std::size_t i = 0; i < rowBytes; ++i)
                row[i] = Sample(static_cast<int>(i), y, 2);
            TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0);
        }
    }
    TIFFClose(tiff);
}

void WriteTiffs(const fs::path& dir) {
    Tiff(dir / "rgb_lzw.tif", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, false);
    Tiff(dir / "rgba.tif", 4, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, false);
    Tiff(dir / "rgb16_deflate.tif", 3, 16, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, false);
    Tiff(dir / "tiled.tif", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS, true);
    Tiff(dir / "grey.tif", 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, false);
    Tiff(dir / "grey4.tif", 1, 4, PHOTOMETRIC_MINISWHITE, COMPRESSION_LZW, false);
    Tiff(dir / "greyalpha.tif", 2, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, false);
    Tiff(dir / "palette.tif", 1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS, false);
    Tiff(dir / "bilevel.tif", 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, false);
}

void Gif(const fs::path& path, bool interlaced, bool transparent) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr)
        return;
    GifColorType colours[8];
    for (int i = 0; i < 8; ++i)
        colours[i] = {Sample(i, 0, 0), Sample(i, 0, 1), Sample(i, 0, 2)};
    ColorMapObject* map = GifMakeMapObject(8, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, kSide, kSide, 3, 0, map);
    if (transparent) {
        const GifByteType control[4] = {0x01, 0, 0, 5};
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
    }
    EGifPutImageDesc(gif, 1, 2, kSide - 2, kSide - 3, interlaced, nullptr);
    GifPixelType row[kSide];
    for (int y = 0; y < kSide - 3; ++y) {
        for (int x = 0; x < kSide - 2; ++x)
            row[x] = static_cast<GifPixelType>((x + y) % 8);
        EGifPutLine(gif, row, kSide - 2);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
}

void WriteGifs(const fs::path& dir) {
    Gif(dir / "plain.gif", false, false);
    Gif(dir / "interlaced.gif", true, false);
    Gif(dir / "transparent.gif", false, true);
}

// ---- TGA, PGM, PPM, PCX, PSD and PICT: hand-laid files.

void Be(Bytes& b, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes Tga(int imageType, int depth, bool colourMap, bool topFirst) {
    Bytes b = {0, static_cast<std::uint8_t>(colourMap ? 1 : 0),
               static_cast<std::uint8_t>(imageType)};
    Le(b, 0, 2);
    Le(b, colourMap ? 16 : 0, 2);
    b.push_back(colourMap ? 24 : 0);
    Le(b, 0, 4);
    Le(b, kSide, 2);
    Le(b, kSide, 2);
    b.push_back(static_cast<std::uint8_t>(depth));
    b.push_back(static_cast<std::uint8_t>((topFirst ? 0x20 : 0) | (depth == 32 ? 8 : 0)));
    for (int i = 0; colourMap && i < 16; ++i)
        b.insert(b.end(), {Sample(i, 0, 0), Sample(i, 0, 1), Sample(i, 0, 2)});
    const int bytesPerPixel = (depth + 7) / 8;
    for (int y = 0; y < kSide; ++y) {
        if (imageType >= 9) {
            // A run of half the row, then the rest as raw values.
            b.push_back(static_cast<std::uint8_t>(0x80 | (kSide / 2 - 1)));
            for (int c = 0; c < bytesPerPixel; ++c)
                b.push_back(Sample(0, y, c) & (colourMap ? 15 : 0xFF));
            b.push_back(static_cast<std::uint8_t>(kSide / 2 - 1));
        }
        for (int x = imageType >= 9 ? kSide / 2 : 0; x < kSide; ++x) {
            for (int c = 0; c < bytesPerPixel; ++c)
                b.push_back(Sample(x, y, c) & (colourMap ? 15 : 0xFF));
        }
    }
    return b;
}

void WriteTgas(const fs::path& dir) {
    Save(dir / "truecolour.tga", Tga(2, 24, false, false));
    Save(dir / "alpha_rle.tga", Tga(10, 32, false, true));
    Save(dir / "16bit.tga", Tga(2, 16, false, false));
    Save(dir / "mapped_rle.tga", Tga(9, 8, true, false));
    Save(dir / "grey.tga", Tga(3, 8, false, true));
}

Bytes Pnm(char kind, int maxval, int samples) {
    const std::string header = std::string("P") + kind + "\n# seed\n" + std::to_string(kSide) +
                               " " + std::to_string(kSide) + "\n" + std::to_string(maxval) + "\n";
    Bytes b(header.begin(), header.end());
    const bool text = kind == '2' || kind == '3';
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            for (int c = 0; c < samples; ++c) {
                const int v = Sample(x, y, c) * maxval / 255;
                if (text) {
                    const std::string number = std::to_string(v) + " ";
                    b.insert(b.end(), number.begin(), number.end());
                } else if (maxval > 255) {
                    Be(b, static_cast<std::uint32_t>(v), 2);
                } else {
                    b.push_back(static_cast<std::uint8_t>(v));
                }
            }
        }
    }
    return b;
}

void WritePgms(const fs::path& dir) {
    Save(dir / "binary.pgm", Pnm('5', 255, 1));
    Save(dir / "text.pgm", Pnm('2', 15, 1));
    Save(dir / "wide.pgm", Pnm('5', 1000, 1));
}

void WritePpms(const fs::path& dir) {
    Save(dir / "binary.ppm", Pnm('6', 255, 3));
    Save(dir / "text.ppm", Pnm('3', 255, 3));
    Save(dir / "maxval100.ppm", Pnm('6', 100, 3));
}

// Run-length encodes one PCX line.
void PcxLine(Bytes& b, const Bytes& line) {
    for (std::size_t i = 0; i < line.size();) {
        std::size_t run = 1;
        while (i + run < line.size() && line[i + run] == line[i] && run < 63)
            ++run;
        if (run > 1 || (line[i] & 0xC0) == 0xC0)
            b.push_back(static_cast<std::uint8_t>(0xC0 | run));
        b.push_back(line[i]);
        i += run;
    }
}

Bytes Pcx(int bits, int planes) {
    Bytes b(128, 0);
    b[0] = 0x0A;
    b[1] = 5;
    b[2] = 1;
    b[3] = static_cast<std::uint8_t>(bits);
    b[8] = kSide - 1;
    b[10] = kSide - 1;
    for (int i = 0; i < 48; ++i)
        b[16 + i] = Sample(i, 1, 0);
    b[65] = static_cast<std::uint8_t>(planes);
    const int bytesPerLine = (kSide * bits + 15) / 16 * 2;
    b[66] = static_cast<std::uint8_t>(bytesPerLine);
    for (int y = 0; y < kSide; ++y) {
        for (int p = 0; p < planes; ++p) {
            Bytes line(static_cast<std::size_t>(bytesPerLine));
            for (int i = 0; i < bytesPerLine; ++i)
                line[i] = (i < kSide / 2) ? 0x11 : Sample(i, y, p);
            PcxLine(b, line);
        }
    }
    if (bits == 8 && planes == 1) {
        b.push_back(0x0C);
        for (int i = 0; i < 768; ++i)
            b.push_back(Sample(i, 2, 0));
    }
    return b;
}

void WritePcxs(const fs::path& dir) {
    Save(dir / "24bit.pcx", Pcx(8, 3));
    Save(dir / "256.pcx", Pcx(8, 1));
    Save(dir / "16planes.pcx", Pcx(1, 4));
    Save(dir / "16packed.pcx", Pcx(4, 1));
    Save(dir / "mono.pcx", Pcx(1, 1));
}

Bytes Psd(int mode, int channels, bool packed) {
    Bytes b = {'8', 'B', 'P', 'S'};
    Be(b, 1, 2);
    b.insert(b.end(), 6, 0);
    Be(b, static_cast<std::uint32_t>(channels), 2);
    Be(b, kSide, 4);
    Be(b, kSide, 4);
    Be(b, 8, 2);
    Be(b, static_cast<std::uint32_t>(mode), 2);
    Be(b, mode == 2 ? 768 : 0, 4);
    for (int i = 0; mode == 2 && i < 768; ++i)
        b.push_back(Sample(i, 3, 0));
    // One resolution resource.
    Be(b, 28, 4);
    b.insert(b.end(), {'8', 'B', 'I', 'M'});
    Be(b, 1005, 2);
    Be(b, 0, 2);
    Be(b, 16, 4);
    for (std::uint32_t v : {72u << 16, 0x00010001u, 72u << 16, 0x00010001u})
        Be(b, v, 4);
    Be(b, 0, 4);  // no layers
    Be(b, packed ? 1 : 0, 2);
    if (packed) {
        for (int i = 0; i < channels * kSide; ++i)
            Be(b, 2 + kSide / 2 + 1, 2);
    }
    for (int c = 0; c < channels; ++c) {
        for (int y = 0; y < kSide; ++y) {
            if (packed) {
                b.push_back(static_cast<std::uint8_t>(257 - kSide / 2));
                b.push_back(Sample(0, y, c));
                b.push_back(kSide / 2 - 1);
            }
            for (int x = packed ? kSide / 2 : 0; x < kSide; ++x)
                b.push_back(Sample(x, y, c));
        }
    }
    return b;
}

void WritePsds(const fs::path& dir) {
    Save(dir / "rgb_rle.psd", Psd(3, 3, true));
    Save(dir / "rgba_raw.psd", Psd(3, 4, false));
    Save(dir / "grey_rle.psd", Psd(1, 2, true));
    Save(dir / "indexed.psd", Psd(2, 1, false));
}

// A version 2 PICT with a header, a clip region and one pixel operation.
Bytes PictStart() {
    Bytes b(512, 0);
    Be(b, 0, 2);
    for (int v : {0, 0, kSide, kSide})
        Be(b, static_cast<std::uint32_t>(v), 2);
    b.insert(b.end(), {0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00});
    Be(b, 0xFFFE, 2);
    b.insert(b.end(), 22, 0);
    Be(b, 0x0001, 2);
    Be(b, 10, 2);
    for (int v : {0, 0, kSide, kSide})
        Be(b, static_cast<std::uint32_t>(v), 2);
    return b;
}

void PictPixMap(Bytes& b, int rowBytes, int pixelSize, int cmpCount) {
    Be(b, 0x8000u | static_cast<std::uint32_t>(rowBytes), 2);
    for (int v : {0, 0, kSide, kSide})
        Be(b, static_cast<std::uint32_t>(v), 2);
    Be(b, 0, 2);
    Be(b, pixelSize == 32 ? 4 : 0, 2);
    Be(b, 0, 4);
    Be(b, 72u << 16, 4);
    Be(b, 72u << 16, 4);
    Be(b, pixelSize > 8 ? 16 : 0, 2);
    Be(b, static_cast<std::uint32_t>(pixelSize), 2);
    Be(b, static_cast<std::uint32_t>(cmpCount), 2);
    Be(b, pixelSize > 8 ? 8 : static_cast<std::uint32_t>(pixelSize), 2);
    b.insert(b.end(), 12, 0);
}

void PictRects(Bytes& b) {
    for (int i = 0; i < 2; ++i) {
        for (int v : {0, 0, kSide, kSide})
            Be(b, static_cast<std::uint32_t>(v), 2);
    }
    Be(b, 0, 2);
}

Bytes PictIndexed(int pixelSize) {
    Bytes b = PictStart();
    Be(b, 0x0098, 2);
    const int rowBytes = (kSide * pixelSize + 7) / 8;
    PictPixMap(b, rowBytes, pixelSize, 1);
    Be(b, 0, 4);
    Be(b, 0, 2);
    Be(b, 15, 2);
    for (int i = 0; i < 16; ++i) {
        Be(b, static_cast<std::uint32_t>(i), 2);
        for (int c = 0; c < 3; ++c)
            Be(b, Sample(i, 4, c) * 257u, 2);
    }
    PictRects(b);
    for (int y = 0; y < kSide; ++y) {
        if (rowBytes >= 8) {
            b.push_back(static_cast<std::uint8_t>(rowBytes + 1));
            b.push_back(static_cast<std::uint8_t>(rowBytes - 1));
        }
        for (int i = 0; i < rowBytes; ++i)
            b.push_back(Sample(i, y, 0) & (pixelSize == 8 ? 15 : 0xFF));
    }
    if (b.size() % 2)
        b.push_back(0);
    Be(b, 0x00FF, 2);
    return b;
}

Bytes PictDirect(int pixelSize, int cmpCount) {
    Bytes b = PictStart();
    Be(b, 0x009A, 2);
    Be(b, 0xFF, 4);
    const int rowBytes = kSide * pixelSize / 8;
    PictPixMap(b, rowBytes, pixelSize, cmpCount);
    PictRects(b);
    const int unit = pixelSize == 16 ? 2 : 1;
    const int units = pixelSize == 16 ? kSide : kSide * cmpCount;
    for (int y = 0; y < kSide; ++y) {
        // A run of two units, then the rest as literals.
        Bytes row = {0xFF};
        for (int i = 0; i < unit; ++i)
            row.push_back(Sample(0, y, i));
        row.push_back(static_cast<std::uint8_t>(units - 3));
        for (int i = 0; i < (units - 2) * unit; ++i)
            row.push_back(Sample(i, y, 1));
        b.push_back(static_cast<std::uint8_t>(row.size()));
        b.insert(b.end(), row.begin(), row.end());
    }
    if (b.size() % 2)
        b.push_back(0);
    Be(b, 0x00FF, 2);
    return b;
}

void WritePicts(const fs::path& dir) {
    Save(dir / "indexed8.pict", PictIndexed(8));
    Save(dir / "indexed4.pict", PictIndexed(4));
    Save(dir / "indexed1.pict", PictIndexed(1));
    Save(dir / "direct32.pict", PictDirect(32, 3));
    Save(dir / "direct32alpha.pict", PictDirect(32, 4));
    Save(dir / "direct16.pict", PictDirect(16, 3));
}

Bytes WmfRecord(std::uint16_t function, const std::vector<std::uint16_t>& params) {
    Bytes b;
    Le(b, static_cast<std::uint32_t>(3 + params.size()), 4);
    Le(b, function, 2);
    for (std::uint16_t p : params)
        Le(b, p, 2);
    return b;
}

Bytes Wmf(bool placeable) {
    Bytes body;
    for (const Bytes& r :
         {WmfRecord(0x020B, {0, 0}), WmfRecord(0x020C, {720, 1440}),
          WmfRecord(0x02FC, {0, 0x00FF, 0, 0}), WmfRecord(0x012D, {0}),
          WmfRecord(0x041B, {720, 720, 0, 0}), WmfRecord(0x0324, {3, 800, 0, 1400, 0, 1100, 700}),
          WmfRecord(0x0418, {700, 1400, 100, 900}), WmfRecord(0x0521, {2, 0x6948, 600, 800}),
          WmfRecord(0, {})})
        body.insert(body.end(), r.begin(), r.end());
    Bytes b;
    if (placeable) {
        Le(b, 0x9AC6CDD7, 4);
        for (std::uint32_t v : {0u, 0u, 0u, 1440u, 720u, 1440u, 0u, 0u})
            Le(b, v, 2);
        std::uint16_t checksum = 0;
        for (std::size_t i = 0; i < 20; i += 2)
            checksum ^= static_cast<std::uint16_t>(b[i] | b[i + 1] << 8);
        Le(b, checksum, 2);
    }
    for (std::uint32_t v : {1u, 9u, 0x300u})
        Le(b, v, 2);
    Le(b, static_cast<std::uint32_t>(9 + body.size() / 2), 4);
    Le(b, 1, 2);
    Le(b, 8, 4);
    Le(b, 0, 2);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

void WriteWmfs(const fs::path& dir) {
    Save(dir / "placeable.wmf", Wmf(true));
    Save(dir / "plain.wmf", Wmf(false));
}

Bytes Emf() {
    Bytes records;
    for (const std::vector<std::uint32_t>& r :
         {std::vector<std::uint32_t>{39, 24, 1, 0, 0x000000FF, 0},
          std::vector<std::uint32_t>{37, 12, 1}, std::vector<std::uint32_t>{43, 24, 0, 0, 48, 40},
          std::vector<std::uint32_t>{42, 24, 50, 0, 90, 40},
          std::vector<std::uint32_t>{14, 20, 0, 16, 20}})
        for (std::uint32_t w : r)
            Le(records, w, 4);
    Bytes b;
    for (std::uint32_t v : {1u, 88u, 0u, 0u, 96u, 48u, 0u, 0u, 2540u, 1270u, 0x464D4520u, 0x10000u})
        Le(b, v, 4);
    Le(b, static_cast<std::uint32_t>(88 + records.size()), 4);
    Le(b, 6, 4);
    Le(b, 2, 4);
    for (std::uint32_t v : {0u, 0u, 0u, 1920u, 1080u, 508u, 286u})
        Le(b, v, 4);
    b.insert(b.end(), records.begin(), records.end());
    return b;
}

void WriteEmfs(const fs::path& dir) {
    Save(dir / "shapes.emf", Emf());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: fuzz_seeds OUTPUT_FOLDER\n", stderr);
        return 1;
    }
    const fs::path out = argv[1];
    struct Format {
        const char* name;
        void (*write)(const fs::path&);
    };
    for (const Format& f :
         {Format{"bmp", &WriteBmps}, Format{"jpeg", &WriteJpegs}, Format{"png", &WritePngs},
          Format{"tiff", &WriteTiffs}, Format{"gif", &WriteGifs}, Format{"tga", &WriteTgas},
          Format{"pgm", &WritePgms}, Format{"ppm", &WritePpms}, Format{"pcx", &WritePcxs},
          Format{"psd", &WritePsds}, Format{"pict", &WritePicts}, Format{"wmf", &WriteWmfs},
          Format{"emf", &WriteEmfs}}) {
        fs::create_directories(out / f.name);
        f.write(out / f.name);
    }
    return 0;
}
