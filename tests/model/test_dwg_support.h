#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "imaging/bitmap.h"
#include "platform/text.h"
#include "tools/fixtures/dib.h"
#include "tools/fixtures/dwg.h"

namespace folv::testing {

// A folder of its own under the test temporary folder, removed with the object.
class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        root_ = std::filesystem::temp_directory_path() /
                ("folv-dwg-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path Path(std::string_view name) const { return root_ / name; }

    // Writes the bytes under `name` and returns the file's path as the readers take it.
    std::u16string Write(std::string_view name, std::span<const std::uint8_t> bytes) const {
        fixtures::WriteFileBytes(Path(name), bytes);
        return FromFsPath(Path(name));
    }
    std::u16string Write(std::string_view name, std::string_view text) const {
        return Write(name, std::span<const std::uint8_t>(
                               reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    std::u16string WidePath(std::string_view name) const { return FromFsPath(Path(name)); }

  private:
    std::filesystem::path root_;
};

// 8 bits, 10 x 3: each stored row is 12 bytes. Pixel (x, y) holds x + 10 * y.
inline fixtures::DibImage SmallPicture() {
    fixtures::DibImage image;
    image.width = 10;
    image.height = 3;
    image.bitsPerPixel = 8;
    image.palette = fixtures::DrawingPalette(8);
    for (std::uint32_t i = 0; i < 30; ++i)
        image.pixels.push_back(i);
    return image;
}

// A bitmap in the state a new one has, to tell whether a reader touched it.
inline bool IsUntouched(const CWinBmpEx& bitmap) {
    return bitmap.GetWidth() == 16 && bitmap.GetHeight() == 16 && bitmap.GetBitsPerPixel() == 8;
}

}  // namespace folv::testing
