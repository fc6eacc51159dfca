#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "explorer/resources/string_table.h"
#include "model/pages.h"
#include "model/session.h"
#include "platform/prompts.h"
#include "platform/text.h"

namespace folv {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// --- helpers ---

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "folv_settings_XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const char* name) const { return path_ / name; }
    const fs::path& path() const { return path_; }
    std::u16string U(const char* name) const { return FromUtf8((path_ / name).string()); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

  private:
    fs::path path_;
};

void WriteBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Show(const InIData& p) {
    std::string s = ToUtf8(p.Name);
    for (const auto* f :
         {&p.Application, &p.WorkingDir, &p.Extension, &p.Status, &p.Layer, &p.Colour}) {
        s += '|' + ToUtf8(*f);
    }
    return s;
}

std::vector<std::string> Show(const PageList& pages) {
    std::vector<std::string> out;
    for (const auto& p : pages)
        out.push_back(Show(*p));
    return out;
}

PageList Parse(std::string_view bytes, std::size_t chunk = 7) {
    SettingsReader reader;
    // Odd chunk sizes: a CR LF or a piece may straddle two feeds.
    for (std::size_t i = 0; i < bytes.size(); i += chunk)
        reader.Feed(bytes.substr(i, chunk));
    PageList pages;
    reader.Finish(pages);
    return pages;
}

std::unique_ptr<InIData> Page(std::u16string name, std::u16string dir, std::u16string ext,
                              std::u16string status, std::u16string layer = u"",
                              std::u16string colour = u"", std::u16string app = u"") {
    auto p = std::make_unique<InIData>();
    p->Name = std::move(name);
    p->Application = std::move(app);
    p->WorkingDir = std::move(dir);
    p->Extension = std::move(ext);
    p->Status = std::move(status);
    p->Layer = std::move(layer);
    p->Colour = std::move(colour);
    return p;
}

// --- ParseValue ---

TEST(ParseValue, ExtractsValuesAsTheFileHasThem) {
    struct Case {
        const char16_t* line;
        const char16_t* from;
        const char16_t* expected;
    } cases[] = {
        {u"[Folvane = Page 0]\n", u"[Folvane", u"Page 0"},
        {u"[Folvane= My page ]\n", u"[Folvane", u"My page "},  // trailing space stays
        {u"[Folvane=]\n", u"[Folvane", u""},
        {u"WorkingDir=/data/dwg/\n", u"WorkingDir", u"/data/dwg/"},
        {u"Status = 1\n", u"Status", u"1"},
        {u"Extension=*.D=W=G\n", u"Extension", u"*.DWG"},  // every '=' is lost
        {u"Layer=ab]cd\n", u"Layer", u"ab"},               // cut at ']'
        {u"Layer=\t = x y\n", u"Layer", u"x y"},
        {u"Colour\n", u"Colour", u""},          // no '=' before the line feed
        {u"Colour", u"Colour", u""},            // nor before the end
        {u"Layer\nColour=3\n", u"Layer", u""},  // never past the line feed
        {u"Application=/opt/viewer", u"Application", u"/opt/viewer"},
    };
    for (const auto& c : cases) {
        std::u16string_view line = c.line;
        PathBuffer value;
        value.Assign(u"stale");
        ParseValue(line, line.find(c.from), value);
        EXPECT_EQ(ToUtf8(value.View()), ToUtf8(c.expected)) << ToUtf8(line);
    }
    PathBuffer value;
    ParseValue(u"Layer=x", 99, value);
    EXPECT_TRUE(value.empty());
}

// --- reading ---

TEST(SettingsReader, ReadsTheWrittenLayoutExactly) {
    std::string file =
        "[Folvane=Plans]\r\n"
        "Application=/usr/bin/viewer\r\n"
        "WorkingDir=/data/plans/\r\n"
        "Extension=*.DWG\r\n"
        "Status=0\r\n"
        "Layer=WALLS\r\n"
        "Colour=3\r\n"
        "[Folvane=Pictures]\r\n"
        "Application=\r\n"
        "WorkingDir=/data/pic/\r\n"
        "Extension=*.*\r\n"
        "Status=1\r\n"
        "Layer=Current_layer\r\n"
        "Colour=\r\n";
    EXPECT_EQ(Show(Parse(file)), (std::vector<std::string>{
                                     "Plans|/usr/bin/viewer|/data/plans/|*.DWG|0|WALLS|3",
                                     "Pictures||/data/pic/|*.*|1|Current_layer|",
                                 }));
    // The same with bare line feeds, fed all at once.
    std::string lf;
    for (char c : file) {
        if (c != '\r')
            lf.push_back(c);
    }
    EXPECT_EQ(Show(Parse(lf, lf.size())), Show(Parse(file, 1)));
}

TEST(SettingsReader, EdgeCases) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> pages;
    } cases[] = {
        {"new file layout",
         "[Folvane = Page 0]\r\nApplication=\r\nWorkingDir=/s/\r\nExtension=\r\nStatus=0\r\n",
         {"Page 0||/s/||0||"}},
        {"last section without status becomes current",
         "[Folvane=A]\nStatus=0\n[Folvane=B]\nWorkingDir=/b/\n",
         {"A||||0||", "B||/b/||1||"}},
        {"only section without status is not current",
         "[Folvane=A]\nWorkingDir=/a/\n",
         {"A||/a/||0||"}},
        {"two current pages both read",
         "[Folvane=A]\nStatus=1\n[Folvane=B]\nStatus=1\n",
         {"A||||1||", "B||||1||"}},
        {"empty title", "[Folvane=]\nStatus=0\n", {"||||0||"}},
        {"name with WorkingDir is a key line of the previous page",
         "[Folvane=A]\nStatus=0\n[Folvane=My WorkingDir]\nWorkingDir=/x/\nColour=5\n",
         {"A||/x/||0||5"}},
        {"name with Layer resets the previous page's layer",
         "[Folvane=A]\nLayer=L1\n[Folvane=Layer two]\nStatus=0\n",
         {"A||||0|Current_layer|"}},
        {"name with Status has no effect", "[Folvane=A Status]\nStatus=0\n", {"A Status||||0||"}},
        {"application path containing Layer is a Layer line",
         "[Folvane=A]\nLayer=L1\nApplication=/opt/Layer/tool\nStatus=0\n",
         {"A||||0|Current_layer|"}},
        {"application path containing Colour is an empty Colour line",
         "[Folvane=A]\nColour=4\nApplication=/opt/Colour/tool\nStatus=0\n",
         {"A||||0||4"}},
        {"application that is a folder or drive is ignored",
         "[Folvane=A]\nApplication=C:\\tools\\\n[Folvane=B]\nApplication=D:\n"
         "[Folvane=C]\nApplication=/opt/\n[Folvane=D]\nApplication=/opt/x\n",
         {"A||||0||", "B||||0||", "C||||0||", "D|/opt/x|||1||"}},
        {"empty layer means current layer", "[Folvane=A]\nLayer=\n", {"A||||0|Current_layer|"}},
        {"empty colour or folder changes nothing",
         "[Folvane=A]\nColour=2\nColour=\nWorkingDir=/a/\nWorkingDir=\n",
         {"A||/a/||0||2"}},
        {"key line before the first header changes nothing",
         "WorkingDir=/lost/\nStatus=1\n[Folvane=A]\nStatus=0\n",
         {"A||||0||"}},
        {"trailing header without key lines is dropped",
         "[Folvane=A]\nStatus=0\n[Folvane=B]\n",
         {"A||||0||"}},
        {"header after header keeps the first",
         "[Folvane=A]\n[Folvane=B]\nStatus=0\n",
         {"A||||0||", "B||||0||"}},
        {"keys are case-sensitive", "[Folvane=A]\nworkingdir=/x/\nSTATUS=1\n[folvane=B]\n", {}},
        {"no headers at all", "Status=1\nWorkingDir=/x/\nrandom text\n", {}},
        {"no line end at the end", "[Folvane=A]\nColour=7", {"A||||0||7"}},
        {"lone CR stays in the value", "[Folvane=A]\nColour=7\r\r\n", {"A||||0||7\r"}},
        {"NUL hides the rest of its line", "[Folvane=A]\nColour=7\0Layer=X\n"s, {"A||||0||7"}},
        {"file of the original program, touched by a user's editor",
         "\xEF\xBB\xBF[Folvane=Pl\xE4ne ]\r\nApplication=C:\\Program Files\\V\\v.exe\r\n"
         "WorkingDir=C:\\Drawings\\ \r\nExtension=*.DWG\r\nStatus=1\r\nLayer=0\r\nColour=7",
         {"Pl\xC3\xA4ne |C:\\Program Files\\V\\v.exe|C:\\Drawings\\ |*.DWG|1|0|7"}},
        {"status line also tested for other keys",
         "[Folvane=A]\nStatus=1 Colour=9\n",
         {"A||||1 Colour9||9"}},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Show(Parse(c.file)), c.pages) << c.name;
    }
}

