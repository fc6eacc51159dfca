#include "imaging/data_source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "imaging/text_exception.h"

namespace {

[[noreturn]] void ThrowEndOfFile() {
    throw PLTextException(PL_ERREND_OF_FILE, "End of file reached while decoding.\n");
}

}  // namespace

DecodeProgress::~DecodeProgress() = default;

// ---- PLBytes

void PLBytes::Need(std::size_t offset, std::size_t count) const {
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        ThrowEndOfFile();
}

std::uint8_t PLBytes::operator[](std::size_t i) const {
    Need(i, 1);
    return bytes_[i];
}

std::uint16_t PLBytes::LE16(std::size_t o) const {
    Need(o, 2);
    return static_cast<std::uint16_t>(bytes_[o] | bytes_[o + 1] << 8);
}

std::uint32_t PLBytes::LE32(std::size_t o) const {
    Need(o, 4);
    return std::uint32_t{bytes_[o]} | std::uint32_t{bytes_[o + 1]} << 8 |
           std::uint32_t{bytes_[o + 2]} << 16 | std::uint32_t{bytes_[o + 3]} << 24;
}

std::uint16_t PLBytes::BE16(std::size_t o) const {
    Need(o, 2);
    return static_cast<std::uint16_t>(bytes_[o] << 8 | bytes_[o + 1]);
}

std::uint32_t PLBytes::BE32(std::size_t o) const {
    Need(o, 4);
    return std::uint32_t{bytes_[o]} << 24 | std::uint32_t{bytes_[o + 1]} << 16 |
           std::uint32_t{bytes_[o + 2]} << 8 | std::uint32_t{bytes_[o + 3]};
}

PLBytes PLBytes::Sub(std::size_t offset, std::size_t count) const {
    Need(offset, count);
    return PLBytes(bytes_.subspan(offset, count));
}

// ---- PLDataSource

PLDataSource::PLDataSource(DecodeProgress* progressObject) : progress(progressObject) {}
PLDataSource::~PLDataSource() = default;

void PLDataSource::Open(std::string_view sourceName, const std::uint8_t* bytes,
                        std::size_t byteCount) {
    name.assign(sourceName);
    start = bytes;
    size = byteCount;
    bytesRead = 0;
}

void PLDataSource::Close() {
    if (progress)
        progress->OnProgress(1.0);
    name.clear();
    start = nullptr;
    size = 0;
    bytesRead = 0;
}

std::span<const std::uint8_t> PLDataSource::PeekBytes(std::size_t count) const {
    return {start + bytesRead, std::min(count, size - bytesRead)};
}

std::vector<std::uint8_t> PLDataSource::PeekPadded(std::size_t count) const {
    std::vector<std::uint8_t> out(count, 0);
    std::span<const std::uint8_t> have = PeekBytes(count);
    std::copy(have.begin(), have.end(), out.begin());
    return out;
}

const std::uint8_t* PLDataSource::ReadBytes(std::size_t count) {
    if (count > size - bytesRead)
        ThrowEndOfFile();
    const std::uint8_t* at = start + bytesRead;
    std::size_t before = bytesRead;
    bytesRead += count;
    if (progress && bytesRead / 1024 != before / 1024) {
        progress->OnProgress(static_cast<double>(bytesRead) / static_cast<double>(size));
    }
    return at;
}

std::uint16_t PLDataSource::ReadLE16() {
    return ReadChecked(2).LE16(0);
}
std::uint32_t PLDataSource::ReadLE32() {
    return ReadChecked(4).LE32(0);
}
std::uint16_t PLDataSource::ReadBE16() {
    return ReadChecked(2).BE16(0);
}
std::uint32_t PLDataSource::ReadBE32() {
    return ReadChecked(4).BE32(0);
}

std::span<const std::uint8_t> PLDataSource::RemainingBytes() const {
    return {start + bytesRead, size - bytesRead};
}

// ---- PLFileSource

PLFileSource::PLFileSource(DecodeProgress* progressObject) : PLDataSource(progressObject) {}

PLFileSource::~PLFileSource() {
    PLFileSource::Close();
}

std::int32_t PLFileSource::Open(const char* path) {
    Close();
    if (!path || !*path)
        return PL_ERRFILE_NOT_FOUND;
    // Non-blocking, so that a named pipe cannot stall the open; only plain files are read.
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        int err = errno;
        if (err == EACCES || err == EPERM)
            return PL_ERRACCESS_DENIED;
        if (err == ENOTDIR)
            return PL_ERRPATH_NOT_FOUND;
        if (err == ENOENT) {
            // The folder missing is "path not found"; only the file missing is "file not found".
            std::error_code ec;
            std::filesystem::path parent = std::filesystem::path(path).parent_path();
            if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
                return PL_ERRPATH_NOT_FOUND;
            }
        }
        return PL_ERRFILE_NOT_FOUND;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        ::close(fd);
        return PL_ERRACCESS_DENIED;
    }
    auto length = static_cast<std::size_t>(st.st_size);
    if (length <= kReadWholeLimit) {
        buffer.reset(new (std::nothrow) std::uint8_t[length]);
        std::size_t got = 0;
        while (buffer && got < length) {
            ssize_t n = ::read(fd, buffer.get() + got, length - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;  // shortened meanwhile: keep what is there
            got += static_cast<std::size_t>(n);
        }
        ::close(fd);
        if (!buffer || got == 0) {
            buffer.reset();
            return PL_ERRACCESS_DENIED;
        }
        PLDataSource::Open(path, buffer.get(), got);
        return 0;
    }
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (view == MAP_FAILED)
        return PL_ERRACCESS_DENIED;
    ::madvise(view, length, MADV_SEQUENTIAL);
    mapping = view;
    mappedSize = length;
    PLDataSource::Open(path, static_cast<const std::uint8_t*>(view), length);
    return 0;
}

void PLFileSource::Close() {
    if (!mapping && !buffer)
        return;
    PLDataSource::Close();
    if (mapping)
        ::munmap(mapping, mappedSize);
    mapping = nullptr;
    mappedSize = 0;
    buffer.reset();
}

// ---- PLMemSource

PLMemSource::PLMemSource() = default;
PLMemSource::~PLMemSource() = default;

std::int32_t PLMemSource::Open(const std::uint8_t* bytes, std::size_t byteCount) {
    static const std::uint8_t kNothing = 0;
    PLDataSource::Open("Mem", bytes ? bytes : &kNothing, bytes ? byteCount : 0);
    return 0;
}
