// Listing and sorting folders of 1,000 to 100,000 files by each key.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "model/file_list.h"
#include "platform/text.h"

namespace {

// A temporary folder of n empty-ish files, made once per size and removed at exit.
class BenchFolder {
  public:
    explicit BenchFolder(int n) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "folv-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        path_ = tmpl;
        const int dir = ::open(tmpl.c_str(), O_RDONLY | O_DIRECTORY);
        if (dir < 0)
            std::abort();
        std::uint32_t state = 2463534242u;
        for (int i = 0; i < n; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            // Names in no particular order and of mixed case, so the name sort has work to do;
            // few distinct sizes and dates, so ties are common.
            char name[40];
            std::snprintf(name, sizeof name, "%c%08x_%d.%s", "aBcD_eF"[state % 7], state, i,
                          state % 3 == 0 ? "DWG" : "dwg");
            const int fd = ::openat(dir, name, O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0)
                std::abort();
            if (::ftruncate(fd, static_cast<off_t>(state % 4096)) != 0)
                std::abort();
            ::close(fd);
            const timespec times[2] = {{1000000000 + static_cast<time_t>(state % 100000), 0},
                                       {1000000000 + static_cast<time_t>(state % 100000), 0}};
            if (::utimensat(dir, name, times, 0) != 0)
                std::abort();
        }
        ::close(dir);
    }
    ~BenchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::u16string WorkingDir() const { return folv::FromUtf8(path_.string() + "/"); }

  private:
    std::filesystem::path path_;
};

std::map<int, std::unique_ptr<BenchFolder>>& Folders() {
    static std::map<int, std::unique_ptr<BenchFolder>> folders;
    return folders;
}

const BenchFolder& FolderOf(int n) {
    auto& slot = Folders()[n];
    if (!slot)
        slot = std::make_unique<BenchFolder>(n);
    return *slot;
}

// Enumeration, records and sort together, as the dialog lists.
void BM_ListFolder(benchmark::State& state) {
    const BenchFolder& folder = FolderOf(static_cast<int>(state.range(0)));
    const auto mode = static_cast<folv::SortMode>(state.range(1));
    const std::u16string dir = folder.WorkingDir();
    const std::u16string pattern = dir + u"*.dwg";
    folv::CListF list;
    for (auto _ : state) {
        const folv::ListingResult result = folv::ListFolder(pattern, dir, mode, list, nullptr);
        benchmark::DoNotOptimize(result.count);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The sort alone, on a listing that starts each time from the enumeration order.
void BM_SortFiles(benchmark::State& state) {
    const BenchFolder& folder = FolderOf(static_cast<int>(state.range(0)));
    const auto mode = static_cast<folv::SortMode>(state.range(1));
    const std::u16string dir = folder.WorkingDir();
    folv::CListF list;
    folv::ListFolder(dir + u"*.dwg", dir, static_cast<folv::SortMode>(99), list, nullptr);
    for (auto _ : state) {
        list.SortFiles(mode);
        list.ReverseFiles();
        state.PauseTiming();
        // Back to an order the key does not give, so each round sorts for real.
        list.SortFiles(static_cast<folv::SortMode>((static_cast<int>(mode) + 1) % 3));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int n : {1000, 10000, 100000}) {
        for (int mode : {0, 1, 2})
            b->Args({n, mode});
    }
    b->ArgNames({"files", "mode"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ListFolder)->Apply(Sizes);
BENCHMARK(BM_SortFiles)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Folders().clear();
    return 0;
}
