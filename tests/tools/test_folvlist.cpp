#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/fixtures/dib.h"
#include "tools/fixtures/dwg.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class FolvlistTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "folv-folvlist-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Runs the tool with its output in files, so that nothing can block on a full pipe.
    RunResult Run(std::vector<std::string> args) {
        const fs::path outPath = root_ / "stdout.txt";
        const fs::path errPath = root_ / "stderr.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        args.insert(args.begin(), FOLVLIST_PATH);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        RunResult result;
        const int spawned =
            posix_spawn(&pid, FOLVLIST_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << FOLVLIST_PATH;
            return result;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadAll(outPath);
        result.err = ReadAll(errPath);
        return result;
    }

    fs::path Folder(const std::string& name) {
        fs::path dir = root_ / name;
        fs::create_directories(dir);
        return dir;
    }

    static void Write(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                      std::int64_t mtime) {
        ASSERT_TRUE(folv::fixtures::WriteFileBytes(path, bytes)) << path;
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }

    static std::vector<std::uint8_t> Text(const std::string& text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }

    fs::path root_;
};

std::vector<std::uint8_t> Drawing(const std::string& signature) {
    const folv::fixtures::DibImage image = folv::fixtures::SolidImage(
        8, 4, 8, 3, {{0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}});
    return folv::fixtures::DrawingWithPreview(signature, image);
}

TEST_F(FolvlistTest, PrintsOneLinePerFileInDisplayOrder) {
    const fs::path dir = Folder("drawings");
    const std::vector<std::uint8_t> r2000 = Drawing("AC1015");
    const std::vector<std::uint8_t> r2010 = Drawing("AC1024");
    folv::fixtures::DwgSpec bare;  // a Release 12 drawing: no preview to read
    bare.signature = "AC1009";
    bare.imageData = false;
    const std::vector<std::uint8_t> r12 = folv::fixtures::BuildDwg(bare);
    Write(dir / "b.dwg", r2000, 300);
    Write(dir / "A.dwg", r12, 100);
    Write(dir / "c.DWG", r2010, 200);
    Write(dir / "_notes.dwg", Text("not a drawing"), 400);
    Write(dir / "readme.txt", Text("skip me"), 500);
    fs::create_directory(dir / "sub.dwg");

    const std::string pattern = (dir / "*.dwg").string();
    auto line = [](int position, const std::string& name, std::size_t size, int modified,
                   int version, int preview) {
        return std::to_string(position) + "\t" + name + "\t" + std::to_string(size) + "\t" +
               std::to_string(modified) + "\t" + std::to_string(version) + "\t" +
               std::to_string(preview);
    };

    RunResult byName = Run({pattern});
    EXPECT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_THAT(Lines(byName.out), ElementsAre(line(1, "_notes.dwg", 13, 400, 0, 0),
                                               line(2, "A.dwg", r12.size(), 100, 17, 0),
                                               line(3, "b.dwg", r2000.size(), 300, 24, 1),
                                               line(4, "c.DWG", r2010.size(), 200, 0, 0)));

    // The plug-in build knows the 2010 release and reads its preview.
    RunResult plugin = Run({"--plugin", "--sort", "date", pattern});
    EXPECT_EQ(plugin.exitCode, 0) << plugin.err;
    EXPECT_THAT(Lines(plugin.out), ElementsAre(line(1, "A.dwg", r12.size(), 100, 17, 0),
                                               line(2, "c.DWG", r2010.size(), 200, 27, 1),
                                               line(3, "b.dwg", r2000.size(), 300, 24, 1),
                                               line(4, "_notes.dwg", 13, 400, 0, 0)));
}

TEST_F(FolvlistTest, SortBySizeListsEqualSizesInReverseEnumerationOrder) {
    const fs::path dir = Folder("sizes");
    Write(dir / "p.dwg", Text("12345"), 1);
    Write(dir / "Q.dwg", Text("12345"), 1);
    Write(dir / "r.dwg", Text("1"), 1);
    RunResult run = Run({"--sort", "size", (dir / "*.DWG").string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> names;
    for (const std::string& l : Lines(run.out))
        names.push_back(l.substr(2, l.find('\t', 2) - 2));
    EXPECT_THAT(names, ElementsAre("r.dwg", "Q.dwg", "p.dwg"));
}

TEST_F(FolvlistTest, FindPrintsThePositionOrNone) {
    const fs::path dir = Folder("find");
    // Dates put the names in this display order whatever the enumeration does.
    Write(dir / "xab.dwg", Text("x"), 10);
    Write(dir / "Abc.dwg", Text("x"), 20);
    Write(dir / "abd.dwg", Text("x"), 30);
    const std::string pattern = (dir / "*.dwg").string();
    RunResult hit = Run({"--sort", "date", "--find", "AB", pattern});
    EXPECT_EQ(hit.exitCode, 0);
    EXPECT_EQ(hit.out, "2\n");
    RunResult miss = Run({"--find", "abcdef", pattern});
    EXPECT_EQ(miss.exitCode, 0);
    EXPECT_EQ(miss.out, "none\n");
}

TEST_F(FolvlistTest, NothingFoundExitsOne) {
    const fs::path dir = Folder("empty");
    fs::create_directory(dir / "only-a-folder.dwg");
    for (const std::string& pattern :
         {(dir / "*.dwg").string(), (dir / "*.bmp").string(), (root_ / "missing/*.dwg").string()}) {
        RunResult run = Run({pattern});
        EXPECT_EQ(run.exitCode, 1) << pattern;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    }
}

TEST_F(FolvlistTest, BadUsageExitsTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--sort"},
        {"--sort", "colour", "a/*.dwg"},
        {"--find"},
        {"--bogus", "a/*.dwg"},
        {"a/*.dwg", "b/*.dwg"},
    };
    for (const auto& args : cases) {
        RunResult run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(run.err, HasSubstr("usage: folvlist"));
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(FolvlistTest, Utf8NamesAndFolders) {
    const fs::path dir = Folder("pl\xc3\xa4ne");
    Write(dir /
              "\xc3\xbc"
              "ber.dwg",
          Text("x"), 5);
    RunResult run = Run({(dir / "*.dwg").string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "1\t\xc3\xbc"
              "ber.dwg\t1\t5\t0\t0\n");
    RunResult find = Run({"--find", "\xc3\xbc", (dir / "*.dwg").string()});
    EXPECT_EQ(find.out, "1\n");
}

}  // namespace
