#include "platform/resolve.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"

namespace folv {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` without regard to A-Z case; the lowest in
// ordinal order when several do, so the choice does not depend on the folder's order.
std::optional<std::string> FindFolded(const std::string& dir, std::u16string_view name) {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.empty() ? "." : dir.c_str()),
                                               ::closedir);
    if (!handle)
        return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* d = ::readdir(handle.get())) {
        std::string_view raw(d->d_name);
        if (raw == "." || raw == "..")
            continue;
        if (!EqualsNoCaseAZ(FromUtf8(raw), name))
            continue;
        if (!best || raw < *best)
            best = std::string(raw);
    }
    return best;
}

}  // namespace

std::u16string ResolveExistingPath(std::u16string_view path) {
    std::string utf8 = ToUtf8(path);
    if (utf8.empty() || Exists(utf8))
        return std::u16string(path);

    // Rebuild component by component; '\' from old settings files counts as a separator.
    std::string out;
    std::size_t i = 0;
    if (IsSeparator(path.empty() ? 0 : path[0])) {
        out = "/";
        while (i < path.size() && IsSeparator(path[i]))
            ++i;
    }
    bool resolving = true;
    while (i < path.size()) {
        std::size_t end = i;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        std::u16string_view comp = path.substr(i, end - i);
        std::string compUtf8 = ToUtf8(comp);
        std::string candidate = out + compUtf8;
        if (resolving && !Exists(candidate)) {
            if (auto found = FindFolded(out, comp)) {
                candidate = out + *found;
            } else {
                resolving = false;  // nothing below a missing folder can exist
            }
        }
        out = candidate;
        if (end < path.size())
            out += '/';
        i = end;
        while (i < path.size() && IsSeparator(path[i]))
            ++i;
    }
    return FromUtf8(out);
}

std::u16string ResolveInFolder(std::u16string_view folder, std::u16string_view name) {
    std::u16string joined(folder);
    if (!joined.empty() && !EndsWithSeparator(joined))
        joined += kSeparator;
    joined += name;
    return ResolveExistingPath(joined);
}

}  // namespace folv
