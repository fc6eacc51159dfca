#include "imaging/text_exception.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

PLTextException::PLTextException(std::int32_t code, std::string message)
    : code_(code), message_(std::move(message)) {}

PLTextException::~PLTextException() = default;

void RaiseDecoderError(std::int32_t code, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(again);
    throw PLTextException(code, "Decoder error: " + text + "\n");
}
