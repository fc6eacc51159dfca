#include "platform/paths.h"

namespace folv {
namespace {

std::size_t LastSeparator(std::u16string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1]))
            return i - 1;
    }
    return std::u16string_view::npos;
}

}  // namespace

PathParts SplitPath(std::u16string_view path) {
    PathParts parts;
    std::size_t sep = LastSeparator(path);
    std::u16string_view file = path;
    if (sep != std::u16string_view::npos) {
        parts.dir = std::u16string(path.substr(0, sep + 1));
        file = path.substr(sep + 1);
    }
    std::size_t dot = file.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        parts.name = std::u16string(file);
    } else {
        parts.name = std::u16string(file.substr(0, dot));
        parts.ext = std::u16string(file.substr(dot));
    }
    return parts;
}

std::u16string_view FileNamePart(std::u16string_view path) {
    std::size_t sep = LastSeparator(path);
    return sep == std::u16string_view::npos ? path : path.substr(sep + 1);
}

std::u16string FolderPart(std::u16string_view path) {
    std::size_t sep = LastSeparator(path);
    return sep == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, sep + 1));
}

bool EndsWithSeparator(std::u16string_view path) {
    return !path.empty() && IsSeparator(path.back());
}

}  // namespace folv
