// The main dialog end to end under the offscreen platform: listing, paging, selection,
// search, keys, the exit question, the settings written on every way out, a host's mask and
// the plug-in build's profile.

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <stdexcept>

#include <sys/time.h>

#include "explorer/dialog_profile.h"
#include "explorer/dib_static.h"
#include "explorer/list_ctrl_ex.h"
#include "explorer/qt_text.h"
#include "explorer/run_mode.h"
#include "explorer/thumb_dlg.h"
#include "platform/modules.h"
#include "platform/paths.h"
#include "tests/explorer/explorer_test_support.h"
#include "tests/model/fixture_host/fixture_host.h"
#include "tools/fixtures/dib.h"
#include "tools/fixtures/dwg.h"

namespace {

using folv::FromQ;
using folv::PromptAnswer;
using folv::testing::CountingReaders;
using folv::testing::Sandbox;

class ThumbDlgTest : public ::testing::Test {
  protected:
    void SetUp() override { folv::testing::App(); }

    std::unique_ptr<CThumbDlg> Start(folv::DialogProfile profile,
                                     std::u16string hostModuleName = {}, bool countReads = true) {
        auto dialog =
            std::make_unique<CThumbDlg>(std::move(profile), std::move(hostModuleName), prompts);
        if (countReads)
            dialog->SetCellReaders(&readers);
        dialog->OnInitDialog();
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }
    std::unique_ptr<CThumbDlg> StartLibrary() {
        return Start(folv::DialogProfile::Library(u"FOLVTEST"));
    }
    // One page listing the sandbox's files.
    std::unique_ptr<CThumbDlg> StartWithFiles(int count) {
        box.MakeFiles(Sandbox::Numbered(count));
        box.WriteIni({{box.FilesFolder(), "*.*"}});
        return StartLibrary();
    }

    static bool Enabled(CThumbDlg& d, int id) { return d.GetDlgItem(id)->isEnabled(); }
    static bool Shown(CThumbDlg& d, int id) { return d.GetDlgItem(id)->isVisibleTo(d.Client()); }
    static std::u16string Text(CThumbDlg& d, int id) { return FromQ(d.ControlText(id)); }
    static QWidget* Focus() { return QApplication::focusWidget(); }

    Sandbox box;
    folv::ScriptedPrompts prompts;
    CountingReaders readers;
};

TEST_F(ThumbDlgTest, FiveFilesFillFiveCellsAndDisableBothPagingButtons) {
    auto d = StartWithFiles(5);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(d->Cell(k)->isVisibleTo(d->Client()), k < 5) << "cell " << k;
        EXPECT_EQ(Text(*d, 1025 + k).empty(), k >= 5) << "label " << k;
    }
    EXPECT_EQ(Text(*d, 1025), u"a01.txt");
    EXPECT_FALSE(Enabled(*d, 1019));
    EXPECT_FALSE(Enabled(*d, 1020));
    // The window opens with the focus on its first control; a later listing puts it on cell 0.
    EXPECT_EQ(Focus(), d->GetDlgItem(1017));
    d->OnCommand(1037);
    EXPECT_EQ(Focus(), d->Cell(0));
    EXPECT_EQ(Text(*d, 1015), u"A01.TXT");
    EXPECT_EQ(Text(*d, 1018), u"10 bytes");
    EXPECT_EQ(d->Session().selectedFile, folv::FromUtf8(box.FilesFolder() + "a01.txt"));
    // File commands become available, drawing commands need a host.
    EXPECT_TRUE(Enabled(*d, 1045));
    EXPECT_TRUE(Enabled(*d, 1044));
    EXPECT_TRUE(Enabled(*d, 1016));
    EXPECT_FALSE(Enabled(*d, 1047));
    EXPECT_FALSE(Enabled(*d, 32782));
    EXPECT_FALSE(d->MenuItem(40001)->isEnabled());
    EXPECT_TRUE(d->MenuItem(1045)->isEnabled());
    EXPECT_TRUE(d->MenuItem(1037)->isChecked());
}

