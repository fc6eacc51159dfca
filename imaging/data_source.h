#pragma once

// Byte sources the decoders read from. ReadBytes is the one door to the data: it throws
// code 11 ("End of file reached while decoding.\n") instead of handing out bytes past the
// end, and the bytes it returns stay valid at the same address until Close().

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

// Receives the fraction of the data read so far.
class DecodeProgress {
  public:
    virtual ~DecodeProgress();
    virtual void OnProgress(double part) = 0;
};

// A bounds-checked view of bytes handed out by ReadChecked(): every access past its end
// throws code 11, like reading past the end of the source.
class PLBytes {
  public:
    PLBytes() = default;
    explicit PLBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::span<const std::uint8_t> span() const { return bytes_; }
    std::uint8_t operator[](std::size_t i) const;
    std::uint16_t LE16(std::size_t offset) const;
    std::uint32_t LE32(std::size_t offset) const;
    std::uint16_t BE16(std::size_t offset) const;
    std::uint32_t BE32(std::size_t offset) const;
    PLBytes Sub(std::size_t offset, std::size_t count) const;

  private:
    void Need(std::size_t offset, std::size_t count) const;
    std::span<const std::uint8_t> bytes_;
};

class PLDataSource : public PLObject {
  public:
    explicit PLDataSource(DecodeProgress* progress = nullptr);
    ~PLDataSource() override;
    PLDataSource(const PLDataSource&) = delete;
    PLDataSource& operator=(const PLDataSource&) = delete;

    // Reports 1.0 to the progress object, forgets name and size.
    virtual void Close();

    // At most `count` bytes from the current position, without advancing; fewer near the end
    // (never bytes past it).
    std::span<const std::uint8_t> PeekBytes(std::size_t count) const;
    // Exactly `count` bytes from the current position, zero-padded past the end.
    std::vector<std::uint8_t> PeekPadded(std::size_t count) const;

    // The current position, then advance by `count`. Throws code 11 when fewer than `count`
    // bytes are left (the position is not moved then).
    const std::uint8_t* ReadBytes(std::size_t count);
    // The same as a checked view.
    PLBytes ReadChecked(std::size_t count) { return PLBytes({ReadBytes(count), count}); }
    void Skip(std::size_t count) { ReadBytes(count); }
    std::uint8_t ReadByte() { return *ReadBytes(1); }
    std::uint16_t ReadLE16();
    std::uint32_t ReadLE32();
    std::uint16_t ReadBE16();
    std::uint32_t ReadBE32();

    // Everything from the current position to the end, for libraries that read a whole block
    // themselves; does not advance.
    std::span<const std::uint8_t> RemainingBytes() const;
    std::size_t GetRemaining() const { return size - bytesRead; }

    const std::uint8_t* GetBufferPtr() const { return start + bytesRead; }  // current position
    std::size_t GetBytesRead() const { return bytesRead; }
    std::size_t GetSize() const { return size; }
    const std::string& GetName() const { return name; }
    DecodeProgress* GetProgress() const { return progress; }

  protected:
    // Kinds call this when their bytes are in place.
    void Open(std::string_view sourceName, const std::uint8_t* bytes, std::size_t byteCount);

  private:
    std::string name;
    const std::uint8_t* start = nullptr;
    std::size_t size = 0;
    std::size_t bytesRead = 0;
    DecodeProgress* progress = nullptr;
};

// A file's bytes. Files up to kReadWholeLimit are read into memory, so that a file another
// program shortens meanwhile cannot pull the bytes away; larger ones are mapped read-only.
// Open returns 0, or 3 (folder missing), 4 (file missing or not openable), 5 (access denied,
// not a plain file, empty, or cannot be read or mapped).
class PLFileSource : public PLDataSource {
  public:
    static constexpr std::size_t kReadWholeLimit = std::size_t{256} * 1024 * 1024;

    explicit PLFileSource(DecodeProgress* progress = nullptr);
    ~PLFileSource() override;

    std::int32_t Open(const char* path);
    void Close() override;

  private:
    std::unique_ptr<std::uint8_t[]> buffer;
    void* mapping = nullptr;
    std::size_t mappedSize = 0;
};

// Memory the caller keeps alive until Close(). Named "Mem".
class PLMemSource : public PLDataSource {
  public:
    PLMemSource();
    ~PLMemSource() override;

    std::int32_t Open(const std::uint8_t* bytes, std::size_t byteCount);
};
