#pragma once

#include <string>
#include <string_view>

namespace folv {

inline constexpr char16_t kSeparator = u'/';

// Paths read from the settings file may still use the original platform's separator.
constexpr bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

// A path cut as the original platform's splitter cuts it. The drive is always empty here;
// the folder keeps its final separator; the extension keeps its dot.
struct PathParts {
    std::u16string drive;
    std::u16string dir;
    std::u16string name;
    std::u16string ext;
};

PathParts SplitPath(std::u16string_view path);

// The file name with extension: everything after the last separator.
std::u16string_view FileNamePart(std::u16string_view path);

// The folder of a path with its final separator; empty when the path has no folder.
std::u16string FolderPart(std::u16string_view path);

// True when the text ends with a separator.
bool EndsWithSeparator(std::u16string_view path);

}  // namespace folv