// The details texts: " bytes", "unavailable" for an empty file, the runtime's date form with
// a two-digit day and a line feed; a file gone since the listing.
TEST_F(ThumbDlgTest, DetailsTextsAndVanishedFiles) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    box.MakeFiles({"a.txt"}, 0);
    box.MakeFiles({"b.txt", "c.txt"}, 512);
    const timeval times[2] = {{315626635, 0}, {315626635, 0}};  // 1980-01-02 02:03:55
    ASSERT_EQ(::utimes((box.Files() / "b.txt").c_str(), times), 0);
    box.WriteIni({{box.FilesFolder(), "*.*"}});
    auto d = StartLibrary();
    EXPECT_EQ(Text(*d, 1015), u"A.TXT");
    EXPECT_EQ(Text(*d, 1018), u"unavailable");
    d->SelectCell(2);
    EXPECT_EQ(Text(*d, 1015), u"B.TXT");
    EXPECT_EQ(Text(*d, 1018), u"512 bytes");
    EXPECT_EQ(Text(*d, 1014), u"Wed Jan 02 02:03:55 1980\n");

    // Selecting a vanished file keeps the details; the first screen still labels every cell.
    std::filesystem::remove(box.Files() / "c.txt");
    std::filesystem::remove(box.Files() / "a.txt");
    d->SelectCell(3);
    EXPECT_EQ(Text(*d, 1015), u"B.TXT");
    EXPECT_EQ(d->Session().selectedFile, u"B.TXT");
    EXPECT_EQ(d->ShowFirstScreen(), 1);
    EXPECT_EQ(Text(*d, 1015), u"A.TXT");
    EXPECT_EQ(Text(*d, 1018), u"unavailable");
    EXPECT_EQ(Text(*d, 1014), u"unavailable");
    EXPECT_FALSE(Shown(*d, 1013));
    EXPECT_EQ(Text(*d, 1026), u"b.txt");
    EXPECT_EQ(Text(*d, 1027), u"c.txt");
    EXPECT_TRUE(Shown(*d, 1003));
    ::unsetenv("TZ");
    ::tzset();
}

TEST_F(ThumbDlgTest, TwelveFilesEnableNextWhichThenChangesNothing) {
    auto d = StartWithFiles(12);
    EXPECT_TRUE(Enabled(*d, 1019));
    EXPECT_FALSE(Enabled(*d, 1020));
    d->OnCommand(1019);
    EXPECT_EQ(d->FirstIndex(), 0);
    EXPECT_EQ(Text(*d, 1036), u"a12.txt");
    EXPECT_FALSE(Enabled(*d, 1020));
}

TEST_F(ThumbDlgTest, ThirteenFilesPageForwardAndBack) {
    auto d = StartWithFiles(13);
    QTest::mouseClick(d->GetDlgItem(1019), Qt::LeftButton);
    EXPECT_EQ(d->FirstIndex(), 12);
    EXPECT_EQ(Text(*d, 1025), u"a13.txt");
    EXPECT_TRUE(d->Cell(0)->isVisibleTo(d->Client()));
    for (int k = 1; k < 12; ++k) {
        EXPECT_FALSE(d->Cell(k)->isVisibleTo(d->Client())) << k;
        EXPECT_TRUE(Text(*d, 1025 + k).empty()) << k;
    }
    EXPECT_FALSE(Enabled(*d, 1019));
    EXPECT_TRUE(Enabled(*d, 1020));
    EXPECT_EQ(Focus(), d->GetDlgItem(1020));
    // The details show the new screen's first file; the chosen file stays.
    EXPECT_EQ(Text(*d, 1015), u"A13.TXT");
    EXPECT_EQ(d->Session().selectedFile, folv::FromUtf8(box.FilesFolder() + "a01.txt"));

    QTest::mouseClick(d->GetDlgItem(1020), Qt::LeftButton);
    EXPECT_EQ(d->FirstIndex(), 0);
    EXPECT_EQ(Text(*d, 1036), u"a12.txt");
    EXPECT_FALSE(Enabled(*d, 1020));
    EXPECT_TRUE(Enabled(*d, 1019));
    EXPECT_EQ(Focus(), d->GetDlgItem(1019));
    EXPECT_EQ(d->Session().selectedFile, u"A01.TXT");
}

