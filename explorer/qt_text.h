#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace folv {

// The window code speaks QString; everything behind it speaks UTF-16 strings.
inline QString ToQ(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQ(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

}  // namespace folv