TEST(SettingsReader, CutsLongLinesIntoPiecesOf259) {
    // The key at the start of the second piece is found; one split by the cut is not.
    std::string file = "[Folvane=A]\n" + std::string(259, 'x') + "Colour=7\n" +
                       std::string(255, 'y') + "WorkingDir=/no/\n" + "Status=0\n";
    EXPECT_EQ(Show(Parse(file)), std::vector<std::string>{"A||||0||7"});
    // A line of exactly 259 characters: its line feed comes as an empty piece.
    std::string exact = "[Folvane=A]\n" + std::string(259 - 9, 'z') + "Layer=abc\nStatus=0\n";
    EXPECT_EQ(Show(Parse(exact)), std::vector<std::string>{"A||||0|abc|"});
}

// --- writing ---

TEST(FormatSettings, WritesSevenLineSectionsWithTheirRules) {
    PageList pages;
    pages.push_back(Page(u"A", u"/a/", u"*.", u"1", u"L", u"3", u"/bin/app"));
    pages.push_back(Page(u"B", u"", u"*.DWG", u"1"));
    pages.push_back(Page(u"C", u"", u"", u"x"));
    EXPECT_EQ(FormatSettings(pages),
              "[Folvane=A]\r\nApplication=/bin/app\r\nWorkingDir=/a/\r\nExtension=*.*\r\n"
              "Status=1\r\nLayer=L\r\nColour=3\r\n"
              "[Folvane=B]\r\nApplication=\r\nWorkingDir=\r\nExtension=*.DWG\r\n"
              "Status=0\r\nLayer=\r\nColour=\r\n"
              "[Folvane=C]\r\nApplication=\r\nWorkingDir=\r\nExtension=\r\n"
              "Status=x\r\nLayer=\r\nColour=\r\n");
    EXPECT_EQ(FormatSettings(PageList{}), "");
}

