#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/host_bridge.h"
#include "model/session.h"
#include "platform/prompts.h"
#include "platform/text.h"
#include "tests/model/fixture_host/fixture_host.h"

namespace folv {
namespace {

namespace fs = std::filesystem;
using testing::FixtureHost;
using Call = FixtureHost::Call;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "folv_host_XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::u16string U(const std::string& name = {}) const {
        return FromUtf8(name.empty() ? path_.string() : (path_ / name).string());
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// Runs with `dir` as the current folder, where the library's search finds <name>.DLL.
class LibraryBeside {
  public:
    LibraryBeside(const TempDir& dir, const char* dllName) : saved_(fs::current_path()) {
        std::ofstream(dir.path() / dllName).put('x');
        fs::current_path(dir.path());
    }
    ~LibraryBeside() { fs::current_path(saved_); }

  private:
    fs::path saved_;
};

FixtureHost& Host(std::u16string_view name) {
    FixtureHost& host = FixtureHost::Get(name);
    host.Reset();
    return host;
}

std::unique_ptr<ExplorerSession> Library(std::u16string_view host, ScriptedPrompts& prompts,
                                         std::u16string app = u"FOLVNOSUCHLIBRARY") {
    auto session = MakeLibrarySession(std::u16string(host), prompts, std::move(app));
    session->DetectHost();
    return session;
}

std::vector<Call> Informed(const FixtureHost& host) {
    std::vector<Call> calls;
    for (const auto& c : host.Calls()) {
        if (c.name.rfind("Set", 0) == 0)
            calls.push_back(c);
    }
    return calls;
}

TEST(HostBridge, HostNotLoadedDegradesQuietly) {
    for (std::u16string name : {u"", u"NOSUCHHOST.ARX"}) {
        DynamicHostBridge bridge(name);
        PathBuffer buffer;
        buffer.Assign(u"stale");
        EXPECT_FALSE(bridge.Loaded());
        EXPECT_FALSE(bridge.Has(HostFunction::GetStartDir));
        EXPECT_FALSE(bridge.GetStartDir(buffer).has_value());
        EXPECT_TRUE(buffer.empty());
        EXPECT_FALSE(bridge.GetWhatToGrayOut().has_value());
        EXPECT_FALSE(bridge.SetDefLayer(u"L"));
        EXPECT_FALSE(bridge.AcadInsert(u"/a.dwg"));

        ScriptedPrompts prompts;
        auto session = Library(name, prompts);
        EXPECT_FALSE(session->hostPresent);
        EXPECT_FALSE(session->acadParameter);
        EXPECT_EQ(session->ReadHostDefaults(), 0);
        session->selectedFile = u"A.DWG";
        EXPECT_EQ(session->InformHost(-1), 0);
        EXPECT_TRUE(prompts.Messages().empty());
    }
}

TEST(HostBridge, FindsEachFunctionByNameInTheNamedModule) {
    FixtureHost& full = Host(testing::kFullHost);
    FixtureHost& start = Host(testing::kStartOnlyHost);
    DynamicHostBridge fullBridge(u"folvane.arx");  // the name matches without regard to case
    DynamicHostBridge startBridge(std::u16string(testing::kStartOnlyHost));
    for (int f = 0; f <= static_cast<int>(HostFunction::AcadRecover); ++f) {
        auto fn = static_cast<HostFunction>(f);
        EXPECT_TRUE(fullBridge.Has(fn)) << HostFunctionName(fn);
        bool startValue = fn == HostFunction::GetStartDir || fn == HostFunction::GetStartExt ||
                          fn == HostFunction::GetWhatToGrayOut;
        EXPECT_EQ(startBridge.Has(fn), startValue) << HostFunctionName(fn);
    }
    PathBuffer path;
    path.Assign(u"/d/A.DWG");
    EXPECT_TRUE(fullBridge.AcadOpen(path));
    EXPECT_TRUE(fullBridge.AcadInsert(u"/d/B.DWG"));
    EXPECT_TRUE(fullBridge.AcadXRef(path));
    EXPECT_TRUE(fullBridge.AcadRecover(path));
    EXPECT_FALSE(startBridge.AcadXRef(path));
    EXPECT_EQ(full.Calls(), (std::vector<Call>{{"AcadOpen", u"/d/A.DWG"},
                                               {"AcadInsert", u"/d/B.DWG"},
                                               {"AcadXRef", u"/d/A.DWG"},
                                               {"AcadRecover", u"/d/A.DWG"}}));
    EXPECT_TRUE(start.Calls().empty());
}

TEST(HostBridge, HostThatFillsWholeBuffersIsCutAtTheLastCharacter) {
    FixtureHost& host = Host(testing::kFullHost);
    host.SetOverfill(true);
    host.SetStartDir(u"", 1);
    host.SetStartExt(u"", 1);
    DynamicHostBridge bridge(std::u16string(testing::kFullHost));
    PathBuffer buffer;
    ASSERT_EQ(bridge.GetStartDir(buffer), 1);
    EXPECT_EQ(buffer.View(), std::u16string(259, u'X'));
    ASSERT_TRUE(bridge.AcadParameter(u"GETPATH", buffer));
    EXPECT_EQ(buffer.size(), 259u);
    ScriptedPrompts prompts;
    auto session = Library(testing::kFullHost, prompts);
    EXPECT_EQ(session->ReadHostDefaults(), 1);
    EXPECT_EQ(session->workingDir.size(), 259u);
    EXPECT_EQ(session->filter.size(), 259u);
}

TEST(HostBridge, CompleteHostStartsTheRunAndHearsTheChoiceOnCancel) {
    TempDir dir;
    FixtureHost& host = Host(testing::kFullHost);
    std::u16string start = dir.U("start") + u"/";
    fs::create_directory(dir.path() / "start");
    host.SetStartDir(start, 1);
    host.SetStartExt(u"*.dwg", 1);
    host.SetMask(0x108);
    // The library is not on the search path: the host says where it is.
    host.SetParameter(dir.U("FOLVANE.DLL"));

    ScriptedPrompts prompts;
    auto session = Library(testing::kFullHost, prompts);
    EXPECT_TRUE(session->hostPresent);
    EXPECT_TRUE(session->acadParameter);
    ASSERT_EQ(session->ReadSettings(), SettingsOutcome::Read);
    // The start folder, not the library's, holds the settings.
    EXPECT_EQ(session->settingsPath, start + u"FOLVANE.INI");
    EXPECT_TRUE(fs::exists(dir.path() / "start" / "FOLVANE.INI"));
    EXPECT_EQ(host.CallNames(),
              (std::vector<std::string>{"AcadParameter", "GetStartDir", "GetStartExt",
                                        "GetWhatToGrayOut", "GetStartDir"}));
    EXPECT_EQ(host.Calls()[0].arg, u"GETPATH");

    session->FillPageList();
    session->hostDefaultsMissing = !session->ReadHostDefaults();
    EXPECT_FALSE(session->hostDefaultsMissing);
    EXPECT_EQ(session->grayOutMask, 0x108);
    EXPECT_EQ(session->workingDir, start);
    EXPECT_EQ(session->filter, u"*.dwg");

    // Cancel: the page state is stored and written; the host hears everything but a command.
    host.Reset();
    session->pages[0]->Layer = u"WALLS";
    session->pages[0]->Colour = u"3";
    session->selectedFile = u"/data/plans/plan1.dwg";
    session->workingDir = u"/data/plans/";
    session->StorePageState(0);
    session->WriteSettings(0);
    EXPECT_EQ(host.Calls(), (std::vector<Call>{{"SetDefLayer", u"WALLS"},
                                               {"SetDefColour", u"3"},
                                               {"SetSelectedFile", u"PLAN1.DWG"},
                                               {"SetWorkingDirPath", u"/data/plans/"}}));
    // Once per run.
    session->WriteSettings(0);
    EXPECT_EQ(host.Calls().size(), 4u);
    EXPECT_TRUE(prompts.Messages().empty());
}

TEST(HostBridge, InformHostSendsOnlyWhatIsSetAndTheCommandLast) {
    FixtureHost& host = Host(testing::kFullHost);
    ScriptedPrompts prompts;
    auto session = Library(testing::kFullHost, prompts);
    session->pages.push_back(std::make_unique<InIData>());
    session->pages[0]->Layer = u"L1";
    session->hostCommand = u"insert";
    session->selectedFile = u"b.dwg";
    EXPECT_EQ(session->InformHost(0), 1);
    EXPECT_EQ(Informed(host), (std::vector<Call>{{"SetDefLayer", u"L1"},
                                                 {"SetSelectedFile", u"B.DWG"},
                                                 {"SetAcadCommandToExec", u"insert"}}));
    // Nothing selected: no layer nor colour, whatever the pages hold.
    host.Reset();
    session->InformHost(-1);
    EXPECT_EQ(host.CallNames(),
              (std::vector<std::string>{"SetSelectedFile", "SetAcadCommandToExec"}));
    // A name longer than the host takes is not sent.
    host.Reset();
    session->selectedFile = u"/d/" + std::u16string(256, u'a');
    session->hostCommand.clear();
    session->InformHost(-1);
    EXPECT_TRUE(host.Calls().empty());
}

TEST(HostBridge, HostWithOnlyTheStartValuesIsToldItIsOutOfDateOnce) {
    TempDir dir;
    FixtureHost& host = Host(testing::kStartOnlyHost);
    host.SetStartDir(dir.U() + u"/", 1);
    host.SetStartExt(u"*.DWG", 1);
    host.SetMask(0x004);
    LibraryBeside library(dir, "folvhosttest.dll");

    ScriptedPrompts prompts;
    auto session = Library(testing::kStartOnlyHost, prompts, u"FOLVHOSTTEST");
    EXPECT_TRUE(session->hostPresent);
    EXPECT_FALSE(session->acadParameter);
    ASSERT_EQ(session->ReadSettings(), SettingsOutcome::Read);
    EXPECT_EQ(session->settingsPath, dir.U("FOLVANE.INI"));
    session->hostDefaultsMissing = !session->ReadHostDefaults();
    EXPECT_FALSE(session->hostDefaultsMissing);
    EXPECT_EQ(session->grayOutMask, 0x004);
    EXPECT_EQ(session->filter, u"*.DWG");

    session->WriteSettings(-1);
    session->WriteSettings(-1);
    ASSERT_EQ(prompts.Messages().size(), 1u);
    const auto& m = prompts.Messages()[0];
    EXPECT_EQ(m.text,
              u"Error.Layer definition failed.Possible reason: FOLVANE.ARX is out of date.");
    EXPECT_EQ(m.caption, u"Folvane");
    EXPECT_EQ(m.icon, PromptIcon::None);
    EXPECT_EQ(m.buttons, PromptButtons::Ok);
    // Insert informs directly: the message comes each time.
    session->InformHost(-1);
    EXPECT_EQ(prompts.Messages().size(), 2u);
}

TEST(HostBridge, StartDirAnswerZeroKeepsTheFolderButTheBufferPlacesTheSettings) {
    FixtureHost& host = Host(testing::kFullHost);
    host.SetParameter(u"/opt/folvane/FOLVANE.DLL");
    host.SetStartDir(u"/srv/left/by/host", 0);
    ScriptedPrompts prompts;
    auto session = Library(testing::kFullHost, prompts);
    ASSERT_TRUE(session->LocateSettings());
    EXPECT_EQ(session->workingDir, u"");
    EXPECT_EQ(session->settingsPath, u"/srv/left/by/FOLVANE.INI");

    host.SetStartDir(u"", 0);
    auto bare = Library(testing::kFullHost, prompts);
    ASSERT_TRUE(bare->LocateSettings());
    EXPECT_EQ(bare->settingsPath, u"FOLVANE.INI");
}

TEST(HostBridge, HostWithoutStartValuesGivesTheLibraryFolderAndIsNotInformedOnClose) {
    TempDir dir;
    FixtureHost& host = Host(testing::kNoStartHost);
    host.SetParameter(dir.U("FOLVANE.DLL"));
    ScriptedPrompts prompts;
    auto session = Library(testing::kNoStartHost, prompts);
    ASSERT_TRUE(session->acadParameter);
    ASSERT_EQ(session->ReadSettings(), SettingsOutcome::Read);
    EXPECT_EQ(session->settingsPath, dir.U("FOLVANE.INI"));
    session->hostDefaultsMissing = !session->ReadHostDefaults();
    EXPECT_TRUE(session->hostDefaultsMissing);
    EXPECT_FALSE(session->getStartDir);

    session->workingDir = u"/w/";
    session->hostCommand = u"xref";
    session->WriteSettings(0);
    EXPECT_TRUE(Informed(host).empty());
    EXPECT_FALSE(session->hostInformed);
    // Insert still informs it directly.
    session->InformHost(0);
    EXPECT_EQ(host.CallNames().back(), "SetAcadCommandToExec");
}

TEST(HostBridge, NoPathFromSearchOrHostEndsTheDialogWith106) {
    Host(testing::kFullHost).SetParameter(u"");
    ScriptedPrompts prompts;
    auto session = Library(testing::kFullHost, prompts);
    EXPECT_EQ(session->ReadSettings(), SettingsOutcome::EndDialog);
    ASSERT_EQ(prompts.Messages().size(), 1u);
    EXPECT_EQ(prompts.Messages()[0].text, u"Fatal error!Could not define program path.");
    EXPECT_EQ(prompts.Messages()[0].caption, u"Folvane message");
    EXPECT_TRUE(session->settingsPath.empty());
}

// --- the plug-in's own bridge ---

std::vector<std::pair<std::string, std::u16string>> pluginCalls;
std::u16string pluginStart;
int PlugStartDir(char16_t* b) {
    pluginCalls.emplace_back("GetStartDir", u"");
    if (pluginStart.empty())
        return 0;
    pluginStart.copy(b, pluginStart.size());
    b[pluginStart.size()] = 0;
    return 1;
}
int PlugStartExt(char16_t*) {
    return 0;
}
int PlugMask() {
    return 0;
}
void PlugCommand(const char16_t* t) {
    pluginCalls.emplace_back("SetAcadCommandToExec", t);
}
void PlugFile(const char16_t* t) {
    pluginCalls.emplace_back("SetSelectedFile", t);
}
void PlugInsert(const char16_t* t) {
    pluginCalls.emplace_back("AcadInsert", t);
}

TEST(HostBridge, PluginBuildCallsItsOwnFunctions) {
    TempDir dir;
    pluginCalls.clear();
    pluginStart = dir.U("folx2011.arx");
    HostFunctionTable table;
    table.getStartDir = PlugStartDir;
    table.getStartExt = PlugStartExt;
    table.getWhatToGrayOut = PlugMask;
    table.setSelectedFile = PlugFile;
    table.setAcadCommandToExec = PlugCommand;
    table.acadInsert = PlugInsert;
    ScriptedPrompts prompts;
    auto session = MakePluginSession(table, prompts);
    session->DetectHost();
    EXPECT_FALSE(session->hostPresent);  // no host detection in this build
    EXPECT_TRUE(session->HostLoaded());
    EXPECT_FALSE(session->Host().Has(HostFunction::AcadParameter));
    PathBuffer buffer;
    buffer.Assign(u"stale");
    EXPECT_FALSE(session->Host().AcadParameter(u"GETPATH", buffer));
    EXPECT_TRUE(buffer.empty());

    session->filter = u"*.DWG";
    ASSERT_EQ(session->ReadSettings(), SettingsOutcome::Read);
    EXPECT_EQ(session->settingsPath, dir.U("FOLVANE.INI"));
    EXPECT_EQ(session->filter, u"*.DWG");  // GetStartExt answered 0
    EXPECT_EQ(session->workingDir, pluginStart);

    session->selectedFile = u"plan.dwg";
    session->hostCommand = u"insert";
    EXPECT_TRUE(session->Host().AcadInsert(u"/p/PLAN.DWG"));
    session->WriteSettings(-1);
    EXPECT_TRUE(prompts.Messages().empty());  // no layer setter, and no "out of date" here
    EXPECT_EQ(pluginCalls, (std::vector<std::pair<std::string, std::u16string>>{
                               {"GetStartDir", u""},
                               {"GetStartDir", u""},
                               {"AcadInsert", u"/p/PLAN.DWG"},
                               {"SetSelectedFile", u"PLAN.DWG"},
                               {"SetAcadCommandToExec", u"insert"}}));
}

}  // namespace
}  // namespace folv
