#include "explorer/thumb_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>
#include <optional>

#include "explorer/dib_static.h"
#include "explorer/list_ctrl_ex.h"
#include "explorer/qt_text.h"
#include "explorer/run_mode.h"
#include "explorer/static_ex.h"
#include "explorer/wait_cursor.h"
#include "model/paging.h"
#include "platform/enumerate.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "ui_plugin_dialog.h"
#include "ui_thumb_dialog.h"

using folv::FromQ;
using folv::ToQ;

namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kFirstCell = 1001;
constexpr int kLastCell = 1012;
constexpr int kLargePreview = 1013;
constexpr int kFileDate = 1014;
constexpr int kFileName = 1015;
constexpr int kOpen = 1016;
constexpr int kSearch = 1017;
constexpr int kFileSize = 1018;
constexpr int kNext = 1019;
constexpr int kPrevious = 1020;
constexpr int kOpenWith = 1022;
constexpr int kDirectory = 1023;
constexpr int kFirstLabel = 1025;
constexpr int kLastLabel = 1036;
constexpr int kPageListId = 1087;
constexpr int kProgress = 1062;
constexpr int kInsert = 1047;
constexpr int kXRef = 32782;
constexpr int kDelete = 1044;
constexpr int kCopy = 1045;
constexpr int kRename = 1043;
constexpr int kRecover = 40001;
constexpr int kDefineDirectory = 10001;

constexpr std::u16string_view kUnavailable = u"unavailable";
constexpr std::u16string_view kNotDefined = u"not defined";
constexpr std::u16string_view kRunningInAutoCad = u"Running in AutoCAD";
// The caption of the platform's own report of an exception: the application's name.
constexpr std::u16string_view kApplicationTitle = u"FOLVANE";

std::u16string SizeText(std::uint32_t size) {
    if (size == 0)
        return std::u16string(kUnavailable);
    return folv::FromUtf8(std::to_string(size) + " bytes");
}

// The runtime's asctime form with the day in two digits, line feed included.
std::u16string DateText(std::int64_t modified) {
    const std::time_t time = static_cast<std::time_t>(modified);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr)
        return std::u16string(kUnavailable);
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11) {
        return std::u16string(kUnavailable);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %lld\n", kDays[local.tm_wday],
                  kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<long long>(local.tm_year) + 1900);
    return folv::FromUtf8(text);
}

// The "&File" item of a sort mode.
int SortItem(folv::SortMode mode) {
    switch (mode) {
        case folv::SortMode::bySize:
            return 1056;
        case folv::SortMode::byDate:
            return 1057;
        default:
            return 1037;
    }
}

bool IsCellId(int id) {
    return id >= kFirstCell && id <= kLastCell;
}

// The file system's entry for a path, looked up by enumerating the path itself. A name may
// hold wildcard characters here, so only the entry of that very name counts.
std::optional<folv::DirEntry> LookUpFile(std::u16string_view path) {
    const std::u16string_view name = folv::FileNamePart(path);
    for (folv::DirEntry& entry : folv::ListMatchingFiles(path)) {
        if (folv::EqualsNoCaseAZ(entry.name, name))
            return std::move(entry);
    }
    return std::nullopt;
}

}  // namespace

// The progress bar 1062 as the listing steps it.
class CThumbDlg::Progress final : public folv::ProgressControl {
  public:
    explicit Progress(QProgressBar* bar) : bar_(bar) {}
    void SetRange(std::int16_t lower, std::int16_t upper) override {
        if (bar_)
            bar_->setRange(lower, std::max(lower, upper));
    }
    void SetStep(int step) override { step_ = step; }
    void SetPos(int pos) override {
        if (bar_)
            bar_->setValue(pos);
    }
    void StepIt() override {
        if (!bar_)
            return;
        int next = bar_->value() + step_;
        // The platform's bar wraps to its start when a step passes the end.
        if (next > bar_->maximum())
            next = bar_->minimum() + (next - bar_->maximum()) - 1;
        bar_->setValue(next);
    }
    void SetVisible(bool visible) override {
        if (bar_)
            bar_->setVisible(visible);
    }

  private:
    QProgressBar* bar_;
    int step_ = 10;
};

CThumbDlg::CThumbDlg(folv::DialogProfile profile, std::u16string hostModuleName,
                     folv::Prompts& prompts, QWidget* parent)
    : QDialog(parent), profile_(std::move(profile)), prompts_(prompts) {
    session_ = profile_.makeSession(hostModuleName, prompts_);
    session_->hostModuleName = std::move(hostModuleName);
    session_->messageCaption = std::u16string(String(116));
    readers_ = std::make_unique<folv::StandardCellReaders>(profile_.build);
    SetupTemplate();
    ConnectControls();
}

CThumbDlg::~CThumbDlg() {
    // An exception leaving a destructor ends the process: the host must survive a failed save.
    try {
        DestroyWindow();
    } catch (const std::exception&) {
    }
}

std::u16string_view CThumbDlg::String(int id) const {
    return profile_.loadString ? profile_.loadString(id) : std::u16string_view();
}