TEST(FormatSettings, NewFileHasTwentyFiveLineSections) {
    PageList pages;
    std::string file = FormatNewSettings(u"/start/", pages);
    ASSERT_EQ(pages.size(), 20u);
    std::string first =
        "[Folvane = Page 0]\r\nApplication=\r\nWorkingDir=/start/\r\nExtension=\r\n"
        "Status=0\r\n";
    EXPECT_EQ(file.substr(0, first.size()), first);
    EXPECT_NE(file.find("[Folvane = Page 19]\r\n"), std::string::npos);
    EXPECT_EQ(Show(*pages[19]), "Page 19||||0|Current_layer|");
    // Read back, the pages keep their names and folder.
    auto read = Parse(file);
    ASSERT_EQ(read.size(), 20u);
    EXPECT_EQ(Show(*read[7]), "Page 7||/start/||0||");
}

TEST(FormatSettings, EveryByteCodeSurvivesWriteAndRead) {
    // All codes but the three that the format itself uses (line feed, '=' and ']') and NUL,
    // which ends a value as it ends a C string; two pages, so that no line needs a second
    // piece.
    std::u16string low = u"v";
    std::u16string high = u"w";
    for (char16_t c = 1; c <= 255; ++c) {
        if (c != u'\n' && c != u'=' && c != u']')
            (c < 128 ? low : high).push_back(c);
    }
    PageList pages;
    pages.push_back(Page(low, low, u"*.DWG", u"1", low, low, low));
    pages.push_back(Page(high, high, high, u"0", high, high, high));
    std::string bytes = FormatSettings(pages);
    // One byte per character, the line ends as CR LF.
    std::string raw;
    for (char16_t c : low)
        raw.push_back(static_cast<char>(c));
    EXPECT_EQ(bytes.substr(0, raw.size() + 12), "[Folvane=" + raw + "]\r\n");
    TempDir dir;
    ASSERT_TRUE(ReplaceSettingsFile(dir.U("FOLVANE.INI"), bytes));
    EXPECT_EQ(ReadBytes(dir / "FOLVANE.INI"), bytes);
    PageList read;
    ASSERT_EQ(ReadSettingsFile(dir.U("FOLVANE.INI"), read), SettingsFileState::Read);
    EXPECT_EQ(Show(read), Show(pages));
}