TEST_F(ThumbDlgTest, NextLeavesTheSelectedFileAlone) {
    auto d = StartWithFiles(15);
    QTest::mouseClick(d->Cell(2), Qt::LeftButton);
    EXPECT_EQ(d->Session().selectedFile, u"A03.TXT");
    EXPECT_EQ(Text(*d, 1015), u"A03.TXT");
    d->OnCommand(1019);
    EXPECT_EQ(Text(*d, 1015), u"A13.TXT");
    EXPECT_EQ(d->Session().selectedFile, u"A03.TXT");
    // A click on a hidden position of the last screen selects nothing.
    QTest::mouseClick(d->Cell(5), Qt::LeftButton);
    EXPECT_EQ(d->Session().selectedFile, u"A03.TXT");
}

TEST_F(ThumbDlgTest, ACellAlreadyShowingAPathReadsNothingAgain) {
    auto d = StartWithFiles(3);
    // Three cells and the large preview.
    EXPECT_EQ(readers.reads, 4);
    d->SelectCell(1);
    EXPECT_EQ(readers.reads, 4);
    d->SelectCell(2);
    EXPECT_EQ(readers.reads, 5);

    CDIBStatic cell;
    cell.SetReaders(&readers);
    const std::u16string path = folv::FromUtf8(box.FilesFolder() + "a01.txt");
    EXPECT_TRUE(cell.LoadPicture(path));
    EXPECT_TRUE(cell.LoadPicture(folv::FromUtf8(box.FilesFolder() + "A01.TXT")));
    EXPECT_EQ(readers.reads, 6);
    // A missing file reads nothing, shows no picture and keeps the old path.
    EXPECT_FALSE(cell.LoadPicture(folv::FromUtf8(box.FilesFolder() + "gone.txt")));
    EXPECT_EQ(readers.reads, 6);
    EXPECT_EQ(cell.Path(), path);
    EXPECT_TRUE(cell.LoadPicture(path));
    EXPECT_EQ(readers.reads, 7);
}

TEST_F(ThumbDlgTest, SearchJumpsAcrossScreensAndSelectsTheCell) {
    std::vector<std::string> names = Sandbox::Numbered(14, "a");
    for (const std::string& name : Sandbox::Numbered(16, "b"))
        names.push_back(name);
    box.MakeFiles(names);
    box.WriteIni({{box.FilesFolder(), "*.*"}});
    auto d = StartLibrary();
    auto* search = static_cast<QLineEdit*>(d->GetDlgItem(1017));
    search->setFocus();
    QTest::keyClicks(search, "b");
    EXPECT_EQ(d->FirstIndex(), 12);
    EXPECT_EQ(Text(*d, 1025), u"a13.txt");
    EXPECT_EQ(Text(*d, 1027), u"b01.txt");
    EXPECT_EQ(Text(*d, 1015), u"B01.TXT");
    EXPECT_EQ(d->Session().selectedFile, u"B01.TXT");
    EXPECT_EQ(Focus(), search);
    EXPECT_TRUE(Enabled(*d, 1020));

    struct Case {
        const char* text;
        std::int64_t firstIndex;
        const char16_t* current;
    };
    const Case cases[] = {
        {"b10", 12, u"B10.TXT"},  // position 24: cell 12 of the second screen
        {"a12", 0, u"A12.TXT"},   // position 12: cell 12 of the first screen, found going back
        {"b16", 24, u"B16.TXT"},  // position 30: the third screen
        {"zz", 24, u"B16.TXT"},   // no match: nothing changes
    };
    for (const Case& c : cases) {
        search->setText(QString::fromUtf8(c.text));
        EXPECT_EQ(d->FirstIndex(), c.firstIndex) << c.text;
        EXPECT_EQ(Text(*d, 1015), c.current) << c.text;
    }
    EXPECT_FALSE(Enabled(*d, 1019));
    search->setText("a12");
    EXPECT_FALSE(Enabled(*d, 1020));
    EXPECT_TRUE(Enabled(*d, 1019));
}