void CThumbDlg::SetupTemplate() {
    setWindowTitle(QStringLiteral("Folvane"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // The template's units come from an 8-point sans serif at 96 dpi; Liberation Sans has
    // close to its widths, so the captions fit the boxes the template gives them.
    QFont dialogFont = font();
    dialogFont.setFamilies(
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), dialogFont.family()});
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    folv::BuildMenuBar(*menuBar_, profile_.build);
    layout->setMenuBar(menuBar_);

    client_ = new QWidget(this);
    if (profile_.templateId == 102) {
        Ui::ThumbTemplate102 ui;
        ui.setupUi(client_);
    } else {
        Ui::ThumbTemplate137 ui;
        ui.setupUi(client_);
    }
    client_->setFixedSize(client_->size());
    layout->addWidget(client_);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // One lookup from number to control, built once.
    for (QObject* child : client_->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget == nullptr)
            continue;
        const QVariant id = widget->property("id");
        if (id.isValid())
            controls_[id.toInt()] = widget;
    }
    for (QAction* menuAction : menuBar_->actions()) {
        if (QMenu* menu = menuAction->menu()) {
            for (QAction* item : menu->actions()) {
                const int id = item->property("id").toInt();
                if (id != 0)
                    actions_[id] = item;
            }
        }
    }

    large_ = qobject_cast<CDIBStatic*>(GetDlgItem(kLargePreview));
    for (int k = 0; k < 12; ++k) {
        labels_[static_cast<std::size_t>(k)] =
            qobject_cast<CStaticEx*>(GetDlgItem(kFirstLabel + k));
    }
    pageList_ = qobject_cast<CListCtrlEx*>(GetDlgItem(kPageListId));
    search_ = qobject_cast<QLineEdit*>(GetDlgItem(kSearch));
    progress_ = std::make_unique<Progress>(qobject_cast<QProgressBar*>(GetDlgItem(kProgress)));
    if (auto* date = qobject_cast<QLabel*>(GetDlgItem(kFileDate))) {
        // The date text ends with a line feed: keep its first line where the others are.
        date->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    for (int id = kFirstCell; id <= kLargePreview; ++id) {
        if (auto* cell = qobject_cast<CDIBStatic*>(GetDlgItem(id)))
            cell->SetReaders(readers_.get());
    }
    InstallFilters(this);
}

void CThumbDlg::InstallFilters(QWidget* root) {
    root->installEventFilter(this);
    for (QWidget* child : root->findChildren<QWidget*>())
        child->installEventFilter(this);
}

void CThumbDlg::ConnectControls() {
    for (const auto& [id, widget] : controls_) {
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setAutoDefault(false);
            button->setDefault(false);
            const int command = id;
            connect(button, &QPushButton::clicked, this, [this, command] { OnCommand(command); });
        }
    }
    for (const auto& [id, item] : actions_) {
        const int command = id;
        connect(item, &QAction::triggered, this, [this, command] { OnCommand(command); });
    }
    if (search_)
        connect(search_, &QLineEdit::textChanged, this, &CThumbDlg::OnSearchChanged);
    if (pageList_) {
        connect(pageList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this] { OnPageSelectionChanged(); });
        connect(pageList_->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this] { OnPageSelectionChanged(); });
        // The end of an in-place edit: the page takes the new name; blanks keep the old one.
        connect(pageList_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
            if (updatingPageList_)
                return;
            folv::InIData* page = session_->PageAt(pageList_->indexOfTopLevelItem(item));
            if (page == nullptr)
                return;
            const QString name = item->text(0).trimmed().left(20);
            updatingPageList_ = true;
            if (name.isEmpty()) {
                item->setText(0, ToQ(page->Name));
            } else {
                page->Name = FromQ(name);
                item->setText(0, name);
            }
            updatingPageList_ = false;
        });
    }
}