TEST(FormatSettings, CharacterAbove255OrLineFeedEndsTheValueNotTheLine) {
    PageList pages;
    pages.push_back(Page(u"Ab\u0416cd", u"/dir\u4e00/x/", u"*.DWG", u"1", u"L"));
    pages.push_back(Page(u"Next", u"/n/", u"*.*", u"0"));
    // A folder whose name holds a line feed must not smuggle lines into the file.
    pages.push_back(Page(u"Feed", u"/f\n[Folvane=Evil]\nStatus=1/", u"*.*", u"0", u"", u"",
                         u"/bin/a\nColour=9"));
    std::string bytes = FormatSettings(pages);
    EXPECT_NE(bytes.find("[Folvane=Ab]\r\nApplication=\r\nWorkingDir=/dir\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("[Folvane=Feed]\r\nApplication=/bin/a\r\nWorkingDir=/f\r\n"),
              std::string::npos);
    EXPECT_EQ(Show(Parse(bytes)),
              (std::vector<std::string>{"Ab||/dir|*.DWG|1|L|", "Next||/n/|*.*|0|Current_layer|",
                                        "Feed|/bin/a|/f|*.*|0|Current_layer|"}));
}

// --- the file on disk ---

TEST(SettingsFile, RoundTripsThroughDiskWithCrLf) {
    TempDir dir;
    PageList pages;
    pages.push_back(Page(u"A\xE9", u"/a/", u"*.DWG", u"1", u"L", u"2"));
    ASSERT_TRUE(ReplaceSettingsFile(dir.U("FOLVANE.INI"), FormatSettings(pages)));
    std::string disk = ReadBytes(dir / "FOLVANE.INI");
    EXPECT_EQ(disk.substr(0, 14), "[Folvane=A\xE9]\r\n");
    PageList read;
    ASSERT_EQ(ReadSettingsFile(dir.U("FOLVANE.INI"), read), SettingsFileState::Read);
    EXPECT_EQ(Show(read), Show(pages));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"FOLVANE.INI"});  // no leftovers
}

