// The browser's two slow steps, in milliseconds: the first screen of a folder (listing, twelve
// cells and the large preview read, fitted and painted) and one ">>". Over folders of
// 12-megapixel JPEG photographs and of drawings with embedded previews.

#include <unistd.h>

#include <cstddef>
#include <cstdio>
// jpeglib needs size_t and FILE declared first.
#include <jpeglib.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "explorer/dialog_profile.h"
#include "explorer/qt_prompts.h"
#include "explorer/thumb_dlg.h"
#include "platform/prompts.h"
#include "tools/fixtures/dib.h"
#include "tools/fixtures/dwg.h"

namespace {

constexpr int kFiles = 24;  // two full screens

QApplication& App() {
    static int argc = 1;
    static char name[] = "bench_browser";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

bool WriteJpeg(const std::filesystem::path& path, int width, int height, int seed) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            row[static_cast<std::size_t>(x) * 3] =
                static_cast<JSAMPLE>((x * 255 / width + seed) & 255);
            row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<JSAMPLE>(y * 255 / height);
            row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<JSAMPLE>(((x ^ y) >> 4) & 255);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
    return true;
}

// A folder of kFiles pictures, made once, with its settings file and the marker library the
// settings search finds in the current folder.
class Folder {
  public:
    enum class Kind { photos, drawings };
    explicit Folder(Kind kind) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "folv-bench-browser-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        dir_ = pattern;
        for (int i = 0; i < kFiles; ++i) {
            char name[32];
            if (kind == Kind::photos) {
                std::snprintf(name, sizeof name, "photo%02d.jpg", i);
                if (!WriteJpeg(dir_ / name, 4000, 3000, i * 9))
                    std::abort();
            } else {
                std::snprintf(name, sizeof name, "plan%02d.dwg", i);
                folv::fixtures::DibImage image;
                image.width = 180;
                image.height = 120;
                image.bitsPerPixel = 8;
                image.palette = folv::fixtures::DrawingPalette(8);
                image.pixels.resize(180 * 120);
                for (std::size_t p = 0; p < image.pixels.size(); ++p) {
                    image.pixels[p] = static_cast<std::uint32_t>((p / 7 + i) % 8);
                }
                folv::fixtures::WriteFileBytes(dir_ / name,
                                               folv::fixtures::DrawingWithPreview("AC1015", image));
            }
        }
        std::ofstream(dir_ / "FOLVBENCH.DLL") << "marker";
        std::ofstream(dir_ / "FOLVANE.INI", std::ios::binary)
            << "[Folvane=Bench]\r\nWorkingDir=" << dir_.string()
            << "/\r\nExtension=" << (kind == Kind::photos ? "*.jpg" : "*.dwg")
            << "\r\nStatus=1\r\n";
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    const std::filesystem::path& Dir() const { return dir_; }

  private:
    std::filesystem::path dir_;
};

Folder& FolderOf(Folder::Kind kind) {
    static Folder photos(Folder::Kind::photos);
    static Folder drawings(Folder::Kind::drawings);
    return kind == Folder::Kind::photos ? photos : drawings;
}

std::unique_ptr<CThumbDlg> Open(folv::Prompts& prompts) {
    auto dialog = std::make_unique<CThumbDlg>(folv::DialogProfile::Library(u"FOLVBENCH"),
                                              std::u16string(), prompts);
    return dialog;
}

void FirstScreen(benchmark::State& state, Folder::Kind kind) {
    App();
    std::filesystem::current_path(FolderOf(kind).Dir());
    folv::ScriptedPrompts prompts;
    for (auto _ : state) {
        auto dialog = Open(prompts);
        dialog->OnInitDialog();
        benchmark::DoNotOptimize(dialog->grab());  // fitting happens at the first paint
        state.PauseTiming();
        dialog.reset();
        state.ResumeTiming();
    }
}

void NextScreen(benchmark::State& state, Folder::Kind kind) {
    App();
    std::filesystem::current_path(FolderOf(kind).Dir());
    folv::ScriptedPrompts prompts;
    for (auto _ : state) {
        state.PauseTiming();
        auto dialog = Open(prompts);
        dialog->OnInitDialog();
        dialog->grab();
        state.ResumeTiming();
        dialog->OnCommand(1019);
        benchmark::DoNotOptimize(dialog->grab());
        state.PauseTiming();
        dialog.reset();
        state.ResumeTiming();
    }
}

BENCHMARK_CAPTURE(FirstScreen, photos_12mp, Folder::Kind::photos)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(NextScreen, photos_12mp, Folder::Kind::photos)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(FirstScreen, drawings, Folder::Kind::drawings)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(NextScreen, drawings, Folder::Kind::drawings)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