QWidget* CThumbDlg::GetDlgItem(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QAction* CThumbDlg::MenuItem(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* CThumbDlg::SubMenu(int position) const {
    const QList<QAction*> menus = menuBar_->actions();
    if (position < 0 || position >= menus.size())
        return nullptr;
    return menus[position]->menu();
}

CDIBStatic* CThumbDlg::Cell(int k) const {
    if (k < 0 || static_cast<std::size_t>(k) >= cells_.size())
        return nullptr;
    return cells_[static_cast<std::size_t>(k)];
}

bool CThumbDlg::Hosted() const {
    return profile_.build == folv::BuildKind::Plugin || session_->hostPresent;
}

QString CThumbDlg::ControlText(int id) const {
    QWidget* widget = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    return {};
}

void CThumbDlg::SetCellReaders(folv::CellReaders* readers) {
    for (int id = kFirstCell; id <= kLargePreview; ++id) {
        if (auto* cell = qobject_cast<CDIBStatic*>(GetDlgItem(id))) {
            cell->SetReaders(readers ? readers : readers_.get());
        }
    }
}

void CThumbDlg::SetText(int id, const QString& text) {
    QWidget* widget = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
        edit->setCursorPosition(0);
    }
}

void CThumbDlg::EnableControl(int id, bool enable) {
    if (QWidget* widget = GetDlgItem(id))
        widget->setEnabled(enable);
}

void CThumbDlg::ShowControl(int id, bool show) {
    if (QWidget* widget = GetDlgItem(id))
        widget->setVisible(show);
}

void CThumbDlg::EnableItem(int id, bool enable) {
    if (QAction* item = MenuItem(id))
        item->setEnabled(enable);
}

void CThumbDlg::SetLabel(int k, std::u16string_view text) {
    CStaticEx* label = labels_[static_cast<std::size_t>(k)];
    if (label == nullptr)
        return;
    label->setText(ToQ(text));
    label->SetTipText(text);
}

// ---------------------------------------------------------------------------------------
// Start-up and the end

int CThumbDlg::DoModal() {
    if (!initialised_)
        OnInitDialog();
    int result = this->result();
    if (!endedDuringInit_)
        result = exec();
    DestroyWindow();
    return result;
}

bool CThumbDlg::OnInitDialog() {
    initialised_ = true;
    folv::ExplorerSession& s = *session_;

    if (pageList_) {
        pageList_->setHeaderLabels({QStringLiteral("User pages")});
        pageList_->setColumnWidth(0, pageList_->viewport()->width());
    }

    s.DetectHost();
    // The plug-in build always runs inside its host.
    if (profile_.build == folv::BuildKind::Plugin)
        s.hostPresent = true;

    if (s.ReadSettings() == folv::SettingsOutcome::EndDialog) {
        endedDuringInit_ = true;
        setResult(QDialog::Accepted);
    }

    const std::vector<std::u16string> names = s.FillPageList();
    if (pageList_) {
        updatingPageList_ = true;
        for (const std::u16string& name : names) {
            auto* item = new QTreeWidgetItem(pageList_, QStringList{ToQ(name)});
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        }
        pageList_->SelectRow(s.currentPage);
        updatingPageList_ = false;
    }

    {
        folv::WaitCursor wait;
        s.filter = folv::UpperAZ(s.filter);

        cells_.clear();
        for (int id = kFirstCell; id <= kLastCell; ++id) {
            if (auto* cell = qobject_cast<CDIBStatic*>(GetDlgItem(id)))
                cells_.push_back(cell);
        }

        s.hostDefaultsMissing = s.ReadHostDefaults() == 0;
        UpdateCommandStates(false);

        if (s.TakeOverCurrentPage()) {
            if (Hosted()) {
                SetText(kOpenWith, ToQ(s.TakeHostApplication() ? kRunningInAutoCad : kNotDefined));
                ShowControl(kOpen, false);
            } else if (const folv::InIData* page = s.PageAt(s.currentPage);
                       page != nullptr && !page->Application.empty()) {
                s.application = page->Application;
                SetText(kOpenWith, ToQ(s.application));
            } else {
                SetText(kOpenWith, ToQ(kNotDefined));
            }
        }

        const std::u16string pattern = s.PrepareListing();
        const std::u16string shown = s.workingDir + s.filter;
        if (!s.pages.empty()) {
            SetText(kDirectory, ToQ(shown));
            ListFolder(pattern);
        }
    }
    AfterListing();

    if (pageList_ && pageList_->topLevelItemCount() > 0) {
        const int row = std::max(0, SelectedPage());
        pageList_->scrollToItem(pageList_->topLevelItem(row));
    }
    // The window opens with the focus on the first control that takes it (the search box),
    // wherever the listing put it.
    for (QObject* child : client_->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && (widget->focusPolicy() & Qt::TabFocus) != 0 &&
            widget->isEnabled() && widget->isVisibleTo(client_)) {
            widget->setFocus();
            break;
        }
    }
    return !endedDuringInit_;
}

void CThumbDlg::OnOK() {
    const int selected = SelectedPage();
    if (selected >= 0)
        session_->StorePageState(selected);
    QDialog::done(QDialog::Accepted);
}

void CThumbDlg::DestroyWindow() {
    if (destroyed_)
        return;
    destroyed_ = true;
    const int selected = SelectedPage();
    session_->StorePageState(selected);
    session_->WriteSettings(selected);
    files_.Clear();
    cells_.clear();
    session_->pages.clear();
    if (pageList_) {
        updatingPageList_ = true;
        pageList_->clear();
        updatingPageList_ = false;
    }
}

// ---------------------------------------------------------------------------------------
// Commands

bool CThumbDlg::FocusIsOn(int id) const {
    QWidget* control = GetDlgItem(id);
    QWidget* focus = QApplication::focusWidget();
    if (control == nullptr || focus == nullptr)
        return false;
    return focus == control || control->isAncestorOf(focus);
}

bool CThumbDlg::OnCommand(int id) {
    // A failing command is reported and the dialog goes on, as the window procedure of the
    // original platform did; nothing may unwind through Qt's event loop.
    try {
        return DispatchCommand(id);
    } catch (const std::exception& error) {
        ReportException(error);
        return false;
    }
}