TEST_F(ThumbDlgTest, EnterFollowsTheFocus) {
    auto d = StartWithFiles(13);
    // Nothing happens where Enter belongs to the control.
    for (QWidget* target :
         {d->GetDlgItem(1017), d->GetDlgItem(1087), static_cast<QWidget*>(d->Cell(4))}) {
        target->setFocus();
        QTest::keyClick(Focus(), Qt::Key_Return);
        EXPECT_TRUE(d->isVisible());
    }
    // A push button with the focus is pressed.
    d->GetDlgItem(1019)->setFocus();
    QTest::keyClick(Focus(), Qt::Key_Return);
    EXPECT_EQ(d->FirstIndex(), 12);
    EXPECT_TRUE(d->isVisible());
    // Anywhere else Enter is OK.
    d->GetDlgItem(1023)->setFocus();
    QTest::keyClick(Focus(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_TRUE(prompts.Messages().empty());
}

TEST_F(ThumbDlgTest, EscapeAsksBeforeExitingOutsideAHost) {
    auto d = StartWithFiles(2);
    prompts.QueueAnswer(PromptAnswer::No);
    QTest::keyClick(Focus(), Qt::Key_Escape);
    ASSERT_EQ(prompts.Messages().size(), 1u);
    const folv::MessageRequest& asked = prompts.Messages().front();
    EXPECT_EQ(asked.text, u"Are you sure you want to exit?");
    EXPECT_EQ(asked.caption, u"Folvane message");
    EXPECT_EQ(asked.icon, folv::PromptIcon::Question);
    EXPECT_EQ(asked.buttons, folv::PromptButtons::YesNo);
    EXPECT_EQ(asked.defaultButton, 1);
    EXPECT_TRUE(d->isVisible());

    prompts.QueueAnswer(PromptAnswer::Yes);
    QTest::keyClick(Focus(), Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Rejected);
}

// Each way out stores the page on screen and writes the file, which the next run reads.
TEST_F(ThumbDlgTest, SettingsAreWrittenOnEveryWayOutAndReadByTheNextRun) {
    box.MakeFiles(Sandbox::Numbered(3));
    const std::vector<std::pair<std::string, std::function<void(CThumbDlg&)>>> ways = {
        {"ok",
         [](CThumbDlg& d) {
             d.GetDlgItem(1023)->setFocus();
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
         }},
        {"escape",
         [](CThumbDlg&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }},
        {"exit item", [](CThumbDlg& d) { d.MenuItem(2)->trigger(); }},
        {"close box", [](CThumbDlg& d) { d.close(); }},
    };
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        // Page 1 (an empty one) is current at start; the user switches to page 0.
        box.WriteIni({{box.FilesFolder(), "*.txt"}, {"", ""}}, 1);
        {
            auto d = StartLibrary();
            EXPECT_TRUE(Text(*d, 1025).empty());
            d->PageList()->SelectRow(0);
            EXPECT_EQ(Text(*d, 1025), u"a01.txt");
            prompts.QueueAnswer(PromptAnswer::Yes);
            leave(*d);
            EXPECT_FALSE(d->isVisible());
            d->DestroyWindow();
            EXPECT_TRUE(d->Destroyed());
        }
        const std::string ini = box.ReadIni();
        EXPECT_NE(ini.find("[Folvane=Page0]\r\nApplication=\r\nWorkingDir=" + box.FilesFolder() +
                           "\r\nExtension=*.txt\r\nStatus=1\r\n"),
                  std::string::npos)
            << ini;
        EXPECT_NE(ini.find("[Folvane=Page1]\r\nApplication=\r\nWorkingDir=\r\nExtension=\r\n"
                           "Status=0\r\n"),
                  std::string::npos)
            << ini;

        auto next = StartLibrary();
        EXPECT_EQ(next->Session().currentPage, 0);
        EXPECT_EQ(next->PageList()->SelectedRow(), 0);
        EXPECT_EQ(Text(*next, 1025), u"a01.txt");
        EXPECT_EQ(Text(*next, 1023), folv::FromUtf8(box.FilesFolder() + "*.txt"));
    }
}

TEST_F(ThumbDlgTest, ASettingsFileWithoutPagesListsNothing) {
    box.MakeFiles(Sandbox::Numbered(13));
    std::ofstream(box.Ini()) << "nothing here\r\n";
    auto d = StartLibrary();
    EXPECT_EQ(d->PageList()->topLevelItemCount(), 0);
    EXPECT_TRUE(Text(*d, 1023).empty());
    EXPECT_EQ(d->Files().size(), 0);
    for (int k = 0; k < 12; ++k)
        EXPECT_TRUE(Text(*d, 1025 + k).empty());
    EXPECT_FALSE(Enabled(*d, 1019));
    EXPECT_EQ(readers.reads, 0);
}

TEST_F(ThumbDlgTest, WithoutTheLibraryPathTheDialogEndsAndWritesNothing) {
    std::filesystem::remove(box.Dir() / "FOLVTEST.DLL");
    CThumbDlg d(folv::DialogProfile::Library(u"FOLVTEST"), {}, prompts);
    d.SetCellReaders(&readers);
    EXPECT_FALSE(d.OnInitDialog());
    ASSERT_EQ(prompts.Messages().size(), 1u);
    EXPECT_EQ(prompts.Messages()[0].text, u"Fatal error!Could not define program path.");
    EXPECT_EQ(d.DoModal(), QDialog::Accepted);
    EXPECT_TRUE(d.Destroyed());
    EXPECT_FALSE(std::filesystem::exists(box.Ini()));
}

TEST_F(ThumbDlgTest, TabOrderIsTemplateOrder) {
    auto d = StartWithFiles(1);
    const std::vector<int> expected = {1017, 1020, 1019, 1087, 1016, 1045, 1047, 32782,
                                       1044, 1039, 1040, 1013, 1001, 1002, 1003, 1012,
                                       1004, 1005, 1006, 1011, 1007, 1008, 1010, 1009};
    std::vector<int> order;
    QWidget* w = d->GetDlgItem(1017);
    do {
        const QVariant id = w->property("id");
        if (id.isValid() && (w->focusPolicy() & Qt::TabFocus) && w->parentWidget() == d->Client())
            order.push_back(id.toInt());
        w = w->nextInFocusChain();
    } while (w != d->GetDlgItem(1017));
    EXPECT_EQ(order, expected);
}

TEST_F(ThumbDlgTest, SortCommandsListAgainAndKeepOneCheckMark) {
    box.MakeFiles({"big.txt"}, 500);
    box.MakeFiles({"small.txt"}, 5);
    box.MakeFiles({"middle.txt"}, 50);
    box.WriteIni({{box.FilesFolder(), "*.*"}});
    auto d = StartLibrary();
    EXPECT_EQ(Text(*d, 1025), u"big.txt");
    d->MenuItem(1056)->trigger();
    EXPECT_EQ(d->GetSortMode(), folv::SortMode::bySize);
    EXPECT_EQ(Text(*d, 1025), u"small.txt");
    EXPECT_EQ(Text(*d, 1027), u"big.txt");
    EXPECT_FALSE(d->MenuItem(1037)->isChecked());
    EXPECT_TRUE(d->MenuItem(1056)->isChecked());
    EXPECT_FALSE(d->MenuItem(1057)->isChecked());
    d->MenuItem(1037)->trigger();
    EXPECT_TRUE(d->MenuItem(1037)->isChecked());
    EXPECT_FALSE(d->MenuItem(1056)->isChecked());
}

TEST_F(ThumbDlgTest, RightClickSelectsTheCellAndOpensItsMenu) {
    auto d = StartWithFiles(8);
    std::vector<CellMenuEntry> shown;
    int menus = 0;
    d->SetMenuTracker([&](const std::vector<CellMenuEntry>& entries, QPoint) {
        shown = entries;
        ++menus;
        return 0;
    });
    auto* search = static_cast<QLineEdit*>(d->GetDlgItem(1017));
    search->setText("zz");
    QTest::mouseClick(d->Cell(4), Qt::RightButton);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(d->Session().selectedFile, u"A05.TXT");
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_EQ(Focus(), d->Cell(4));
    ASSERT_EQ(shown.size(), 8u);
    const std::vector<std::pair<int, bool>> expected = {{1, false}, {2, false}, {3, false},
                                                        {4, false}, {5, false}, {6, true},
                                                        {7, true},  {8, true}};
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].number, expected[i].first);
        EXPECT_EQ(shown[i].grayed, expected[i].second) << shown[i].number;
    }
    // The label under a cell opens the menu for the file already current.
    QTest::mouseClick(d->GetDlgItem(1025), Qt::RightButton);
    EXPECT_EQ(menus, 2);
    EXPECT_EQ(d->Session().selectedFile, u"A05.TXT");
    // The "Open with" field only takes the focus; the page list is left to itself.
    QTest::mouseClick(d->GetDlgItem(1022), Qt::RightButton);
    EXPECT_EQ(menus, 2);
    QTest::mouseClick(d->PageList()->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(menus, 2);
    // The large preview opens it too.
    QTest::mouseClick(d->GetDlgItem(1013), Qt::RightButton);
    EXPECT_EQ(menus, 3);
}

