#include "model/dwg_preview.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

#include "imaging/bitmap.h"
#include "platform/resolve.h"
#include "platform/text.h"

namespace folv {

namespace {

// Newest first; the library build starts one row in, so both builds share the numbers.
constexpr DwgVersion kVersionRows[] = {
    {27, "AC1024", "AutoCAD 2010"},       {26, "AC1021", "AutoCAD 2007"},
    {25, "AC1018", "AutoCAD 2004"},       {24, "AC1015", "AutoCAD 2000/2000I/2002"},
    {23, "AC1500", "Release T"},          {22, "AC1014", "Release 14"},
    {21, "AC1013", "Internal: Early 14"}, {20, "AC1012", "Release 13"},
    {19, "AC1011", "Internal: Late 13"},  {18, "AC1010", "Internal: Early 13"},
    {17, "AC1009", "Release 11/12"},      {16, "AC1008", "Internal: Late Z"},
    {15, "AC1007", "Internal: Early Z"},  {14, "AC1006", "Release 10"},
    {13, "AC1005", "Version Y"},          {12, "AC1004", "Release 9"},
    {11, "AC1003", "Version 2.60"},       {10, "AC1002", "Version 2.50"},
    {9, "AC1001", "Version 2.22 (Unix)"}, {8, "AC2.22", "Version 2.22 (MS-DOS)"},
    {7, "AC2.21", "Version 2.21"},        {6, "AC2.20", "Internal: 2.20"},
    {5, "AC2.10", "Version 2.10"},        {4, "AC1.50", "Version 1.50"},
    {3, "AC1.40", "Version 1.40"},        {2, "AC1.2", "Version 1.2"},
    {1, "MC0.0", "Version 1.0"},          {0, nullptr, nullptr},
};

constexpr std::array<std::uint8_t, 16> kStartSentinel = {
    0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28, 0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};

constexpr std::int64_t kImageDataAddressOffset = 13;
constexpr std::uint8_t kBmpRecordType = 2;
constexpr std::size_t kRecordEntrySize = 9;
constexpr std::size_t kInfoHeaderSize = 40;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t Le32s(const std::uint8_t* p) {
    return static_cast<std::int32_t>(Le32(p));
}

// A regular file opened read-only; every read is at an explicit offset and either delivers
// all bytes asked for or fails. Anything else (folders, pipes, devices) does not open, so a
// reader can neither block nor read an endless stream.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(std::u16string_view path) {
        const std::filesystem::path fsPath = ToFsPath(ResolveExistingPath(path));
        fd_ = ::open(fsPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return;
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        size_ = static_cast<std::int64_t>(info.st_size);
    }
    ~ReadOnlyFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    std::int64_t Size() const { return size_; }

