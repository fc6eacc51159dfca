#pragma once

// Shared by the window tests: one QApplication per process, a sandbox folder that is also
// the current folder (so the settings file is found there), files to list, and cell readers
// that count what they read.

#include <unistd.h>
#include <QApplication>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "explorer/dib_static.h"
#include "imaging/bitmap.h"
#include "platform/text.h"

namespace folv::testing {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "explorer_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* made = new QApplication(argc, argv);
        return made;
    }();
    return *app;
}

// A fresh folder, made the current folder, holding the marker library "FOLVTEST.DLL" that the
// library build's settings search finds; FOLVANE.INI then lives here too.
class Sandbox {
  public:
    Sandbox() {
        static std::atomic<int> serial{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = std::filesystem::temp_directory_path() /
               ("folv-explorer-" + std::to_string(::getpid()) + "-" + std::to_string(stamp) + "-" +
                std::to_string(serial++));
        std::filesystem::create_directories(dir_ / "files");
        std::ofstream(dir_ / "FOLVTEST.DLL") << "marker";
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    ~Sandbox() {
        std::error_code ignored;
        std::filesystem::current_path(old_, ignored);
        std::filesystem::remove_all(dir_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& Dir() const { return dir_; }
    std::filesystem::path Files() const { return dir_ / "files"; }
    std::string FilesFolder() const { return Files().string() + "/"; }
    std::filesystem::path Ini() const { return dir_ / "FOLVANE.INI"; }

    // Files named as given, each `size` bytes.
    void MakeFiles(const std::vector<std::string>& names, std::size_t size = 10) const {
        for (const std::string& name : names) {
            std::ofstream(Files() / name, std::ios::binary) << std::string(size, 'x');
        }
    }
    // Names a01.txt, a02.txt, ... in listing order.
    static std::vector<std::string> Numbered(int count, const std::string& prefix = "a") {
        std::vector<std::string> names;
        for (int i = 1; i <= count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%s%02d.txt", prefix.c_str(), i);
            names.emplace_back(name);
        }
        return names;
    }

    // A settings file of pages (folder, filter) with page `current` carrying Status=1.
    void WriteIni(const std::vector<std::pair<std::string, std::string>>& pages,
                  int current = 0) const {
        std::ofstream out(Ini(), std::ios::binary);
        for (std::size_t i = 0; i < pages.size(); ++i) {
            out << "[Folvane=Page" << i << "]\r\nApplication=\r\nWorkingDir=" << pages[i].first
                << "\r\nExtension=" << pages[i].second
                << "\r\nStatus=" << (static_cast<int>(i) == current ? 1 : 0)
                << "\r\nLayer=Current_layer\r\nColour=\r\n";
        }
    }
    std::string ReadIni() const {
        std::ifstream in(Ini(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::filesystem::path dir_;
    std::filesystem::path old_;
};

// Every file reads as a small picture through the drawing reader; counts the reads.
class CountingReaders final : public CellReaders {
  public:
    bool DwgPreview(std::u16string_view path, CWinBmpEx& bitmap) override {
        ++reads;
        paths.emplace_back(path);
        bitmap.Create(40, 30, 32, false, false);
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x)
                bitmap.SetPixel(x, y, Pixel32::FromRGBA(200, 40, 40));
        }
        return true;
    }
    bool StoragePreview(std::u16string_view, CWinBmpEx&) override { return false; }
    void DecodeFile(const std::string&, CWinBmpEx&) override {}

    int reads = 0;
    std::vector<std::u16string> paths;
};

}  // namespace folv::testing