TEST(SettingsFile, FindsTheFileWhateverItsCaseAndKeepsThatName) {
    TempDir dir;
    WriteBytes(dir / "folvane.ini", "[Folvane=A]\r\nStatus=0\r\n");
    ::chmod((dir / "folvane.ini").c_str(), 0640);
    PageList read;
    ASSERT_EQ(ReadSettingsFile(dir.U("FOLVANE.INI"), read), SettingsFileState::Read);
    ASSERT_EQ(read.size(), 1u);
    ASSERT_TRUE(ReplaceSettingsFile(dir.U("FOLVANE.INI"), "new"));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"folvane.ini"});
    EXPECT_EQ(ReadBytes(dir / "folvane.ini"), "new");
    struct stat st {};
    ::stat((dir / "folvane.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(SettingsFile, ReplacingKeepsALinkAndWritesItsTarget) {
    TempDir dir;
    WriteBytes(dir / "real.ini", "old");
    fs::create_symlink(dir / "real.ini", dir / "FOLVANE.INI");
    ASSERT_TRUE(ReplaceSettingsFile(dir.U("FOLVANE.INI"), "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "FOLVANE.INI"));
    EXPECT_EQ(ReadBytes(dir / "real.ini"), "new");
}

TEST(SettingsFile, FailuresLeaveTheOldFileAsItWas) {
    TempDir dir;
    // Read-only: refused for reading (it cannot be opened for update) and for writing,
    // also for root, whom the modes do not stop.
    WriteBytes(dir / "FOLVANE.INI", "[Folvane=A]\r\nStatus=0\r\n");
    ::chmod((dir / "FOLVANE.INI").c_str(), 0444);
    PageList read;
    EXPECT_EQ(ReadSettingsFile(dir.U("FOLVANE.INI"), read), SettingsFileState::Unreadable);
    EXPECT_FALSE(ReplaceSettingsFile(dir.U("FOLVANE.INI"), "new"));
    EXPECT_EQ(ReadBytes(dir / "FOLVANE.INI"), "[Folvane=A]\r\nStatus=0\r\n");

    // A folder in the way.
    TempDir other;
    fs::create_directory(other / "FOLVANE.INI");
    WriteBytes(other / "FOLVANE.INI" / "keep", "k");
    EXPECT_EQ(ReadSettingsFile(other.U("FOLVANE.INI"), read), SettingsFileState::Unreadable);
    EXPECT_FALSE(ReplaceSettingsFile(other.U("FOLVANE.INI"), "new"));
    EXPECT_EQ(ReadBytes(other / "FOLVANE.INI" / "keep"), "k");

    // The folder is a file: there is no settings file, and none can be made.
    WriteBytes(other / "plain", "p");
    EXPECT_EQ(ReadSettingsFile(other.U("plain/FOLVANE.INI"), read), SettingsFileState::Missing);
    EXPECT_FALSE(ReplaceSettingsFile(other.U("plain/FOLVANE.INI"), "new"));
    EXPECT_TRUE(read.empty());
}

TEST(SettingsFile, FullDiskDuringWritingKeepsTheOldFile) {
    TempDir dir;
    std::string old = "[Folvane=Old]\r\nStatus=1\r\n";
    WriteBytes(dir / "FOLVANE.INI", old);
    // A file size limit makes write() fail part way, as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = ReplaceSettingsFile(dir.U("FOLVANE.INI"), std::string(10000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadBytes(dir / "FOLVANE.INI"), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"FOLVANE.INI"});
}

// Runs ReplaceSettingsFile in a child process as a user whom the modes stop (root is not
// stopped by them), optionally with a file size limit that makes writing fail part way.
bool ReplaceAsPlainUser(const fs::path& path, const std::string& bytes, rlim_t sizeLimit) {
    pid_t child = ::fork();
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        std::signal(SIGXFSZ, SIG_IGN);
        if (sizeLimit != RLIM_INFINITY) {
            rlimit small{sizeLimit, sizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        ::_exit(ReplaceSettingsFile(FromUtf8(path.string()), bytes) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SettingsFile, WritableFileInAFolderClosedToNewFilesIsWrittenInPlace) {
    TempDir dir;
    const std::string old = "[Folvane=Old]\r\nStatus=1\r\n";
    WriteBytes(dir / "FOLVANE.INI", old);
    ::chmod((dir / "FOLVANE.INI").c_str(), 0666);
    ::chmod(dir.path().c_str(), 0555);

    EXPECT_TRUE(ReplaceAsPlainUser(dir / "FOLVANE.INI", "new", RLIM_INFINITY));
    EXPECT_EQ(ReadBytes(dir / "FOLVANE.INI"), "new");

    // Failing part way puts the old content back rather than leaving the file cut.
    WriteBytes(dir / "FOLVANE.INI", old);
    EXPECT_FALSE(ReplaceAsPlainUser(dir / "FOLVANE.INI", std::string(10000, 'n'), 100));
    EXPECT_EQ(ReadBytes(dir / "FOLVANE.INI"), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"FOLVANE.INI"});
}

// --- hostile files ---

std::uint64_t Next(std::uint64_t& s) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
}

TEST(SettingsFile, HostileFilesLoadWhatTheyCan) {
    TempDir dir;
    // 50 MB of random bytes, with a valid section every 5 MB on a line of its own.
    std::string junk(50u << 20, '\0');
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i + 8 <= junk.size(); i += 8) {
        std::uint64_t r = Next(seed);
        for (int b = 0; b < 8; ++b)
            junk[i + b] = static_cast<char>(r >> (8 * b));
    }
    int sections = 0;
    for (std::size_t at = 1000; at + 100 < junk.size(); at += 5u << 20, ++sections) {
        std::string s = "\r\n[Folvane=S" + std::to_string(sections) +
                        "]\r\nColour=" + std::to_string(sections) + "\r\n";
        junk.replace(at, s.size(), s);
    }
    WriteBytes(dir / "FOLVANE.INI", junk);
    junk = {};
    PageList read;
    ASSERT_EQ(ReadSettingsFile(dir.U("FOLVANE.INI"), read), SettingsFileState::Read);
    ASSERT_EQ(read.size(), static_cast<std::size_t>(sections));
    EXPECT_EQ(read[3]->Name, u"S3");
    EXPECT_EQ(read[3]->Colour, u"3");

    // One line of 8 MB holding keys everywhere, and no line end at all.
    std::string line = "[Folvane=Long]\n";
    while (line.size() < (8u << 20))
        line += "Colour=1 Layer=2 WorkingDir=/x/ ";
    WriteBytes(dir / "FOLVANE.INI", line);
    read.clear();
    ASSERT_EQ(ReadSettingsFile(dir.U("FOLVANE.INI"), read), SettingsFileState::Read);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0]->Name, u"Long");
}

// --- the session's settings flow ---

std::u16string startDir;
int TestStartDir(char16_t* buffer) {
    startDir.copy(buffer, startDir.size());
    buffer[startDir.size()] = 0;
    return startDir.empty() ? 0 : 1;
}
int NoExt(char16_t*) {
    return 0;
}
int NoMask() {
    return 0;
}

HostFunctionTable PluginTable() {
    HostFunctionTable t;
    t.getStartDir = TestStartDir;
    t.getStartExt = NoExt;
    t.getWhatToGrayOut = NoMask;
    return t;
}

void ExpectWarning(const ScriptedPrompts& prompts, int id) {
    ASSERT_EQ(prompts.Messages().size(), 1u);
    const auto& m = prompts.Messages()[0];
    EXPECT_EQ(m.text, LoadString(id));
    EXPECT_EQ(m.caption, u"Folvane message");
    EXPECT_EQ(m.icon, PromptIcon::Warning);
    EXPECT_EQ(m.buttons, PromptButtons::Ok);
}

TEST(SessionSettings, NoFileMakesTwentyPagesAndClosingWritesThePageOnScreen) {
    TempDir dir;
    startDir = FromUtf8(dir.path().string()) + u"/module.arx";
    ScriptedPrompts prompts;
    auto session = MakePluginSession(PluginTable(), prompts);
    session->DetectHost();
    EXPECT_EQ(session->ReadSettings(), SettingsOutcome::Read);
    EXPECT_EQ(session->settingsPath, dir.U("FOLVANE.INI"));
    std::string made = ReadBytes(dir / "FOLVANE.INI");
    EXPECT_EQ(Show(Parse(made)).size(), 20u);
    EXPECT_NE(made.find("WorkingDir=" + ToUtf8(startDir) +
                        "\r\nExtension=\r\nStatus=0\r\n"
                        "[Folvane = Page 1]"),
              std::string::npos);

    auto names = session->FillPageList();
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names[19], u"Page 19");
    EXPECT_EQ(session->currentPage, 0);

    session->workingDir = u"/plans/";
    session->filter = u"*.DWG";
    session->StorePageState(0);
    session->WriteSettings(0);
    auto written = Parse(ReadBytes(dir / "FOLVANE.INI"));
    ASSERT_EQ(written.size(), 20u);
    EXPECT_EQ(Show(*written[0]), "Page 0||/plans/|*.DWG|1|Current_layer|");
    EXPECT_EQ(Show(*written[1]), "Page 1||||0|Current_layer|");
    EXPECT_TRUE(prompts.Messages().empty());
}

