#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "imaging/bitmap.h"

// Error codes carried by PLTextException. Callers only learn that no picture could be made;
// the codes tell tests and the decoders' own callers what went wrong.
inline constexpr std::int32_t PL_ERRWRONG_SIGNATURE = 1;       // not the format it claims
inline constexpr std::int32_t PL_ERRFORMAT_UNKNOWN = 2;        // damaged data in a known format
inline constexpr std::int32_t PL_ERRPATH_NOT_FOUND = 3;        // the folder does not exist
inline constexpr std::int32_t PL_ERRFILE_NOT_FOUND = 4;        // the file does not exist
inline constexpr std::int32_t PL_ERRACCESS_DENIED = 5;         // cannot open or map (also empty)
inline constexpr std::int32_t PL_ERRFORMAT_NOT_SUPPORTED = 6;  // a variant we do not decode
inline constexpr std::int32_t PL_ERRINTERNAL = 7;              // internal limit of a decoder
inline constexpr std::int32_t PL_ERRUNKNOWN_FILE_TYPE = 8;     // no format recognised
inline constexpr std::int32_t PL_ERRNO_MEMORY = 10;            // out of memory or over the limit
inline constexpr std::int32_t PL_ERREND_OF_FILE = 11;          // read past the end of the data
inline constexpr std::int32_t PL_ERRFORMAT_NOT_COMPILED = 12;  // recognised, no decoder built in

// The image library's only exception. Copied when thrown and caught.
class PLTextException : public PLObject, public std::exception {
  public:
    PLTextException(std::int32_t code, std::string message);
    ~PLTextException() override;
    PLTextException(const PLTextException&) = default;
    PLTextException& operator=(const PLTextException&) = default;

    std::int32_t GetCode() const { return code_; }
    const std::string& GetMessage() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::int32_t code_;
    std::string message_;
};

// Throws PLTextException(code, "Decoder error: " + formatted text + "\n").
[[noreturn]] void RaiseDecoderError(std::int32_t code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
