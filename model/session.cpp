#include "model/session.h"

#include <exception>
#include <utility>

#include "explorer/resources/string_table.h"
#include "platform/modules.h"
#include "platform/paths.h"

namespace folv {

namespace {

constexpr int kMsgCannotWrite = 105;
constexpr int kMsgNoProgramPath = 106;
constexpr int kMsgCannotRead = 107;
constexpr int kMsgCaption = 116;

// NAME.EXT as the host takes it: at most 255 characters.
constexpr std::size_t kMaxSelectedName = 255;

std::u16string DriveAndFolder(std::u16string_view path) {
    PathParts parts = SplitPath(path);
    return parts.drive + parts.dir;
}

}  // namespace

ExplorerSession::ExplorerSession(SessionSetup setup, std::unique_ptr<HostBridge> host,
                                 Prompts& prompts)
    : hostModuleName(setup.hostModuleName),
      messageCaption(LoadString(kMsgCaption)),
      setup_(std::move(setup)),
      host_(std::move(host)),
      prompts_(prompts) {}

void ExplorerSession::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                  PromptIcon icon) {
    MessageRequest request;
    request.text = std::u16string(text);
    request.caption = std::u16string(caption);
    request.icon = icon;
    request.buttons = PromptButtons::Ok;
    prompts_.Message(request);
}

void ExplorerSession::ShowWarning(int id) {
    ShowMessage(LoadString(id), messageCaption, PromptIcon::Warning);
}

InIData* ExplorerSession::PageAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= pages.size())
        return nullptr;
    return pages[static_cast<std::size_t>(index)].get();
}

void ExplorerSession::DetectHost() {
    if (setup_.build == BuildKind::Plugin)
        return;
    hostPresent = host_->Loaded();
    acadParameter = hostPresent && host_->Has(HostFunction::AcadParameter);
}

bool ExplorerSession::LocateSettings() {
    std::u16string folder;
    if (setup_.build == BuildKind::Library) {
        std::u16string path;
        auto found = SearchStandardPath(setup_.applicationName + u".DLL");
        // Only the folder of the path is used, so a name found in another case needs no
        // ".DLL" put back on.
        if (found && found->size() < kMaxPath) {
            path = *found;
        } else if (acadParameter) {
            PathBuffer answer;
            host_->AcadParameter(u"GETPATH", answer);
            path = answer.Str();
        }
        if (path.empty()) {
            ShowWarning(kMsgNoProgramPath);
            return false;
        }
        folder = DriveAndFolder(path);
    }
    if (ReadHostDefaults()) {
        // The host's start folder holds the settings, whatever GetStartDir answers.
        PathBuffer start;
        host_->GetStartDir(start);
        folder = DriveAndFolder(start.View());
    }
    settingsPath = folder + std::u16string(kSettingsFileName);
    return true;
}

SettingsOutcome ExplorerSession::LoadSettings() {
    try {
        PageList read;
        switch (ReadSettingsFile(settingsPath, read)) {
            case SettingsFileState::Missing: {
                std::string bytes = FormatNewSettings(workingDir, read);
                if (!ReplaceSettingsFile(settingsPath, bytes)) {
                    ShowWarning(kMsgCannotWrite);
                    return SettingsOutcome::Failed;
                }
                break;
            }
            case SettingsFileState::Unreadable:
                ShowWarning(kMsgCannotRead);
                return SettingsOutcome::Failed;
            case SettingsFileState::Read:
                break;
        }
        for (auto& page : read)
            pages.push_back(std::move(page));
        return SettingsOutcome::Read;
    } catch (const std::exception& e) {
        ShowMessage(FromUtf8(e.what()), messageCaption, PromptIcon::Warning);
        return SettingsOutcome::Failed;
    }
}

SettingsOutcome ExplorerSession::ReadSettings() {
    if (!LocateSettings())
        return SettingsOutcome::EndDialog;
    return LoadSettings();
}

std::vector<std::u16string> ExplorerSession::FillPageList() {
    std::vector<std::u16string> names;
    try {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            InIData* page = pages[i].get();
            if (page == nullptr) {
                names.push_back(DefaultPageName(static_cast<long long>(i)));
                continue;
            }
            if (!page->Status.empty() && page->Status.front() == u'1') {
                currentPage = static_cast<int>(i);
            }
            if (page->Name.empty())
                page->Name = DefaultPageName(static_cast<long long>(i));
            names.push_back(page->Name);
        }
    } catch (const std::exception& e) {
        ShowMessage(FromUtf8(e.what()), messageCaption, PromptIcon::Warning);
    }
    return names;
}

