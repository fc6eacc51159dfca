#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "explorer/dialog_profile.h"
#include "model/file_list.h"
#include "model/session.h"
#include "platform/enumerate.h"

class CDIBStatic;
class CListCtrlEx;
class CStaticEx;
class QAction;
class QLineEdit;
class QMenu;
class QMenuBar;
class QUrl;

namespace folv {
class CellReaders;
class StandardCellReaders;
}  // namespace folv

// One entry of a preview cell's right-click menu; number 5 is the separator.
struct CellMenuEntry {
    int number;
    std::u16string_view text;
    bool grayed;
};

// The browser's main window: the grid of twelve cells, the details panel, the pages and the
// commands. Runs modally; the settings are written whenever and however it ends.
class CThumbDlg : public QDialog {
    Q_OBJECT
  public:
    CThumbDlg(folv::DialogProfile profile, std::u16string hostModuleName, folv::Prompts& prompts,
              QWidget* parent = nullptr);
    ~CThumbDlg() override;

    // Start-up and the modal run; the window is torn down (and the settings written) before
    // it returns.
    int DoModal();
    // Start-up; true unless the settings could not be located (the dialog has then ended).
    bool OnInitDialog();
    // Every command, from buttons, menus and keys. False when the command was refused.
    bool OnCommand(int id);
    // The end of the window: page state stored, settings written, records freed. Runs once;
    // the destructor runs it when nobody did.
    void DestroyWindow();

    // --- paging and selection ---
    int ShowFirstScreen();
    void ClearGrid();
    void NextScreen();
    void PreviousScreen();
    void ShowScreenAfter(std::int64_t base);
    // True when a record of that screen was missing.
    bool ShowScreenBefore(std::int64_t base);
    void SelectCell(int n);
    void ShowFileDetails(std::u16string_view path);
    int ListFolder(std::u16string_view pattern);
    void AfterListing();
    void SearchFor(std::u16string_view text);

    // --- commands ---
    void UpdateCommandStates(bool enable);
    void ShowWarning(int id);
    void OnOK();
    void SwitchToPage(int index);
    void SortCommand(folv::SortMode mode);
    void OnHelp();
    std::vector<CellMenuEntry> CellMenuEntries() const;
    void ShowCellMenu(QPoint globalPos);

    // --- lookups, for the commands of other parts and for tests ---
    QWidget* GetDlgItem(int id) const;
    QAction* MenuItem(int id) const;
    QMenu* SubMenu(int position) const;
    QWidget* Client() const { return client_; }
    CDIBStatic* Cell(int k) const;
    CDIBStatic* LargePreview() const { return large_; }
    CListCtrlEx* PageList() const { return pageList_; }
    folv::ExplorerSession& Session() { return *session_; }
    const folv::CListF& Files() const { return files_; }
    std::int64_t FirstIndex() const { return firstIndex_; }
    folv::SortMode GetSortMode() const { return sortMode_; }
    const folv::DialogProfile& Profile() const { return profile_; }
    bool Hosted() const;
    bool Destroyed() const { return destroyed_; }
    QString ControlText(int id) const;

    // Seams for tests: where the cells read, how a popup menu is run (returns the chosen
    // number, 0 for none) and how the help file is opened.
    void SetCellReaders(folv::CellReaders* readers);
    using MenuTracker = std::function<int(const std::vector<CellMenuEntry>&, QPoint)>;
    void SetMenuTracker(MenuTracker tracker) { menuTracker_ = std::move(tracker); }
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { urlOpener_ = std::move(opener); }

    // The grid area of the mouse rules, in client coordinates.
    bool InGridArea(QPoint clientPoint) const;

    // Commands wired by the page, file and drawing commands; minimal until then.
    void DefineDirectory();
    void ChooseApplication();
    void EditDefaultLayer();
    void MovePageUp();
    void MovePageDown();
    void AddPage();
    void DeletePage();
    void RenamePage();
    void ShowPageMenu();
    void CopyCurrentFile();
    void RenameCurrentFile();
    void DeleteCurrentFile();
    void OpenDrawing();
    void InsertDrawing();
    void XRefDrawing();
    void RecoverDrawing();
    void ShowAbout();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    class Progress;

    std::u16string_view String(int id) const;
    void SetupTemplate();
    void ConnectControls();
    void InstallFilters(QWidget* root);
    bool DispatchCommand(int id);
    bool PreTranslateMouse(QObject* watched, QMouseEvent* event);
    QWidget* ChildAt(QPoint clientPoint) const;
    void GiveFocus(QWidget* w);
    int IdOf(const QWidget* widget) const;
    bool FocusIsOn(int id) const;

    void SetText(int id, const QString& text);
    void EnableControl(int id, bool enable);
    void ShowControl(int id, bool show);
    void EnableItem(int id, bool enable);
    void SetLabel(int k, std::u16string_view text);
    // The name, size and date texts; no entry gives "unavailable" for size and date.
    void SetDetails(std::u16string_view name, const std::optional<folv::DirEntry>& found);
    void FillDetails(std::u16string_view path, bool select);
    bool FillScreen(std::int64_t from, bool backward);
    void ReportException(const std::exception& error);
    void ShowInformation(std::u16string_view text, std::u16string_view caption);
    void SetSortChecks();
    void OnSearchChanged(const QString& text);
    void OnPageSelectionChanged();
    int SelectedPage() const;

    folv::DialogProfile profile_;
    folv::Prompts& prompts_;
    std::unique_ptr<folv::ExplorerSession> session_;
    folv::CListF files_;
    std::unique_ptr<Progress> progress_;
    std::unique_ptr<folv::StandardCellReaders> readers_;

    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> actions_;
    std::vector<CDIBStatic*> cells_;
    CDIBStatic* large_ = nullptr;
    std::array<CStaticEx*, 12> labels_{};
    CListCtrlEx* pageList_ = nullptr;
    QLineEdit* search_ = nullptr;

    folv::SortMode sortMode_ = folv::SortMode::byName;
    std::int64_t firstIndex_ = 0;
    bool updatingPageList_ = false;
    int selectedFocusedRow_ = -1;
    bool initialised_ = false;
    bool endedDuringInit_ = false;
    bool destroyed_ = false;

    // The last mouse event looked at: an event a child ignores travels on to its parents,
    // and must not be acted on twice.
    const QEvent* lastMouseEvent_ = nullptr;
    std::uint64_t lastMouseTime_ = 0;
    int lastMouseType_ = 0;

    MenuTracker menuTracker_;
    std::function<void(const QUrl&)> urlOpener_;
};