// A command that fails inside a mouse handler is reported and the dialog runs on; a right
// press on the menu bar, which is no child window, leaves the search box alone.
TEST_F(ThumbDlgTest, AFailingCellMenuCommandIsReportedAndTheDialogRunsOn) {
    auto d = StartWithFiles(3);
    d->SetMenuTracker([](const std::vector<CellMenuEntry>&, QPoint) -> int {
        throw std::runtime_error("no memory left");
    });
    QTest::mouseClick(d->Cell(1), Qt::RightButton);
    ASSERT_EQ(prompts.Messages().size(), 1u);
    EXPECT_EQ(prompts.Messages().front().text, u"no memory left");
    EXPECT_EQ(prompts.Messages().front().icon, folv::PromptIcon::Error);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->Session().selectedFile, u"A02.TXT");

    auto* search = static_cast<QLineEdit*>(d->GetDlgItem(1017));
    search->setText("a0");
    QMenuBar* bar = d->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(bar->width() - 5, bar->height() / 2));
    EXPECT_EQ(search->text(), "a0");
}

// A click inside the page list's label editor leaves the editor open.
TEST_F(ThumbDlgTest, ClickingIntoThePageNameEditorKeepsEditing) {
    auto d = StartWithFiles(2);
    CListCtrlEx* list = d->PageList();
    list->setFocus();
    list->editItem(list->topLevelItem(0), 0);
    auto* editor = qobject_cast<QLineEdit*>(Focus());
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(list->isAncestorOf(editor));
    QTest::mouseClick(editor, Qt::LeftButton, {}, QPoint(3, editor->height() / 2));
    QTest::mouseClick(editor, Qt::RightButton, {}, QPoint(3, editor->height() / 2));
    EXPECT_EQ(Focus(), editor);
    EXPECT_TRUE(editor->isVisible());
}

