#include "platform/enumerate.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/paths.h"
#include "platform/resolve.h"
#include "platform/text.h"

namespace folv {
namespace {

// Plain glob over A-Z-folded characters: '*' any run, '?' exactly one character.
bool Glob(std::u16string_view name, std::u16string_view pattern) {
    std::size_t n = 0, p = 0;
    std::size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || ToLowerAZ(pattern[p]) == ToLowerAZ(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern) {
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*") {
        // "x.*" also takes names with no extension at all, so "*.*" matches everything.
        return Glob(name, pattern) || Glob(name, pattern.substr(0, pattern.size() - 2));
    }
    if (!pattern.empty() && pattern.back() == u'.') {
        // A trailing dot asks for names without extension.
        return name.find(u'.') == std::u16string_view::npos &&
               Glob(name, pattern.substr(0, pattern.size() - 1));
    }
    return Glob(name, pattern);
}

std::vector<DirEntry> ListMatchingFiles(std::u16string_view pattern) {
    std::vector<DirEntry> entries;
    std::u16string folder = FolderPart(pattern);
    std::u16string_view namePattern = FileNamePart(pattern);
    if (namePattern.empty())
        return entries;
    std::u16string dir = folder.empty() ? std::u16string(u".") : ResolveExistingPath(folder);
    std::string dirUtf8 = ToUtf8(dir);

    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dirUtf8.c_str()), ::closedir);
    if (!handle)
        return entries;
    if (!dirUtf8.empty() && dirUtf8.back() != '/')
        dirUtf8 += '/';
    while (const dirent* d = ::readdir(handle.get())) {
        std::string_view raw(d->d_name);
        if (raw == "." || raw == "..")
            continue;
        std::u16string name = FromUtf8(raw);
        if (name.size() >= kMaxPath || !MatchesWildcard(name, namePattern))
            continue;
        struct stat st {};
        std::string full = dirUtf8 + std::string(raw);
        // A dangling link is still a name in the folder; report it as an empty file (the
        // link's own size is the length of the name it holds, not a file size).
        bool dangling = false;
        if (::stat(full.c_str(), &st) != 0) {
            if (::lstat(full.c_str(), &st) != 0)
                continue;
            dangling = true;
        }
        DirEntry e;
        e.name = std::move(name);
        e.attributes = S_ISDIR(st.st_mode) ? kAttributeFolder : 0x20u;
        e.size = dangling ? 0 : static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size));
        e.modified = static_cast<std::int64_t>(st.st_mtime);
        entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
        int c = CompareNoCaseAZ(a.name, b.name);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return entries;
}

}  // namespace folv