    bool ReadAt(std::int64_t offset, void* out, std::size_t count) const {
        if (fd_ < 0 || offset < 0 || offset > size_ ||
            count > static_cast<std::uint64_t>(size_ - offset)) {
            return false;
        }
        auto* dest = static_cast<std::uint8_t*>(out);
        while (count > 0) {
            const ssize_t got = ::pread(fd_, dest, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            dest += got;
            offset += got;
            count -= static_cast<std::size_t>(got);
        }
        return true;
    }

  private:
    int fd_ = -1;
    std::int64_t size_ = 0;
};

// Where the palette of a device-independent bitmap lies, when it has one that fits.
struct PaletteSpan {
    std::size_t offset;
    std::size_t entries;
};

std::optional<PaletteSpan> FindPalette(std::span<const std::uint8_t> dib) {
    if (dib.size() < kInfoHeaderSize)
        return std::nullopt;
    const std::uint32_t headerSize = Le32(dib.data());
    const std::uint16_t bitsPerPixel = Le16(dib.data() + 14);
    if (headerSize < kInfoHeaderSize || headerSize > dib.size())
        return std::nullopt;
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8)
        return std::nullopt;
    const std::size_t entries = std::size_t{1} << bitsPerPixel;
    if (entries * 4 > dib.size() - headerSize)
        return std::nullopt;
    return PaletteSpan{headerSize, entries};
}

// What a preview header announces, checked against the bytes that carry it.
struct DibLayout {
    std::int32_t width;
    std::int32_t height;  // rows, always positive
    bool topDown;
    std::uint16_t bitsPerPixel;
    std::optional<PaletteSpan> palette;
    std::size_t pixelOffset;
    std::size_t rowBytes;
};

std::optional<DibLayout> ParseDib(std::span<const std::uint8_t> dib) {
    if (dib.size() < kInfoHeaderSize)
        return std::nullopt;
    const std::uint8_t* h = dib.data();
    const std::uint32_t headerSize = Le32(h);
    if (headerSize < kInfoHeaderSize || headerSize > dib.size())
        return std::nullopt;

    DibLayout layout{};
    layout.width = Le32s(h + 4);
    const std::int32_t height = Le32s(h + 8);
    layout.bitsPerPixel = Le16(h + 14);
    const std::uint32_t compression = Le32(h + 16);
    if (layout.width <= 0 || height == 0 || height == INT32_MIN)
        return std::nullopt;
    layout.topDown = height < 0;
    layout.height = layout.topDown ? -height : height;

    // Packed pixels only: run-length or bit-field data copied as rows would show as noise.
    if (compression != 0)
        return std::nullopt;
    switch (layout.bitsPerPixel) {
        case 1:
        case 4:
        case 8:
            layout.palette = FindPalette(dib);
            if (!layout.palette)
                return std::nullopt;
            layout.pixelOffset = layout.palette->offset + layout.palette->entries * 4;
            break;
        case 16:
        case 24:
        case 32:
            // A colour table, if any, means nothing to pixels that carry their colour.
            layout.pixelOffset = headerSize;
            break;
        default:
            return std::nullopt;
    }

    const std::uint64_t rowBytes =
        (static_cast<std::uint64_t>(layout.width) * layout.bitsPerPixel + 31) / 32 * 4;
    if (rowBytes > kMaxPreviewPixelBytes ||
        rowBytes * static_cast<std::uint64_t>(layout.height) > kMaxPreviewPixelBytes) {
        return std::nullopt;
    }
    layout.rowBytes = static_cast<std::size_t>(rowBytes);
    return layout;
}

// Rows the data does not hold stay as Create left them.
void CopyDibToBitmap(const DibLayout& layout, std::span<const std::uint8_t> dib,
                     CWinBmpEx& bitmap) {
    // Only packed pixels get here, so the bitmap's header keeps the compression (none) and
    // image size that Create gave it.
    bitmap.Create(layout.width, layout.height, layout.bitsPerPixel, false, false, PLPoint{0, 0});

    if (layout.palette) {
        std::vector<RGBQuad> entries(layout.palette->entries);
        std::memcpy(entries.data(), dib.data() + layout.palette->offset, entries.size() * 4);
        bitmap.SetPaletteEntries(std::span<const RGBQuad>(entries));
    }

    std::uint8_t* bits = bitmap.GetBits();
    const std::size_t destRow = static_cast<std::size_t>(bitmap.GetBytesPerLine());
    const std::size_t rowCopy = std::min(destRow, layout.rowBytes);
    const std::size_t available =
        layout.pixelOffset < dib.size() ? dib.size() - layout.pixelOffset : 0;
    const std::uint8_t* source = dib.data() + layout.pixelOffset;
    for (std::size_t row = 0; row < static_cast<std::size_t>(layout.height); ++row) {
        const std::size_t start = row * layout.rowBytes;
        if (start >= available)
            break;
        const std::size_t count = std::min(rowCopy, available - start);
        // Memory holds the bottom row first; a top-down picture is turned over on the way.
        const std::size_t destIndex =
            layout.topDown ? static_cast<std::size_t>(layout.height) - 1 - row : row;
        if (destIndex * destRow + count > bitmap.GetBitsSize())
            break;
        std::memcpy(bits + destIndex * destRow, source + start, count);
    }
}

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object != nullptr)
            g_object_unref(object);
    }
};
template <typename T>
using GsfRef = std::unique_ptr<T, GObjectUnref>;

struct FileClose {
    void operator()(std::FILE* file) const {
        if (file != nullptr)
            std::fclose(file);
    }
};

// Stream names in compound files compare without regard to case.
bool IsPreviewName(const char* name) {
    return name != nullptr && EqualsNoCaseAZ(FromUtf8(name), u"Preview");
}

bool LoadStoragePreviewUnguarded(std::u16string_view path, CWinBmpEx& bitmap) {
    ReadOnlyFile file(path);
    if (!file.IsOpen())
        return false;
    const int fd = ::dup(file.Descriptor());
    if (fd < 0)
        return false;
    std::unique_ptr<std::FILE, FileClose> stdioFile(::fdopen(fd, "rb"));
    if (!stdioFile) {
        ::close(fd);
        return false;
    }

    GsfRef<GsfInput> input(gsf_input_stdio_new_FILE(ToUtf8(path).c_str(), stdioFile.get(), TRUE));
    if (!input)
        return false;
    GsfRef<GsfInfile> storage(gsf_infile_msole_new(input.get(), nullptr));
    if (!storage)
        return false;

    GsfRef<GsfInput> stream;
    const int children = gsf_infile_num_children(storage.get());
    for (int i = 0; i < children && !stream; ++i) {
        if (!IsPreviewName(gsf_infile_name_by_index(storage.get(), i)))
            continue;
        GsfRef<GsfInput> child(gsf_infile_child_by_index(storage.get(), i));
        // A storage of that name is not the stream.
        if (child && GSF_IS_INFILE(child.get()) &&
            gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            continue;
        }
        stream = std::move(child);
    }
    if (!stream)
        return false;

    std::uint8_t countBytes[4];
    if (gsf_input_read(stream.get(), sizeof countBytes, countBytes) == nullptr)
        return false;
    const std::uint32_t count = Le32(countBytes);
    if (count == 0)
        return true;
    if (count > kMaxPreviewRecordBytes)
        return false;
    const gsf_off_t remaining = gsf_input_remaining(stream.get());
    if (remaining < 0 || static_cast<std::uint64_t>(remaining) < count)
        return false;

    std::vector<std::uint8_t> dib(count);
    if (gsf_input_read(stream.get(), dib.size(), dib.data()) == nullptr)
        return false;
    const std::optional<DibLayout> layout = ParseDib(dib);
    if (!layout)
        return false;
    CopyDibToBitmap(*layout, dib, bitmap);
    return true;
}

}  // namespace

