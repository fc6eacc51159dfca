#include "platform/text.h"

#include <algorithm>

namespace folv {

std::u16string LowerAZ(std::u16string_view text) {
    std::u16string out(text);
    std::transform(out.begin(), out.end(), out.begin(), ToLowerAZ);
    return out;
}

std::u16string UpperAZ(std::u16string_view text) {
    std::u16string out(text);
    std::transform(out.begin(), out.end(), out.begin(), ToUpperAZ);
    return out;
}

int CompareNoCaseAZ(std::u16string_view a, std::u16string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int ca = ToLowerAZ(a[i]);
        int cb = ToLowerAZ(b[i]);
        if (ca != cb)
            return ca - cb;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < text.size()) {
        unsigned char b = byte(i);
        char32_t c = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 0x6) {
            len = 2;
        } else if ((b >> 4) == 0xE) {
            len = 3;
        } else if ((b >> 3) == 0x1E) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= text.size();
            char32_t v = b & (0x7F >> len);
            for (std::size_t k = 1; ok && k < len; ++k) {
                if ((byte(i + k) & 0xC0) != 0x80)
                    ok = false;
                v = (v << 6) | (byte(i + k) & 0x3F);
            }
            static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                c = v;
            } else {
                len = 1;  // resynchronise on the next byte
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

std::filesystem::path ToFsPath(std::u16string_view path) {
    return std::filesystem::path(ToUtf8(path));
}

std::u16string FromFsPath(const std::filesystem::path& path) {
    return FromUtf8(path.native());
}

}  // namespace folv
