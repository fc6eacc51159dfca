#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace folv {

// Paths, names and host buffers hold at most this many wide characters, terminator included.
inline constexpr std::size_t kMaxPath = 260;

// A fixed buffer of N wide characters that refuses a value that does not fit,
// so that nothing is ever written past its end.
template <std::size_t N>
class WideBuffer {
  public:
    static constexpr std::size_t kCapacity = N;

    WideBuffer() { data_[0] = 0; }

    // False (and the buffer unchanged) when the text and its terminator exceed N.
    bool Assign(std::u16string_view text) {
        if (text.size() + 1 > N)
            return false;
        text.copy(data_, text.size());
        data_[text.size()] = 0;
        return true;
    }
    bool Append(std::u16string_view text) {
        std::size_t len = size();
        if (len + text.size() + 1 > N)
            return false;
        text.copy(data_ + len, text.size());
        data_[len + text.size()] = 0;
        return true;
    }
    void Clear() { data_[0] = 0; }

    // For a foreign writer (a host function): the buffer is terminated at its last
    // character afterwards, whatever the writer left there.
    char16_t* Data() { return data_; }
    void Terminate() { data_[N - 1] = 0; }

    const char16_t* CStr() const { return data_; }
    std::size_t size() const { return std::u16string_view(data_).size(); }
    bool empty() const { return data_[0] == 0; }
    std::u16string_view View() const { return std::u16string_view(data_); }
    std::u16string Str() const { return std::u16string(View()); }

  private:
    char16_t data_[N];
};

using PathBuffer = WideBuffer<kMaxPath>;

// Case folding that touches the letters A to Z only, never the locale's rules.
constexpr char16_t ToLowerAZ(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? c + 32 : c;
}
constexpr char16_t ToUpperAZ(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - 32 : c;
}
std::u16string LowerAZ(std::u16string_view text);
std::u16string UpperAZ(std::u16string_view text);

// Compares like the C locale's case-insensitive wide comparison: A-Z folded to lower case,
// every other character by its code. Negative, zero or positive.
int CompareNoCaseAZ(std::u16string_view a, std::u16string_view b);
inline bool EqualsNoCaseAZ(std::u16string_view a, std::u16string_view b) {
    return CompareNoCaseAZ(a, b) == 0;
}

// UTF-8 is the file system's encoding here; invalid sequences become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
std::filesystem::path ToFsPath(std::u16string_view path);
std::u16string FromFsPath(const std::filesystem::path& path);

}  // namespace folv