std::span<const DwgVersion> DwgVersionTable(BuildKind build) {
    const std::span<const DwgVersion> all(kVersionRows);
    return build == BuildKind::Plugin ? all : all.subspan(1);
}

std::int32_t CDwgPreview::GetVersion(std::u16string_view path) const {
    ReadOnlyFile file(path);
    char signature[7] = {};
    if (!file.ReadAt(0, signature, 6))
        return 0;
    // The text ends at the first zero byte; strstr stops there by itself.
    for (const DwgVersion& row : DwgVersionTable(build_)) {
        if (row.number == 0 || row.code == nullptr)
            break;
        if (std::strstr(signature, row.code) != nullptr)
            return row.number;
    }
    return 0;
}

bool CDwgPreview::ReadPreviewBitmap(std::u16string_view path,
                                    std::vector<std::uint8_t>& buffer) const {
    buffer.clear();
    if (GetVersion(path) < kFirstVersionWithPreview)
        return false;
    ReadOnlyFile file(path);
    if (!file.IsOpen())
        return false;

    std::uint8_t field[4];
    if (!file.ReadAt(kImageDataAddressOffset, field, sizeof field))
        return false;
    const std::int64_t address = Le32s(field);

    std::array<std::uint8_t, 16> sentinel{};
    if (!file.ReadAt(address, sentinel.data(), sentinel.size()))
        return false;
    if (sentinel != kStartSentinel)
        return false;

    if (!file.ReadAt(address + 16, field, sizeof field))
        return false;
    const std::int64_t overallSize = Le32s(field);
    const std::int64_t afterSize = address + 20;
    // The count byte alone needs one byte; less cannot be an intact area.
    if (overallSize < 1)
        return false;

    if (!file.ReadAt(afterSize + overallSize, sentinel.data(), sentinel.size()))
        return false;
    for (std::size_t i = 0; i < sentinel.size(); ++i) {
        if (static_cast<std::uint8_t>(~sentinel[i]) != kStartSentinel[i])
            return false;
    }

    std::uint8_t recordCount = 0;
    if (!file.ReadAt(afterSize, &recordCount, 1))
        return false;
    std::array<std::uint8_t, 256 * kRecordEntrySize> entries{};
    if (!file.ReadAt(afterSize + 1, entries.data(), recordCount * kRecordEntrySize)) {
        return false;
    }
    for (std::size_t i = 0; i < recordCount; ++i) {
        const std::uint8_t* entry = entries.data() + i * kRecordEntrySize;
        if (entry[0] != kBmpRecordType)
            continue;
        const std::int64_t start = Le32s(entry + 1);
        const std::uint32_t size = Le32(entry + 5);
        if (size == 0 || size > kMaxPreviewRecordBytes || start < 0 || start > file.Size() ||
            size > static_cast<std::uint64_t>(file.Size() - start)) {
            return false;
        }
        std::vector<std::uint8_t> record(size);
        if (!file.ReadAt(start, record.data(), record.size()))
            return false;
        buffer = std::move(record);
        return true;
    }
    return false;
}

void CDwgPreview::InvertBlackAndWhite(std::span<std::uint8_t> picture, std::uint32_t colour) {
    const std::optional<PaletteSpan> palette = FindPalette(picture);
    if (!palette)
        return;
    const std::uint8_t red = colour & 0xFF;
    const std::uint8_t green = (colour >> 8) & 0xFF;
    const std::uint8_t blue = (colour >> 16) & 0xFF;
    for (std::size_t i = 0; i < palette->entries; ++i) {
        std::uint8_t* entry = picture.data() + palette->offset + i * 4;  // blue, green, red
        const bool black = entry[0] == 0 && entry[1] == 0 && entry[2] == 0;
        const bool white = entry[0] == 255 && entry[1] == 255 && entry[2] == 255;
        if (!black && !white)
            continue;
        entry[0] = static_cast<std::uint8_t>(~(entry[0] ^ blue));
        entry[1] = static_cast<std::uint8_t>(~(entry[1] ^ green));
        entry[2] = static_cast<std::uint8_t>(~(entry[2] ^ red));
    }
}

bool LoadDwgPreview(std::u16string_view path, CWinBmpEx& bitmap, BuildKind build) {
    std::vector<std::uint8_t> record;
    if (!CDwgPreview(build).ReadPreviewBitmap(path, record))
        return false;
    CDwgPreview::InvertBlackAndWhite(record, 0);
    const std::optional<DibLayout> layout = ParseDib(record);
    if (!layout)
        return false;
    CopyDibToBitmap(*layout, record, bitmap);
    return true;
}

bool LoadStoragePreview(std::u16string_view path, CWinBmpEx& bitmap) {
    try {
        return LoadStoragePreviewUnguarded(path, bitmap);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace folv