TEST_F(ThumbDlgTest, HelpOpensTheFileNextToTheProgram) {
    auto d = StartWithFiles(1);
    QUrl opened;
    d->SetUrlOpener([&](const QUrl& url) { opened = url; });
    d->MenuItem(1088)->trigger();
    const std::u16string expected = folv::FolderPart(folv::ProgramPath()) + u"folvane.hlp";
    EXPECT_EQ(FromQ(opened.toLocalFile()), expected);
}

TEST_F(ThumbDlgTest, HostMaskFromTheFixtureHost) {
    auto& host = folv::testing::FixtureHost::Get(folv::testing::kFullHost);
    host.Reset();
    host.SetStartDir(folv::FromUtf8(box.FilesFolder()), 1);
    host.SetStartExt(u"*.TXT", 1);
    host.SetMask(0x108);
    box.MakeFiles(Sandbox::Numbered(4));
    // With a host the settings live in its start folder.
    std::ofstream(box.Files() / "FOLVANE.INI", std::ios::binary)
        << "[Folvane=Plans]\r\nWorkingDir=" << box.FilesFolder()
        << "\r\nExtension=*.txt\r\nStatus=1\r\n";
    auto d =
        Start(folv::DialogProfile::Library(u"FOLVTEST"), std::u16string(folv::testing::kFullHost));
    EXPECT_TRUE(d->Session().hostPresent);
    EXPECT_EQ(d->Session().grayOutMask, 0x108);
    EXPECT_EQ(Text(*d, 1025), u"a01.txt");
    EXPECT_FALSE(Enabled(*d, 1047));
    EXPECT_FALSE(d->MenuItem(1047)->isEnabled());
    EXPECT_FALSE(d->MenuItem(40001)->isEnabled());
    EXPECT_TRUE(Enabled(*d, 32782));
    EXPECT_TRUE(d->MenuItem(32782)->isEnabled());
    EXPECT_TRUE(d->MenuItem(10001)->isEnabled());
    EXPECT_FALSE(d->SubMenu(1)->actions().at(8)->isEnabled());
    EXPECT_FALSE(Shown(*d, 1016));
    EXPECT_EQ(Text(*d, 1022), u"not defined");

    const std::vector<CellMenuEntry> entries = d->CellMenuEntries();
    auto grayed = [&](int number) {
        for (const CellMenuEntry& e : entries) {
            if (e.number == number)
                return e.grayed;
        }
        ADD_FAILURE() << "no entry " << number;
        return false;
    };
    EXPECT_TRUE(grayed(1));
    EXPECT_TRUE(grayed(6));
    EXPECT_FALSE(grayed(7));
    EXPECT_TRUE(grayed(8));

    // Inside a host Escape ends at once; the host hears of the folder when the window goes.
    QTest::keyClick(Focus(), Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(prompts.Messages().empty());
    d->DestroyWindow();
    bool toldFolder = false;
    for (const auto& call : host.Calls()) {
        if (call.name == "SetWorkingDirPath")
            toldFolder = call.arg == folv::FromUtf8(box.FilesFolder());
    }
    EXPECT_TRUE(toldFolder);
}

TEST_F(ThumbDlgTest, MdiModeGraysRecoverInTheCellMenuOnly) {
    auto& host = folv::testing::FixtureHost::Get(folv::testing::kFullHost);
    host.Reset();
    host.SetStartDir(folv::FromUtf8(box.FilesFolder()), 1);
    host.SetStartExt(u"*.*", 1);
    host.SetMask(0);
    box.MakeFiles(Sandbox::Numbered(2));
    std::ofstream(box.Files() / "FOLVANE.INI", std::ios::binary)
        << "[Folvane=Plans]\r\nWorkingDir=" << box.FilesFolder()
        << "\r\nExtension=*.txt\r\nStatus=1\r\n";
    auto d =
        Start(folv::DialogProfile::Library(u"FOLVTEST"), std::u16string(folv::testing::kFullHost));
    folv::SetMdiMode(true);
    EXPECT_TRUE(d->CellMenuEntries().back().grayed);
    EXPECT_TRUE(d->MenuItem(40001)->isEnabled());
    EXPECT_TRUE(d->CellMenuEntries().front().grayed);  // Open is the host's inside a host
    folv::SetMdiMode(false);
    EXPECT_FALSE(d->CellMenuEntries().back().grayed);
}

// The plug-in build's host functions, kept by the test.
std::u16string pluginStartDir;
int PluginGetStartDir(char16_t* buffer) {
    pluginStartDir.copy(buffer, pluginStartDir.size());
    buffer[pluginStartDir.size()] = 0;
    return 1;
}
int PluginGetStartExt(char16_t* buffer) {
    const std::u16string ext = u"*.*";
    ext.copy(buffer, ext.size());
    buffer[ext.size()] = 0;
    return 1;
}
int PluginGetWhatToGrayOut() {
    return 0;
}
void PluginSetString(const char16_t*) {}

TEST_F(ThumbDlgTest, PluginProfileHasNoOpenNoRecoverAndNoExitQuestion) {
    pluginStartDir = folv::FromUtf8(box.Dir().string() + "/");
    folv::HostFunctionTable functions;
    functions.getStartDir = &PluginGetStartDir;
    functions.getStartExt = &PluginGetStartExt;
    functions.getWhatToGrayOut = &PluginGetWhatToGrayOut;
    functions.setDefLayer = &PluginSetString;
    functions.setDefColour = &PluginSetString;
    functions.setSelectedFile = &PluginSetString;
    functions.setWorkingDirPath = &PluginSetString;
    functions.setAcadCommandToExec = &PluginSetString;
    box.MakeFiles(Sandbox::Numbered(3));
    box.WriteIni({{box.FilesFolder(), "*.*"}});
    auto d = Start(folv::DialogProfile::Plugin(functions));
    EXPECT_EQ(d->GetDlgItem(1016), nullptr);
    EXPECT_EQ(d->MenuItem(1016), nullptr);
    EXPECT_EQ(d->MenuItem(40001), nullptr);
    EXPECT_EQ(d->SubMenu(1)->actions().at(8)->property("id").toInt(), 1021);
    EXPECT_FALSE(d->SubMenu(1)->actions().at(8)->isEnabled());
    EXPECT_EQ(Text(*d, 1025), u"a01.txt");
    EXPECT_TRUE(Enabled(*d, 1047));
    EXPECT_TRUE(Enabled(*d, 32782));
    EXPECT_TRUE(d->MenuItem(1047)->isEnabled());
    std::vector<int> numbers;
    for (const CellMenuEntry& e : d->CellMenuEntries()) {
        numbers.push_back(e.number);
        EXPECT_FALSE(e.grayed) << e.number;
    }
    EXPECT_EQ(numbers, (std::vector<int>{2, 3, 4, 5, 6, 7}));
    QTest::keyClick(Focus(), Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(prompts.Messages().empty());
}

folv::fixtures::DibImage Striped(int width, int height, std::uint32_t colour) {
    folv::fixtures::DibImage image;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = 24;
    image.pixels.assign(static_cast<std::size_t>(width) * height, colour);
    return image;
}

TEST_F(ThumbDlgTest, RenderedCellsShowTheirPictures) {
    namespace fx = folv::fixtures;
    ASSERT_TRUE(fx::WriteFileBytes(box.Files() / "blue.bmp",
                                   fx::BuildBmpFile(Striped(60, 40, 0xff2040e0))));
    ASSERT_TRUE(fx::WriteFileBytes(box.Files() / "wide.bmp",
                                   fx::BuildBmpFile(Striped(200, 10, 0xff20e040))));
    ASSERT_TRUE(fx::WriteFileBytes(box.Files() / "plan.dwg",
                                   fx::DrawingWithPreview("AC1015", Striped(80, 60, 0xffe0e020))));
    std::ofstream(box.Files() / "text.txt") << "not a picture";
    box.WriteIni({{box.FilesFolder(), "*.*"}});
    auto d = Start(folv::DialogProfile::Library(u"FOLVTEST"), {}, false);
    const QImage shot = d->grab().toImage();
    shot.save(QString::fromUtf8(FOLV_TEST_OUTPUT_DIR "/browser_dialog.png"));

    auto centre = [&](int k) {
        CDIBStatic* cell = d->Cell(k);
        return shot.pixelColor(cell->mapTo(d.get(), cell->rect().center()));
    };
    auto nearTop = [&](int k) {
        CDIBStatic* cell = d->Cell(k);
        return shot.pixelColor(cell->mapTo(d.get(), QPoint(cell->width() / 2, 4)));
    };
    // Listing order: blue.bmp, plan.dwg, text.txt, wide.bmp.
    EXPECT_EQ(Text(*d, 1025), u"blue.bmp");
    EXPECT_EQ(Text(*d, 1028), u"wide.bmp");
    EXPECT_EQ(centre(0), QColor(0x20, 0x40, 0xe0));
    EXPECT_NE(centre(1), QColor(0, 0, 0));
    EXPECT_TRUE(d->Cell(1)->HasPicture());
    EXPECT_FALSE(d->Cell(2)->HasPicture());
    EXPECT_EQ(centre(2).rgb(), d->Cell(2)->palette().color(QPalette::Dark).rgb());
    // The wide picture is centred on black, at least 16 pixels high.
    EXPECT_EQ(d->Cell(3)->Bitmap().GetWidth(), 83);
    EXPECT_GE(d->Cell(3)->Bitmap().GetHeight(), 16);
    EXPECT_EQ(nearTop(3), QColor(0, 0, 0));
    bool green = false;
    for (int y = 0; y < d->Cell(3)->height(); ++y) {
        const QPoint at = d->Cell(3)->mapTo(d.get(), QPoint(d->Cell(3)->width() / 2, y));
        green = green || shot.pixelColor(at) == QColor(0x20, 0xe0, 0x40);
    }
    EXPECT_TRUE(green);
    EXPECT_TRUE(d->LargePreview()->isVisible());
}

}  // namespace