TEST(SessionSettings, LaterCurrentPageWinsAndOnlyTheFirstIsWrittenCurrent) {
    TempDir dir;
    WriteBytes(dir / "FOLVANE.INI",
               "[Folvane=A]\r\nStatus=1\r\n[Folvane=]\r\nStatus=0\r\n[Folvane=C]\r\nStatus=1\r\n");
    startDir = FromUtf8(dir.path().string()) + u"/";
    ScriptedPrompts prompts;
    auto session = MakePluginSession(PluginTable(), prompts);
    ASSERT_EQ(session->ReadSettings(), SettingsOutcome::Read);
    auto names = session->FillPageList();
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"Page 1", u"C"}));
    EXPECT_EQ(session->currentPage, 2);
    session->WriteSettings(-1);
    EXPECT_EQ(Show(Parse(ReadBytes(dir / "FOLVANE.INI"))),
              (std::vector<std::string>{"A||||1|Current_layer|", "Page 1||||0|Current_layer|",
                                        "C||||0|Current_layer|"}));
}

TEST(SessionSettings, StorePageStateKeepsTheApplicationOfHostedRuns) {
    ScriptedPrompts prompts;
    auto session = MakePluginSession(PluginTable(), prompts);
    session->pages.push_back(Page(u"A", u"", u"", u"1", u"", u"", u"/bin/a"));
    session->pages.push_back(Page(u"B", u"", u"", u"0", u"", u"", u"/bin/b"));
    session->workingDir = u"/w/";
    session->filter = u"*.BMP";
    session->application = u"/bin/new";
    session->StorePageState(-1);  // nothing selected: nothing changes
    EXPECT_EQ(Show(*session->pages[0]), "A|/bin/a|||1||");
    session->hostPresent = true;
    session->StorePageState(1);
    EXPECT_EQ(Show(*session->pages[0]), "A|/bin/a|||0||");
    EXPECT_EQ(Show(*session->pages[1]), "B|/bin/b|/w/|*.BMP|1||");
    session->hostPresent = false;
    session->StorePageState(0);
    EXPECT_EQ(Show(*session->pages[0]), "A|/bin/new|/w/|*.BMP|1||");
}

