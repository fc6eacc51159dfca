#pragma once

// Where the picture programs the decoder tests write their files with are installed.

#include <unistd.h>

#include <string>

namespace folv::testing {

// Debian's ImageMagick 6 itself, by its installed path, so that no wrapper earlier on PATH
// changes what it writes (alpha in particular); empty when it is not installed.
inline std::string ImageMagickPath() {
    for (const char* candidate : {"/usr/bin/convert-im6.q16", "/usr/bin/convert"}) {
        if (::access(candidate, X_OK) == 0)
            return candidate;
    }
    return {};
}

}  // namespace folv::testing

// Skips the running test when ImageMagick is not installed.
#define FOLV_REQUIRE_IMAGEMAGICK(variable)                                                   \
    const std::string variable = ::folv::testing::ImageMagickPath();                         \
    do {                                                                                     \
        if (variable.empty())                                                                \
            GTEST_SKIP() << "ImageMagick's convert is not installed; this test needs it to " \
                            "write its fixture";                                             \
    } while (0)