bool CThumbDlg::DispatchCommand(int id) {
    switch (id) {
        case kIdOk:
            if (FocusIsOn(kSearch) || FocusIsOn(kPageListId))
                return false;
            for (int cell = kFirstCell; cell <= kLastCell; ++cell) {
                if (FocusIsOn(cell))
                    return false;
            }
            OnOK();
            return true;
        case kIdCancel:
            if (profile_.asksBeforeExit && !session_->hostPresent) {
                folv::MessageRequest request;
                request.text = std::u16string(String(134));
                request.caption = session_->messageCaption;
                request.icon = folv::PromptIcon::Question;
                request.buttons = folv::PromptButtons::YesNo;
                request.defaultButton = 1;
                if (prompts_.Message(request) != folv::PromptAnswer::Yes)
                    return false;
            }
            QDialog::done(QDialog::Rejected);
            return true;
        case kOpen:
            if (profile_.hasOpen)
                OpenDrawing();
            return true;
        case 1021:
            ChooseApplication();
            return true;
        case 1037:
            SortCommand(folv::SortMode::byName);
            return true;
        case 1056:
            SortCommand(folv::SortMode::bySize);
            return true;
        case 1057:
            SortCommand(folv::SortMode::byDate);
            return true;
        case kRename:
            RenameCurrentFile();
            return true;
        case kDelete:
            DeleteCurrentFile();
            return true;
        case kCopy:
            CopyCurrentFile();
            return true;
        case kInsert:
            InsertDrawing();
            return true;
        case 1073:
            EditDefaultLayer();
            return true;
        case 32775:
            MovePageUp();
            return true;
        case 32776:
            MovePageDown();
            return true;
        case kXRef:
            XRefDrawing();
            return true;
        case 32784:
            AddPage();
            DefineDirectory();
            return true;
        case 32785:
            RenamePage();
            return true;
        case 32786:
            DeletePage();
            return true;
        case kDefineDirectory:
            DefineDirectory();
            return true;
        case kNext:
            NextScreen();
            return true;
        case kPrevious:
            PreviousScreen();
            return true;
        case 1058:
            ShowAbout();
            return true;
        case 1088:
            OnHelp();
            return true;
        case kRecover:
            if (profile_.hasRecover)
                RecoverDrawing();
            return true;
        case 1040:
            ShowPageMenu();
            return true;
        default:
            return false;
    }
}

void CThumbDlg::reject() {
    OnCommand(kIdCancel);
}

void CThumbDlg::closeEvent(QCloseEvent* event) {
    // The close box is Cancel; the answer to the question decides.
    event->ignore();
    OnCommand(kIdCancel);
}

void CThumbDlg::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter: {
                // A push button with the focus is the default button: Enter presses it.
                auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
                if (button != nullptr && isAncestorOf(button)) {
                    if (button->isEnabled() && button->isVisible())
                        button->click();
                } else {
                    OnCommand(kIdOk);
                }
                event->accept();
                return;
            }
            case Qt::Key_Escape:
                OnCommand(kIdCancel);
                event->accept();
                return;
            default:
                break;
        }
    }
    event->ignore();
}

void CThumbDlg::ShowWarning(int id) {
    folv::MessageRequest request;
    request.text = std::u16string(String(id));
    request.caption = session_->messageCaption;
    request.icon = folv::PromptIcon::Warning;
    request.buttons = folv::PromptButtons::Ok;
    prompts_.Message(request);
}

void CThumbDlg::ShowInformation(std::u16string_view text, std::u16string_view caption) {
    folv::MessageRequest request;
    request.text = std::u16string(text);
    request.caption = std::u16string(caption);
    request.icon = folv::PromptIcon::Information;
    request.buttons = folv::PromptButtons::Ok;
    prompts_.Message(request);
}

void CThumbDlg::ReportException(const std::exception& error) {
    folv::MessageRequest request;
    request.text = folv::FromUtf8(error.what());
    request.caption = std::u16string(kApplicationTitle);
    request.icon = folv::PromptIcon::Error;
    request.buttons = folv::PromptButtons::Ok;
    prompts_.Message(request);
}

