// folvthumb: a picture of a file as a preview cell shows it, written as PNG. Serves as the
// desktop's thumbnailer for drawings and the picture files the explorer lists.

#include <png.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/bitmap.h"
#include "imaging/filter.h"
#include "imaging/text_exception.h"
#include "model/dwg_preview.h"
#include "platform/text.h"

namespace {

constexpr char kUsage[] =
    "usage: folvthumb [--size WxH] [--info] [--plugin] INPUT OUTPUT.png\n"
    "  --size WxH  fit the picture into W x H pixels as a preview cell does\n"
    "  --info      print: width height bitsPerPixel hasAlpha isGreyscale resolutionX "
    "resolutionY\n"
    "  --plugin    read drawings as the plug-in build does (one more drawing version)\n";

struct Options {
    std::int32_t fitWidth = 0;
    std::int32_t fitHeight = 0;
    bool info = false;
    bool plugin = false;
    std::string input;
    std::string output;
};

bool ParseSide(std::string_view text, std::int32_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value >= 1 && value <= 16384;
}

bool ParseArguments(int argc, char** argv, Options& options) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--info") {
            options.info = true;
        } else if (arg == "--plugin") {
            options.plugin = true;
        } else if (arg == "--size") {
            if (++i >= argc)
                return false;
            const std::string_view size = argv[i];
            const auto x = size.find_first_of("xX");
            if (x == std::string_view::npos || !ParseSide(size.substr(0, x), options.fitWidth) ||
                !ParseSide(size.substr(x + 1), options.fitHeight))
                return false;
        } else if (arg.size() > 2 && arg.substr(0, 2) == "--") {
            return false;
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.size() != 2)
        return false;
    options.input = files[0];
    options.output = files[1];
    return true;
}

// The readers in the order a preview cell tries them.
void LoadPicture(const Options& options, CWinBmpEx& bitmap) {
    std::error_code error;
    const bool plainFile = std::filesystem::is_regular_file(options.input, error);
    if (plainFile) {
        const std::u16string path = folv::FromUtf8(options.input);
        const auto build = options.plugin ? folv::BuildKind::Plugin : folv::BuildKind::Library;
        if (folv::LoadDwgPreview(path, bitmap, build) || folv::LoadStoragePreview(path, bitmap))
            return;
    }
    PLAnyPicDecoder decoder;
    decoder.DecodeFile(options.input.c_str(), bitmap, 0, nullptr);
}

// The fitting a cell does before it draws: a 32-bit copy, then the resize filter.
void Fit(CWinBmpEx& bitmap, std::int32_t width, std::int32_t height) {
    CWinBmpEx copy;
    copy.Create(bitmap.GetWidth(), bitmap.GetHeight(), 32, false, false);
    copy.CreateCopy(bitmap, 32);
    bitmap.CreateFilteredCopy(copy, PLFilterResizeSharp(width, height));
}

// RGB or RGBA rows of the bitmap, top row first.
std::vector<std::uint8_t> PackRows(const PLBmp& bmp, int channels) {
    const std::int32_t w = bmp.GetWidth();
    const std::int32_t h = bmp.GetHeight();
    const std::int32_t depth = bmp.GetBitsPerPixel();
    const RGBQuad* palette = bmp.GetPaletteEntries();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * channels);
    std::uint8_t* o = out.data();
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = bmp.GetLineArray()[y];
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint8_t b, g, r, a = 255;
            if (depth == 32) {
                b = row[4 * x];
                g = row[4 * x + 1];
                r = row[4 * x + 2];
                a = row[4 * x + 3];
            } else if (depth == 24) {
                b = row[3 * x];
                g = row[3 * x + 1];
                r = row[3 * x + 2];
            } else {
                unsigned index = row[x];
                if (depth == 4)
                    index = (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
                else if (depth == 1)
                    index = (row[x / 8] >> (7 - x % 8)) & 1;
                const RGBQuad& entry = palette[index];
                b = entry.blue;
                g = entry.green;
                r = entry.red;
                a = entry.reserved;
            }
            *o++ = r;
            *o++ = g;
            *o++ = b;
            if (channels == 4)
                *o++ = a;
        }
    }
    return out;
}

bool WritePng(const std::string& path, const PLBmp& bmp, std::string& error) {
    const std::int32_t depth = bmp.GetBitsPerPixel();
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32) {
        error = "cannot write a bitmap of " + std::to_string(depth) + " bits per pixel";
        return false;
    }
    const int channels = bmp.HasAlpha() ? 4 : 3;
    const std::vector<std::uint8_t> pixels = PackRows(bmp, channels);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(bmp.GetWidth());
    image.height = static_cast<png_uint_32>(bmp.GetHeight());
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const auto stride = static_cast<png_int_32>(bmp.GetWidth() * channels);
    if (png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), stride, nullptr) == 0) {
        error = image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

int Run(const Options& options) {
    CWinBmpEx bitmap;
    LoadPicture(options, bitmap);
    if (options.info) {
        const PLPoint dpi = bitmap.GetResolution();
        std::printf("%d %d %d %d %d %d %d\n", bitmap.GetWidth(), bitmap.GetHeight(),
                    bitmap.GetBitsPerPixel(), bitmap.HasAlpha() ? 1 : 0,
                    bitmap.IsGreyscale() ? 1 : 0, dpi.x, dpi.y);
    }
    if (options.fitWidth > 0)
        Fit(bitmap, options.fitWidth, options.fitHeight);
    std::string error;
    if (!WritePng(options.output, bitmap, error)) {
        std::fprintf(stderr, "folvthumb: %s: %s\n", options.output.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    try {
        return Run(options);
    } catch (const PLTextException& e) {
        std::fprintf(stderr, "%d %s\n", e.GetCode(), Trimmed(e.GetMessage()).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "folvthumb: %s\n", e.what());
    } catch (...) {
        std::fputs("folvthumb: unexpected failure\n", stderr);
    }
    return 1;
}
