// Decoding one picture file and fitting it to a grid cell (87 x 65), per format, at the
// sizes users browse: a 12-megapixel photograph, a screen capture, a scan, a web animation
// frame and a small bitmap. The files are written at start-up with the formats' encoders.

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imaging/any_pic_decoder.h"
#include "imaging/bitmap.h"
#include "imaging/filter.h"

namespace {

namespace fs = std::filesystem;

// A photograph-like picture: smooth gradients with a little noise.
std::vector<std::uint8_t> Picture(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t seed = 12345;
    std::size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28) - 8;
            rgb[i++] = static_cast<std::uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
            rgb[i++] = static_cast<std::uint8_t>(std::clamp(y * 255 / height + noise, 0, 255));
            rgb[i++] = static_cast<std::uint8_t>(std::clamp(((x + y) / 7) % 256 + noise, 0, 255));
        }
    }
    return rgb;
}

void WriteJpeg(const fs::path& path, int width, int height) {
    const auto rgb = Picture(width, height);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + cinfo.next_scanline * width * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

void WritePng(const fs::path& path, int width, int height) {
    const auto rgb = Picture(width, height);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
}

void WriteTiff(const fs::path& path, int width, int height) {
    const auto rgb = Picture(width, height);
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr)
        return;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
    for (int y = 0; y < height; ++y) {
        auto* row = const_cast<std::uint8_t*>(rgb.data() + static_cast<std::size_t>(y) * width * 3);
        TIFFWriteScanline(tiff, row, static_cast<std::uint32_t>(y), 0);
    }
    TIFFClose(tiff);
}

void WriteGif(const fs::path& path, int width, int height) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr)
        return;
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                      static_cast<GifByteType>((i * 7) & 0xFF)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(gif, width, height, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    std::vector<GifPixelType> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            row[static_cast<std::size_t>(x)] = static_cast<GifPixelType>((x / 4 + y / 3) & 0xFF);
        EGifPutLine(gif, row.data(), width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
}

void WriteBmp(const fs::path& path, int width, int height) {
    const auto rgb = Picture(width, height);
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    std::vector<std::uint8_t> file(54 + static_cast<std::size_t>(stride) * height, 0);
    const auto put32 = [&file](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rgb.data() + static_cast<std::size_t>(height - 1 - y) * width * 3;
        std::uint8_t* out = file.data() + 54 + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

struct Sample {
    const char* name;
    void (*write)(const fs::path&, int, int);
    int width;
    int height;
};

const Sample kSamples[] = {
    {"photo_4000x3000.jpg", &WriteJpeg, 4000, 3000},
    {"screen_1920x1080.png", &WritePng, 1920, 1080},
    {"scan_2000x1500.tif", &WriteTiff, 2000, 1500},
    {"frame_800x600.gif", &WriteGif, 800, 600},
    {"bitmap_1024x768.bmp", &WriteBmp, 1024, 768},
};

fs::path SampleFolder() {
    static const fs::path folder = [] {
        fs::path dir =
            fs::temp_directory_path() / ("folv-bench-decode-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        for (const Sample& s : kSamples)
            s.write(dir / s.name, s.width, s.height);
        return dir;
    }();
    return folder;
}

// Decode as a cell does, then fit the picture to the cell.
void DecodeAndFit(benchmark::State& state, const char* name, bool fit) {
    const std::string path = (SampleFolder() / name).string();
    PLAnyPicDecoder decoder;
    for (auto _ : state) {
        CWinBmpEx bitmap;
        decoder.DecodeFile(path.c_str(), bitmap, 0, nullptr);
        if (fit) {
            CWinBmpEx copy;
            copy.Create(bitmap.GetWidth(), bitmap.GetHeight(), 32, false, false);
            copy.CreateCopy(bitmap, 32);
            bitmap.CreateFilteredCopy(copy, PLFilterResizeSharp(87, 65));
        }
        benchmark::DoNotOptimize(bitmap.GetLineArray());
    }
}

void RegisterAll() {
    for (const Sample& s : kSamples) {
        benchmark::RegisterBenchmark((std::string("decode/") + s.name).c_str(), &DecodeAndFit,
                                     s.name, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("decode+fit/") + s.name).c_str(), &DecodeAndFit,
                                     s.name, true)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code error;
    fs::remove_all(SampleFolder(), error);
    return 0;
}