void CThumbDlg::UpdateCommandStates(bool enable) {
    QMenu* fileMenu = SubMenu(0);
    if (fileMenu == nullptr)
        return;
    const bool hostLoaded = profile_.build == folv::BuildKind::Plugin || session_->HostLoaded();
    if (enable) {
        for (int id : {kOpen, kDelete, kCopy})
            EnableControl(id, true);
        for (int id : {kOpen, kXRef, kInsert, kDelete, kCopy, kRecover, kRename}) {
            EnableItem(id, true);
        }
    }
    if (hostLoaded) {
        if (enable) {
            EnableControl(kInsert, true);
            EnableControl(kXRef, true);
        }
        if (QMenu* pageMenu = SubMenu(1)) {
            const QList<QAction*> items = pageMenu->actions();
            if (items.size() > 8)
                items[8]->setEnabled(false);
        }
        const int mask = session_->grayOutMask;
        if (mask != 0) {
            struct Bit {
                int bit;
                int item;
                bool button;
            };
            static constexpr Bit kBits[] = {
                {0x002, kDefineDirectory, false},
                {0x004, kOpen, true},
                {0x008, kInsert, true},
                {0x010, kXRef, true},
                {0x020, kDelete, true},
                {0x040, kRename, false},
                {0x080, kCopy, true},
                {0x100, kRecover, false},
            };
            for (const Bit& b : kBits) {
                if ((mask & b.bit) == 0)
                    continue;
                EnableItem(b.item, false);
                if (b.button)
                    EnableControl(b.item, false);
            }
        }
    } else {
        for (int id : {kInsert, kXRef, kRecover})
            EnableItem(id, false);
        EnableControl(kXRef, false);
        EnableControl(kInsert, false);
    }
    if (QAction* item = MenuItem(SortItem(sortMode_)))
        item->setChecked(true);
}

void CThumbDlg::SetSortChecks() {
    const int chosen = SortItem(sortMode_);
    for (int id : {1037, 1056, 1057}) {
        if (QAction* item = MenuItem(id))
            item->setChecked(id == chosen);
    }
}

void CThumbDlg::SortCommand(folv::SortMode mode) {
    sortMode_ = mode;
    const std::u16string pattern = session_->workingDir + session_->filter;
    if (!pattern.empty()) {
        {
            folv::WaitCursor wait;
            ListFolder(pattern);
        }
        AfterListing();
    }
    SetSortChecks();
}