TEST(SessionSettings, ReadOnlyFileGives107ThenWritingGives105) {
    TempDir dir;
    WriteBytes(dir / "FOLVANE.INI", "[Folvane=A]\r\nStatus=0\r\n");
    ::chmod((dir / "FOLVANE.INI").c_str(), 0444);
    startDir = FromUtf8(dir.path().string()) + u"/";
    ScriptedPrompts prompts;
    auto session = MakePluginSession(PluginTable(), prompts);
    EXPECT_EQ(session->ReadSettings(), SettingsOutcome::Failed);
    EXPECT_TRUE(session->pages.empty());
    ExpectWarning(prompts, 107);
    prompts.ClearRecords();
    session->WriteSettings(-1);
    ExpectWarning(prompts, 105);
    EXPECT_EQ(ReadBytes(dir / "FOLVANE.INI"), "[Folvane=A]\r\nStatus=0\r\n");
}

TEST(SessionSettings, NewFileThatCannotBeMadeGives105) {
    TempDir dir;
    WriteBytes(dir / "plain", "p");
    startDir = FromUtf8((dir / "plain").string()) + u"/x";
    ScriptedPrompts prompts;
    auto session = MakePluginSession(PluginTable(), prompts);
    EXPECT_EQ(session->ReadSettings(), SettingsOutcome::Failed);
    EXPECT_TRUE(session->pages.empty());
    ExpectWarning(prompts, 105);
}

TEST(SessionSettings, LibraryWithoutItsFileOrHostGives106AndWritesNothing) {
    ScriptedPrompts prompts;
    auto session = MakeLibrarySession(u"", prompts, u"FOLVNOSUCHLIBRARY");
    session->DetectHost();
    EXPECT_FALSE(session->hostPresent);
    EXPECT_EQ(session->ReadSettings(), SettingsOutcome::EndDialog);
    ExpectWarning(prompts, 106);
    EXPECT_TRUE(session->settingsPath.empty());
    prompts.ClearRecords();
    session->WriteSettings(-1);
    EXPECT_TRUE(prompts.Messages().empty());
}

TEST(SessionSettings, LibraryFindsItsFolderAlongTheSearchPath) {
    TempDir dir;
    WriteBytes(dir / "folvsettingstest.dll", "");
    fs::path saved = fs::current_path();
    fs::current_path(dir.path());
    ScriptedPrompts prompts;
    auto session = MakeLibrarySession(u"", prompts, u"FOLVSETTINGSTEST");
    session->DetectHost();
    SettingsOutcome outcome = session->ReadSettings();
    fs::current_path(saved);
    EXPECT_EQ(outcome, SettingsOutcome::Read);
    EXPECT_EQ(session->settingsPath, dir.U("FOLVANE.INI"));
    EXPECT_EQ(session->pages.size(), 20u);
}

}  // namespace
}  // namespace folv