int ExplorerSession::ReadHostDefaults() {
    if (!host_->Loaded())
        return 0;
    PathBuffer buffer;
    auto dirResult = host_->GetStartDir(buffer);
    getStartDir = dirResult.has_value();
    if (!dirResult)
        return 0;
    if (*dirResult != 0)
        workingDir = buffer.Str();

    PathBuffer ext;
    auto extResult = host_->GetStartExt(ext);
    if (!extResult)
        return 0;
    if (*extResult != 0)
        filter = ext.Str();

    auto mask = host_->GetWhatToGrayOut();
    if (!mask)
        return 0;
    grayOutMask = *mask;
    return 1;
}

bool ExplorerSession::TakeOverCurrentPage() {
    InIData* page = PageAt(currentPage);
    if (page == nullptr)
        return false;
    workingDir = page->WorkingDir;
    filter = page->Extension;
    return true;
}

bool ExplorerSession::TakeHostApplication() {
    auto program = FindLoadedModule(setup_.autoCadModuleName);
    if (program == nullptr)
        return false;
    const std::u16string& path = program->Path();
    if (path.empty() || path.size() >= kMaxPath)
        return false;
    application = path;
    return true;
}

std::u16string ExplorerSession::PrepareListing() {
    std::u16string pattern = workingDir + filter;
    workingDir = DriveAndFolder(pattern);
    return pattern;
}

void ExplorerSession::StorePageState(int selectedIndex) {
    if (selectedIndex < 0)
        return;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        InIData* page = pages[i].get();
        if (page == nullptr)
            continue;
        if (i == static_cast<std::size_t>(selectedIndex)) {
            page->WorkingDir = workingDir;
            page->Extension = filter;
            if (!hostPresent)
                page->Application = application;
            page->Status = u"1";
        } else {
            page->Status = u"0";
        }
    }
}

void ExplorerSession::WriteSettings(int selectedIndex) {
    if (settingsPath.empty())
        return;
    try {
        if (!ReplaceSettingsFile(settingsPath, FormatSettings(pages))) {
            ShowWarning(kMsgCannotWrite);
            return;
        }
    } catch (const std::exception& e) {
        ShowMessage(FromUtf8(e.what()), messageCaption, PromptIcon::Warning);
    }
    if (!hostDefaultsMissing && !hostInformed) {
        InformHost(selectedIndex);
        hostInformed = true;
    }
}

int ExplorerSession::InformHost(int selectedIndex) {
    std::u16string layer;
    std::u16string colour;
    if (InIData* page = PageAt(selectedIndex)) {
        layer = page->Layer;
        colour = page->Colour;
    }
    if (!host_->Loaded())
        return 0;

    if (!host_->Has(HostFunction::SetDefLayer)) {
        if (setup_.build == BuildKind::Library) {
            ShowMessage(kOutOfDateText, kOutOfDateCaption, PromptIcon::None);
        }
    } else if (!layer.empty()) {
        host_->SetDefLayer(layer);
    }
    if (!colour.empty())
        host_->SetDefColour(colour);
    if (!selectedFile.empty()) {
        std::u16string name = UpperAZ(FileNamePart(selectedFile));
        if (!name.empty() && name.size() <= kMaxSelectedName)
            host_->SetSelectedFile(name);
    }
    if (!workingDir.empty())
        host_->SetWorkingDirPath(workingDir);
    if (!hostCommand.empty())
        host_->SetAcadCommandToExec(hostCommand);
    return 1;
}

std::unique_ptr<ExplorerSession> MakeLibrarySession(std::u16string hostModuleName, Prompts& prompts,
                                                    std::u16string applicationName) {
    SessionSetup setup;
    setup.build = BuildKind::Library;
    setup.hostModuleName = hostModuleName;
    setup.applicationName = std::move(applicationName);
    return std::make_unique<ExplorerSession>(
        std::move(setup), std::make_unique<DynamicHostBridge>(std::move(hostModuleName)), prompts);
}

std::unique_ptr<ExplorerSession> MakePluginSession(const HostFunctionTable& functions,
                                                   Prompts& prompts) {
    SessionSetup setup;
    setup.build = BuildKind::Plugin;
    return std::make_unique<ExplorerSession>(
        std::move(setup), std::make_unique<DirectHostBridge>(functions), prompts);
}

}  // namespace folv
