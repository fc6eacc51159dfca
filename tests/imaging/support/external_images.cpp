#include "tests/imaging/support/external_images.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace folv::testing {

std::uint8_t RefImage::At8(int x, int y, int channel) const {
    const unsigned value = At(x, y, channel);
    if (maxval == 255)
        return static_cast<std::uint8_t>(value);
    return static_cast<std::uint8_t>((value * 255u + maxval / 2u) / static_cast<unsigned>(maxval));
}

bool HaveProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return false;
    std::stringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty())
            continue;
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

bool RunTool(const std::string& command) {
    const std::string quiet = "(" + command + ") >/dev/null 2>&1";
    return std::system(quiet.c_str()) == 0;
}

std::string Quote(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

namespace {

// Reads the next whitespace-separated token of a netpbm header, skipping comments.
std::string NextToken(std::istream& in) {
    std::string token;
    int c;
    while ((c = in.get()) != EOF) {
        if (c == '#') {
            while ((c = in.get()) != EOF && c != '\n') {
            }
            continue;
        }
        if (std::isspace(c)) {
            if (!token.empty())
                break;
            continue;
        }
        token += static_cast<char>(c);
    }
    return token;
}

}  // namespace

RefImage ReadNetpbm(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    const std::string magic = NextToken(in);
    RefImage image;
    if (magic == "P5" || magic == "P6") {
        image.width = std::stoi(NextToken(in));
        image.height = std::stoi(NextToken(in));
        image.maxval = std::stoi(NextToken(in));
        image.channels = magic == "P5" ? 1 : 3;
    } else if (magic == "P7") {
        for (;;) {
            const std::string key = NextToken(in);
            if (key.empty())
                throw std::runtime_error("bad PAM header in " + path.string());
            if (key == "ENDHDR")
                break;
            const std::string value = NextToken(in);
            if (key == "WIDTH")
                image.width = std::stoi(value);
            else if (key == "HEIGHT")
                image.height = std::stoi(value);
            else if (key == "DEPTH")
                image.channels = std::stoi(value);
            else if (key == "MAXVAL")
                image.maxval = std::stoi(value);
        }
    } else {
        throw std::runtime_error("not a binary netpbm file: " + path.string());
    }
    if (image.width <= 0 || image.height <= 0 || image.channels <= 0 || image.maxval <= 0 ||
        image.maxval > 65535)
        throw std::runtime_error("bad netpbm header in " + path.string());
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height * image.channels;
    image.samples.resize(count);
    const bool wide = image.maxval > 255;
    for (std::size_t i = 0; i < count; ++i) {
        int high = in.get();
        if (high == EOF)
            throw std::runtime_error("netpbm file too short: " + path.string());
        if (wide) {
            const int low = in.get();
            if (low == EOF)
                throw std::runtime_error("netpbm file too short: " + path.string());
            high = (high << 8) | low;
        }
        image.samples[i] = static_cast<std::uint16_t>(high);
    }
    return image;
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("folv-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

WrittenPicture WriteWithTools(const TempDir& dir, std::string command, std::string_view fileName,
                              bool withAlpha, const std::string& referenceOptions) {
    const auto source = dir / (withAlpha ? "source.png" : "source.ppm");
    const auto file = dir / fileName;
    const auto reference = dir / "reference.pam";
    const std::string alpha = withAlpha ? " -alpha set -channel A -fx 'i/w' +channel" : "";
    EXPECT_TRUE(RunTool("convert rose: -resize 37x23!" + alpha + " " + Quote(source)));
    for (auto at = command.find("%i"); at != std::string::npos; at = command.find("%i"))
        command.replace(at, 2, Quote(source));
    for (auto at = command.find("%o"); at != std::string::npos; at = command.find("%o"))
        command.replace(at, 2, Quote(file));
    EXPECT_TRUE(RunTool(command)) << command;
    EXPECT_TRUE(RunTool("convert " + Quote(file) + " " + referenceOptions + " -depth 8 " +
                        Quote(reference)));
    return {ReadFileBytes(file), ReadNetpbm(reference)};
}

}  // namespace folv::testing
