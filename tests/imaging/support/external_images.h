#pragma once

// Pictures written by other programs (ImageMagick, netpbm, libtiff's tools) at test time,
// and the netpbm reader that turns their reference output into samples to compare with.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace folv::testing {

// A picture read from a binary PGM, PPM or PAM file; samples row by row, top row first.
struct RefImage {
    int width = 0;
    int height = 0;
    int channels = 0;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    int maxval = 0;
    std::vector<std::uint16_t> samples;

    std::uint16_t At(int x, int y, int channel) const {
        return samples[(static_cast<std::size_t>(y) * width + x) * channels + channel];
    }
    // The sample scaled to 0..255, whatever the file's maxval.
    std::uint8_t At8(int x, int y, int channel) const;
};

// True when `name` is an executable file in one of the folders of PATH.
bool HaveProgram(std::string_view name);

// Runs a shell command with its output discarded; true when it exited with status 0.
bool RunTool(const std::string& command);

// `text` in single quotes for the shell.
std::string Quote(const std::filesystem::path& path);

// Reads P5, P6 and P7 files; throws std::runtime_error on anything else.
RefImage ReadNetpbm(const std::filesystem::path& path);

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

struct WrittenPicture {
    std::vector<std::uint8_t> bytes;
    RefImage reference;
};

// `command` writes %o (`fileName` in `dir`) from %i, ImageMagick's rose at 37 x 23 (with an
// alpha ramp when `withAlpha`); the reference is ImageMagick's reading of the result, given
// `referenceOptions`.
WrittenPicture WriteWithTools(const TempDir& dir, std::string command, std::string_view fileName,
                              bool withAlpha = false, const std::string& referenceOptions = "");

}  // namespace folv::testing

// Skips the running test when a program it needs to write its fixture is not installed.
#define FOLV_REQUIRE_PROGRAM(name)                                                        \
    do {                                                                                  \
        if (!::folv::testing::HaveProgram(name))                                          \
            GTEST_SKIP() << "'" << (name) << "' is not installed; this test needs it to " \
                         << "write its fixture";                                          \
    } while (0)