void CThumbDlg::OnHelp() {
    const std::u16string module = profile_.helpModulePath
                                      ? profile_.helpModulePath(session_->hostModuleName)
                                      : std::u16string();
    const std::u16string folder = folv::FolderPart(module);
    const QString file = ToQ(folder) + ToQ(String(131));
    const QUrl url = QUrl::fromLocalFile(file);
    if (urlOpener_) {
        urlOpener_(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

// ---------------------------------------------------------------------------------------
// Listing, paging and selection

int CThumbDlg::ListFolder(std::u16string_view pattern) {
    const folv::ListingResult result =
        folv::ListFolder(pattern, session_->workingDir, sortMode_, files_, progress_.get());
    if (!result.enumerated) {
        ClearGrid();
        return 0;
    }
    return ShowFirstScreen();
}

void CThumbDlg::AfterListing() {
    firstIndex_ = 0;
    EnableControl(kPrevious, false);
    EnableControl(kNext, !ControlText(kLastLabel).isEmpty());
}

void CThumbDlg::SetDetails(std::u16string_view name, const std::optional<folv::DirEntry>& found) {
    SetText(kFileName, ToQ(name));
    if (auto* label = qobject_cast<CStaticEx*>(GetDlgItem(kFileName)))
        label->SetTipText(name);
    SetText(kFileSize, ToQ(found ? SizeText(found->size) : std::u16string(kUnavailable)));
    SetText(kFileDate, ToQ(found ? DateText(found->modified) : std::u16string(kUnavailable)));
}

void CThumbDlg::FillDetails(std::u16string_view path, bool select) {
    const std::u16string name = folv::UpperAZ(folv::FileNamePart(path));
    const std::optional<folv::DirEntry> found = LookUpFile(path);
    if (!found)
        return;
    if (select)
        session_->selectedFile = name;
    SetDetails(name, found);
}

int CThumbDlg::ShowFirstScreen() {
    for (int k = 0; k < 12; ++k)
        SetLabel(k, u"");
    bool first = false;
    int filled = 0;
    const std::int64_t count = std::min<std::int64_t>(files_.size(), 12);
    for (std::int64_t i = 0; i < count; ++i) {
        const folv::FileData* record = files_.FileAt(i);
        if (record == nullptr) {
            ShowInformation(String(115), session_->messageCaption);
            break;
        }
        const std::u16string path(record->path.View());
        try {
            if (i == 0) {
                first = true;
                if (large_)
                    large_->setVisible(large_->LoadPicture(path));
                session_->selectedFile = path;
                // A file gone since the listing still keeps its cell and label, so that the
                // labels stay under their own cells; its details say so.
                SetDetails(folv::UpperAZ(folv::FileNamePart(path)), LookUpFile(path));
            }
            if (CDIBStatic* cell = Cell(static_cast<int>(i))) {
                cell->LoadPicture(path);
                cell->show();
            }
        } catch (const std::exception&) {
            // A cell that cannot be loaded stays empty; the others go on.
            if (CDIBStatic* cell = Cell(static_cast<int>(i)))
                cell->show();
        }
        SetLabel(filled, folv::LowerAZ(record->name.View()));
        ++filled;
    }
    for (int k = filled; k < static_cast<int>(cells_.size()); ++k)
        cells_[static_cast<std::size_t>(k)]->hide();
    if (!files_.empty()) {
        UpdateCommandStates(true);
        if (CDIBStatic* cell = Cell(0))
            cell->setFocus();
    }
    return first ? 1 : 0;
}

void CThumbDlg::ClearGrid() {
    for (int id : {kInsert, kXRef, kDelete, kOpen, kCopy})
        EnableControl(id, false);
    for (int id : {kOpen, kXRef, kInsert, kDelete, kCopy, kRecover, kRename})
        EnableItem(id, false);
    for (int k = 0; k < 12; ++k) {
        SetLabel(k, u"");
        if (CDIBStatic* cell = Cell(k))
            cell->hide();
    }
    if (large_) {
        large_->hide();
    } else {
        folv::MessageRequest request;
        request.text = std::u16string(String(123));
        request.caption = session_->messageCaption;
        request.icon = folv::PromptIcon::Warning;
        prompts_.Message(request);
    }
    SetText(kFileName, QString());
    if (auto* label = qobject_cast<CStaticEx*>(GetDlgItem(kFileName)))
        label->SetTipText(u"");
    SetText(kFileSize, QString());
    SetText(kFileDate, QString());
}

// Cells 0..11 from record `from` on. Returns whether a record was missing. Going forward a
// missing record hides its cell and disables ">>"; going back (a full screen is expected) it
// disables "<<", cell 0 selects record 0 on the first screen, and load errors are reported.
bool CThumbDlg::FillScreen(std::int64_t from, bool backward) {
    bool missing = false;
    for (int k = 0; k < 12; ++k) {
        const std::int64_t j = folv::paging::RecordForCell(from, k);
        const folv::FileData* record = files_.FileAt(j);
        CDIBStatic* cell = Cell(k);
        if (record == nullptr) {
            missing = true;
            if (backward) {
                EnableControl(kPrevious, false);
                continue;
            }
            if (cell)
                cell->hide();
            SetLabel(k, u"");
            EnableControl(kNext, false);
            continue;
        }
        const std::u16string path(record->path.View());
        try {
            if (k == 0) {
                if (backward && j < 11) {
                    SelectCell(1);
                } else {
                    ShowFileDetails(path);
                }
            }
            if (cell) {
                if (backward)
                    cell->show();
                cell->LoadPicture(path);
                cell->show();
            }
        } catch (const std::exception& error) {
            if (backward)
                ReportException(error);
        }
        SetLabel(k, folv::LowerAZ(record->name.View()));
    }
    return missing;
}

void CThumbDlg::NextScreen() {
    if (!folv::paging::CanGoNext(files_.size(), firstIndex_))
        return;
    firstIndex_ += folv::paging::kCellsPerScreen;
    ShowScreenAfter(firstIndex_ - 12);
}

void CThumbDlg::ShowScreenAfter(std::int64_t base) {
    if (!folv::paging::CanGoNext(files_.size(), base))
        return;
    EnableControl(kPrevious, true);
    {
        folv::WaitCursor wait;
        FillScreen(base + 12, false);
    }
    if (QWidget* focus = GetDlgItem(ControlText(kLastLabel).isEmpty() ? kPrevious : kNext)) {
        focus->setFocus();
    }
}

void CThumbDlg::PreviousScreen() {
    if (!folv::paging::CanGoPrevious(files_.size(), firstIndex_))
        return;
    firstIndex_ -= folv::paging::kCellsPerScreen;
    if (ShowScreenBefore(firstIndex_ + 12))
        firstIndex_ += 12;
}

bool CThumbDlg::ShowScreenBefore(std::int64_t base) {
    if (!folv::paging::CanGoPrevious(files_.size(), base))
        return false;
    EnableControl(kNext, true);
    const bool missing = FillScreen(base - 12, true);
    if (base == 12) {
        EnableControl(kPrevious, false);
        if (QWidget* next = GetDlgItem(kNext))
            next->setFocus();
    } else if (QWidget* previous = GetDlgItem(kPrevious)) {
        previous->setFocus();
    }
    return missing;
}

void CThumbDlg::SelectCell(int n) {
    if (n < 1 || files_.size() < n)
        return;
    const folv::FileData* record = files_.FileAt(firstIndex_ + n - 1);
    if (record == nullptr)
        return;
    const std::u16string path(record->path.View());
    try {
        if (large_) {
            large_->show();
            large_->LoadPicture(path);
        }
        FillDetails(path, true);
    } catch (const std::exception&) {
        // Shown as no picture; the details keep what they had.
    }
}

void CThumbDlg::ShowFileDetails(std::u16string_view path) {
    std::u16string full(path);
    if (full.empty() || !folv::IsSeparator(full.front()))
        full = session_->workingDir + full;
    try {
        if (large_) {
            large_->show();
            large_->LoadPicture(full);
        }
        FillDetails(full, false);
    } catch (const std::exception&) {
    }
}

void CThumbDlg::OnSearchChanged(const QString& text) {
    if (text.isEmpty())
        return;
    SearchFor(FromQ(text));
    if (search_)
        search_->setFocus();
}

void CThumbDlg::SearchFor(std::u16string_view text) {
    try {
        const std::optional<std::int64_t> position = files_.FindByPrefix(text);
        if (!position)
            return;
        const folv::FileData* record = files_.FileAt(*position - 1);
        if (record == nullptr) {
            ShowInformation(String(103), kApplicationTitle);
            return;
        }
        if (folv::paging::IsAlreadyCurrent(FromQ(ControlText(kFileName)), record->name.View())) {
            return;
        }
        const folv::paging::SearchMove move = folv::paging::PlanSearch(firstIndex_, *position);
        firstIndex_ = move.firstIndex;
        if (move.fill == folv::paging::SearchMove::Fill::kAfter) {
            ShowScreenAfter(move.base);
        } else if (move.fill == folv::paging::SearchMove::Fill::kBefore) {
            ShowScreenBefore(move.base);
        }
        SelectCell(move.cell);
    } catch (const std::exception& error) {
        ReportException(error);
    }
}

// ---------------------------------------------------------------------------------------
// Pages

int CThumbDlg::SelectedPage() const {
    return pageList_ ? pageList_->SelectedRow() : -1;
}

void CThumbDlg::OnPageSelectionChanged() {
    if (pageList_ == nullptr)
        return;
    const QModelIndex current = pageList_->currentIndex();
    int row = -1;
    if (current.isValid() && pageList_->selectionModel()->isSelected(current))
        row = current.row();
    if (row == selectedFocusedRow_)
        return;
    selectedFocusedRow_ = row;
    if (updatingPageList_ || row < 0)
        return;
    try {
        SwitchToPage(row);
    } catch (const std::exception& error) {
        ReportException(error);
    }
    pageList_->setFocus();
}

void CThumbDlg::SwitchToPage(int index) {
    if (index == -1)
        return;
    folv::ExplorerSession& s = *session_;
    s.currentPage = index;
    folv::InIData* page = s.PageAt(index);
    if (page == nullptr) {
        auto record = std::make_unique<folv::InIData>();
        record->Status = u"1";
        s.pages.push_back(std::move(record));
        s.workingDir.clear();
        s.filter.clear();
        s.application.clear();
        ClearGrid();
        return;
    }
    {
        folv::WaitCursor wait;
        s.workingDir = page->WorkingDir;
        if (page->Name.empty())
            page->Name = u"Page " + folv::FromUtf8(std::to_string(index));
        page->Status = u"1";
        s.filter = page->Extension;
        if (!Hosted()) {
            if (page->Application.empty()) {
                page->Application = s.application;
            } else {
                s.application = page->Application;
            }
        }
        const std::u16string pattern = s.workingDir + s.filter;
        SetText(kDirectory, ToQ(pattern));
        if (!Hosted()) {
            SetText(kOpenWith, ToQ(s.application.empty() ? kNotDefined : s.application));
        }
        if (pattern.empty() || s.workingDir.empty()) {
            ClearGrid();
        } else {
            ListFolder(pattern);
        }
    }
    EnableControl(kPrevious, false);
    EnableControl(kNext, !ControlText(kLastLabel).isEmpty());
    firstIndex_ = 0;
}

// ---------------------------------------------------------------------------------------
// Mouse and the cell menu

int CThumbDlg::IdOf(const QWidget* widget) const {
    if (widget == nullptr)
        return 0;
    const QVariant id = widget->property("id");
    return id.isValid() ? id.toInt() : 0;
}

QWidget* CThumbDlg::ChildAt(QPoint clientPoint) const {
    // Hidden controls count too (a hidden cell is a position without a file); the topmost
    // of overlapping controls wins, so the large preview is found over its group box.
    const QObjectList& children = client_->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        auto* widget = qobject_cast<QWidget*>(*it);
        if (widget != nullptr && widget->geometry().contains(clientPoint))
            return widget;
    }
    return nullptr;
}

bool CThumbDlg::InGridArea(QPoint clientPoint) const {
    const QWidget* first = GetDlgItem(kFirstCell);
    const QWidget* third = GetDlgItem(1003);
    if (first == nullptr || third == nullptr)
        return false;
    const QRect a = first->geometry();
    const QRect c = third->geometry();
    return clientPoint.x() >= a.left() && clientPoint.x() <= c.right() && clientPoint.y() > a.top();
}

bool CThumbDlg::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event == lastMouseEvent_ && mouse->timestamp() == lastMouseTime_ &&
            static_cast<int>(type) == lastMouseType_) {
            return false;
        }
        lastMouseEvent_ = event;
        lastMouseTime_ = mouse->timestamp();
        lastMouseType_ = static_cast<int>(type);
        try {
            return PreTranslateMouse(watched, mouse);
        } catch (const std::exception& error) {
            ReportException(error);
            return true;
        }
    }
    if (type == QEvent::ChildAdded && watched != this) {
        // Editors and pop-ups made later (the page list's label editor) are children too.
        auto* added = static_cast<QChildEvent*>(event)->child();
        if (auto* widget = qobject_cast<QWidget*>(added))
            InstallFilters(widget);
    }
    return QDialog::eventFilter(watched, event);
}

