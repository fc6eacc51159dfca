// FOLVANE.DLL as a host sees it: exactly four exports, and thumb run twice inside a fixture
// host, the second run reading what the first one wrote.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/modules.h"
#include "platform/text.h"
#include "tests/model/fixture_host/fixture_host.h"

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const auto space = text.rfind(' ');
        if (space != std::string::npos)
            names.insert(text.substr(space + 1));
    }
    pclose(pipe);
    return names;
}

TEST(ExportsTest, ExactlyTheFourExports) {
    const std::set<std::string> names = DefinedDynamicSymbols(FOLV_LIBRARY);
    EXPECT_EQ(names, (std::set<std::string>{"SetArxAppName", "SetMDI", "SetSINGLE", "thumb"}));
}

// What one run saw of its dialog before it was closed.
struct Seen {
    int selectedPage = -2;
    QString firstLabel;
    int messages = 0;
};

// Runs thumb while a timer plays the user: `act` gets the dialog, then the dialog is closed.
int RunThumb(int (*thumb)(), Seen& seen, const std::function<void(QWidget&)>& act) {
    QTimer timer;
    timer.setInterval(20);
    bool acted = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            ++seen.messages;
            box->done(QMessageBox::Yes);
            return;
        }
        if (acted)
            return;
        acted = true;
        if (auto* pages = modal->findChild<QTreeWidget*>("ctl1087")) {
            const auto selected = pages->selectedItems();
            seen.selectedPage = selected.isEmpty() ? -1 : pages->indexOfTopLevelItem(selected[0]);
        }
        if (auto* label = modal->findChild<QLabel*>("ctl1025"))
            seen.firstLabel = label->text();
        act(*modal);
        modal->close();
    });
    timer.start();
    return thumb();
}

TEST(ExportsTest, TwoHostedRunsInARowReadWhatTheOtherWrote) {
    static int argc = 1;
    static char name[] = "test_exports";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("folv-exports-" + std::to_string(::getpid()) + "-" + std::to_string(stamp));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "a01.dwg") << "x";
    std::ofstream(dir / "a02.dwg") << "y";
    const std::string folder = dir.string() + "/";
    std::ofstream(dir / "FOLVANE.INI", std::ios::binary)
        << "[Folvane=Plans]\r\nWorkingDir=" << folder
        << "\r\nExtension=*.dwg\r\nStatus=1\r\n[Folvane=Empty]\r\nWorkingDir=\r\nStatus=0\r\n";

    auto& host = folv::testing::FixtureHost::Get(folv::testing::kFullHost);
    host.Reset();
    host.SetStartDir(folv::FromUtf8(folder), 1);
    host.SetStartExt(u"*.DWG", 1);

    auto library = folv::LoadModule(folv::FromUtf8(FOLV_LIBRARY));
    ASSERT_TRUE(library);
    auto* thumb = library->Find<int()>("thumb");
    auto* setName = library->Find<void(const char16_t*)>("SetArxAppName");
    ASSERT_TRUE(thumb && setName);
    setName(u"FOLVANE.ARX");

    Seen first;
    EXPECT_EQ(RunThumb(thumb, first,
                       [](QWidget& dialog) {
                           auto* pages = dialog.findChild<QTreeWidget*>("ctl1087");
                           pages->setCurrentItem(pages->topLevelItem(1));
                       }),
              1);
    EXPECT_EQ(first.selectedPage, 0);
    EXPECT_EQ(first.firstLabel, QString("a01.dwg"));
    EXPECT_EQ(first.messages, 0);

    Seen second;
    EXPECT_EQ(RunThumb(thumb, second, [](QWidget&) {}), 1);
    EXPECT_EQ(second.selectedPage, 1);
    EXPECT_TRUE(second.firstLabel.isEmpty());

    // The host heard of the first run's file; the second run had none to tell.
    int selectedFiles = 0;
    for (const auto& call : host.Calls()) {
        if (call.name == "SetSelectedFile") {
            ++selectedFiles;
            EXPECT_EQ(call.arg, u"A01.DWG");
        }
    }
    EXPECT_EQ(selectedFiles, 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
