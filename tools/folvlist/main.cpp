// folvlist: prints a folder's listing as the browser orders it, with each drawing's version
// and whether its embedded preview can be read.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "model/dwg_preview.h"
#include "model/file_list.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

constexpr const char* kUsage =
    "usage: folvlist [--sort name|size|date] [--plugin] [--find TEXT] PATTERN\n"
    "  PATTERN is a folder followed by a file-name pattern, for example drawings/*.dwg\n"
    "  Prints position, name, size, modified (seconds since 1970), drawing version and\n"
    "  whether the embedded preview reads (1 or 0), one file a line, tab-separated.\n"
    "  --find prints only the position of the first name starting with TEXT, or none.\n";

int Usage(const char* problem) {
    if (problem)
        std::fprintf(stderr, "folvlist: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    folv::SortMode mode = folv::SortMode::byName;
    folv::BuildKind build = folv::BuildKind::Library;
    bool find = false;
    std::string findText;
    std::string pattern;
    bool havePattern = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--sort") {
            if (++i >= argc)
                return Usage("--sort needs name, size or date");
            const std::string_view key = argv[i];
            if (key == "name") {
                mode = folv::SortMode::byName;
            } else if (key == "size") {
                mode = folv::SortMode::bySize;
            } else if (key == "date") {
                mode = folv::SortMode::byDate;
            } else {
                return Usage("--sort needs name, size or date");
            }
        } else if (arg == "--plugin") {
            build = folv::BuildKind::Plugin;
        } else if (arg == "--find") {
            if (++i >= argc)
                return Usage("--find needs a text");
            find = true;
            findText = argv[i];
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option");
        } else if (havePattern) {
            return Usage("only one pattern");
        } else {
            pattern = arg;
            havePattern = true;
        }
    }
    if (!havePattern || pattern.empty())
        return Usage("a pattern is needed");

    const std::u16string widePattern = folv::FromUtf8(pattern);
    const std::u16string workingDir = folv::FolderPart(widePattern);
    folv::CListF list;
    const folv::ListingResult result =
        folv::ListFolder(widePattern, workingDir, mode, list, nullptr);
    if (result.refused > 0) {
        std::fprintf(stderr, "folvlist: %lld file(s) left out: path longer than %zu characters\n",
                     static_cast<long long>(result.refused), folv::kMaxPath - 1);
    }
    if (result.count == 0) {
        std::fprintf(stderr, "folvlist: no file matches %s\n", pattern.c_str());
        return 1;
    }

    if (find) {
        const auto position = list.FindByPrefix(folv::FromUtf8(findText));
        if (position) {
            std::printf("%lld\n", static_cast<long long>(*position));
        } else {
            std::puts("none");
        }
        return 0;
    }

    const folv::CDwgPreview reader(build);
    std::vector<std::uint8_t> preview;
    for (std::int64_t i = 0; i < list.size(); ++i) {
        const folv::FileData* record = list.FileAt(i);
        if (!record)
            break;
        const std::int32_t version = reader.GetVersion(record->path.View());
        const bool hasPreview = reader.ReadPreviewBitmap(record->path.View(), preview);
        std::printf("%lld\t%s\t%lu\t%ld\t%d\t%d\n", static_cast<long long>(i + 1),
                    folv::ToUtf8(record->name.View()).c_str(),
                    static_cast<unsigned long>(record->size), static_cast<long>(record->modified),
                    static_cast<int>(version), hasPreview ? 1 : 0);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