void CThumbDlg::GiveFocus(QWidget* w) {
    if (w == nullptr || w->focusPolicy() == Qt::NoFocus || !w->isVisible() || !w->isEnabled())
        return;
    // Focus already inside the control (the page list's label editor) stays where it is.
    QWidget* focus = QApplication::focusWidget();
    if (focus == w || w->isAncestorOf(focus))
        return;
    w->setFocus();
}

bool CThumbDlg::PreTranslateMouse(QObject* watched, QMouseEvent* event) {
    auto* target = qobject_cast<QWidget*>(watched);
    if (target == nullptr || (target != this && !isAncestorOf(target)))
        return false;
    if (target->window() != this)
        return false;
    const QPoint global = event->globalPosition().toPoint();
    const QPoint p = client_->mapFromGlobal(global);
    const bool inClient = client_->rect().contains(p);

    if (event->type() == QEvent::MouseButtonPress && event->button() == Qt::RightButton) {
        // The menu bar is no child window: a right press there is none of the grid's business.
        if (!inClient)
            return false;
        QWidget* w = ChildAt(p);
        const int id = IdOf(w);
        if (search_)
            search_->clear();
        if (IsCellId(id))
            SelectCell(id - 1000);
        GiveFocus(w);
        if (id == kOpenWith)
            return true;
        if (w == large_ || InGridArea(p)) {
            ShowCellMenu(global);
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease && event->button() == Qt::LeftButton) {
        // Released outside the window: no child to act on, the message goes on unchanged.
        if (!inClient)
            return false;
        QWidget* w = ChildAt(p);
        const int id = IdOf(w);
        GiveFocus(w);
        // A click in the page list empties the search box.
        if (pageList_ && (target == pageList_ || pageList_->isAncestorOf(target)) && search_) {
            search_->clear();
        }
        if (w != large_ && !InGridArea(p))
            return false;
        if (IsCellId(id)) {
            SelectCell(id - 1000);
            return true;
        }
        return false;
    }
    return false;
}

std::vector<CellMenuEntry> CThumbDlg::CellMenuEntries() const {
    const int mask = session_->grayOutMask;
    const bool hosted = Hosted();
    std::vector<CellMenuEntry> entries;
    if (profile_.hasOpen)
        entries.push_back({1, u"&Open", hosted || (mask & 0x004) != 0});
    entries.push_back({2, u"&Copy", (mask & 0x080) != 0});
    entries.push_back({3, u"&Delete", (mask & 0x020) != 0});
    entries.push_back({4, u"&Rename", (mask & 0x040) != 0});
    entries.push_back({5, u"", false});
    entries.push_back({6, u"&Insert", !hosted || (mask & 0x008) != 0});
    entries.push_back({7, u"&XRef", !hosted || (mask & 0x010) != 0});
    if (profile_.hasRecover) {
        entries.push_back({8, u"Recover", !hosted || (mask & 0x100) != 0 || folv::MdiMode()});
    }
    return entries;
}

void CThumbDlg::ShowCellMenu(QPoint globalPos) {
    const std::vector<CellMenuEntry> entries = CellMenuEntries();
    int chosen = 0;
    if (menuTracker_) {
        chosen = menuTracker_(entries, globalPos);
    } else {
        QMenu menu(this);
        for (const CellMenuEntry& entry : entries) {
            if (entry.number == 5) {
                menu.addSeparator();
                continue;
            }
            QAction* item = menu.addAction(ToQ(entry.text));
            item->setData(entry.number);
            item->setEnabled(!entry.grayed);
        }
        if (QAction* picked = menu.exec(globalPos))
            chosen = picked->data().toInt();
    }
    for (const CellMenuEntry& entry : entries) {
        if (entry.number != chosen || entry.grayed)
            continue;
        switch (chosen) {
            case 1:
                OpenDrawing();
                break;
            case 2:
                CopyCurrentFile();
                break;
            case 3:
                DeleteCurrentFile();
                break;
            case 4:
                RenameCurrentFile();
                break;
            case 6:
                InsertDrawing();
                break;
            case 7:
                XRefDrawing();
                break;
            case 8:
                RecoverDrawing();
                break;
            default:
                break;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Commands built by the page, file and drawing commands and the About dialog. They do
// nothing yet, so that every menu item, button and cell-menu entry is already routed.

void CThumbDlg::DefineDirectory() {}
void CThumbDlg::ChooseApplication() {}
void CThumbDlg::EditDefaultLayer() {}
void CThumbDlg::MovePageUp() {}
void CThumbDlg::MovePageDown() {}
void CThumbDlg::AddPage() {}
void CThumbDlg::DeletePage() {}
void CThumbDlg::RenamePage() {}
void CThumbDlg::ShowPageMenu() {}
void CThumbDlg::CopyCurrentFile() {}
void CThumbDlg::RenameCurrentFile() {}
void CThumbDlg::DeleteCurrentFile() {}
void CThumbDlg::OpenDrawing() {}
void CThumbDlg::InsertDrawing() {}
void CThumbDlg::XRefDrawing() {}
void CThumbDlg::RecoverDrawing() {}
void CThumbDlg::ShowAbout() {}
