#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace folv {

inline constexpr std::uint32_t kAttributeFolder = 0x10;

struct DirEntry {
    std::u16string name;       // as it is on disk
    std::uint32_t attributes;  // kAttributeFolder for folders
    std::uint32_t size;        // modulo 2^32
    std::int64_t modified;     // seconds since 1970, last write
    bool IsFolder() const { return (attributes & kAttributeFolder) != 0; }
};

// The original platform's wildcard rules: case-insensitive over A-Z; '*' any run, '?' one
// character; "*.*" matches every name, dot or not; a pattern ending in "." matches names
// without extension.
bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern);

// Lists folder + pattern (for example "/data/plans/*.DWG"). Entries come in case-insensitive
// ordinal order of their names, so that ties in a sort come out the same on every machine.
// Empty when the folder does not exist or nothing matches; "." and ".." are never listed.
std::vector<DirEntry> ListMatchingFiles(std::u16string_view pattern);

}  // namespace folv
