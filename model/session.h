#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/build_kind.h"
#include "model/host_bridge.h"
#include "model/pages.h"
#include "platform/prompts.h"

namespace folv {

struct SessionSetup {
    BuildKind build = BuildKind::Library;
    // The host module's name as SetArxAppName gave it (library build).
    std::u16string hostModuleName;
    // The library's application name (its file name without extension); the settings
    // folder is the folder where <applicationName>.DLL is found.
    std::u16string applicationName = u"FOLVANE";
    // The program whose path a hosted run shows as its application.
    std::u16string autoCadModuleName = u"acad.exe";
};

enum class SettingsOutcome {
    Read,       // 1: pages read, or a new file made
    Failed,     // 0: message shown, start-up goes on with no pages
    EndDialog,  // 0: message 106 shown; the caller ends the dialog as with OK
};

inline constexpr std::u16string_view kOutOfDateText =
    u"Error.Layer definition failed.Possible reason: FOLVANE.ARX is out of date.";
inline constexpr std::u16string_view kOutOfDateCaption = u"Folvane";

// Everything one run of the explorer dialog knows that is not a window: the pages, the
// settings file, the page on screen and the host. The dialog owns one and wires its
// controls to it. Fields carry the names the dialog's state has always had.
class ExplorerSession {
  public:
    ExplorerSession(SessionSetup setup, std::unique_ptr<HostBridge> host, Prompts& prompts);
    ExplorerSession(const ExplorerSession&) = delete;
    ExplorerSession& operator=(const ExplorerSession&) = delete;

    // --- start-up, in this order ---
    // Host detection: hostPresent and acadParameter. The plug-in build has none.
    void DetectHost();
    // Locates FOLVANE.INI, then reads it or makes a new one of twenty pages.
    SettingsOutcome ReadSettings();
    // Names for the page list in list order (empty names become "Page %d") and
    // currentPage (the last page with Status "1"). The dialog selects currentPage.
    std::vector<std::u16string> FillPageList();
    // Host start values: 1 when all three start-value functions exist.
    int ReadHostDefaults();
    // The current page's folder and filter become those on screen. False (nothing taken)
    // when there is no record at currentPage.
    bool TakeOverCurrentPage();
    // Hosted runs: application becomes the AutoCAD program's path. False when that
    // program is not loaded or its path does not fit; application is then unchanged.
    bool TakeHostApplication();
    // P = workingDir + filter; workingDir becomes the folder part of P (with its final
    // separator). Returns P, the pattern to list.
    std::u16string PrepareListing();

    // --- while running and at the end ---
    // The page on screen goes into the page at selectedIndex (negative: none selected).
    void StorePageState(int selectedIndex);
    // Writes the pages, then informs the host once. selectedIndex as above.
    void WriteSettings(int selectedIndex);
    // Hands layer, colour, file, folder and command to the host; 1 when it is loaded.
    int InformHost(int selectedIndex);

    // The host module is loaded now (looked up again each time).
    bool HostLoaded() const { return host_->Loaded(); }
    HostBridge& Host() { return *host_; }
    Prompts& GetPrompts() { return prompts_; }
    BuildKind Build() const { return setup_.build; }
    // A warning box with string id, captioned messageCaption.
    void ShowWarning(int id);
    // The page record at index, or null.
    InIData* PageAt(int index);

    // Split into the two halves of ReadSettings for callers that already know the path.
    bool LocateSettings();
    SettingsOutcome LoadSettings();

    // --- state ---
    PageList pages;
    int currentPage = 0;
    std::u16string settingsPath;
    std::u16string workingDir;
    std::u16string filter;
    std::u16string application;
    std::u16string selectedFile;
    std::u16string hostCommand;
    std::u16string hostModuleName;
    std::u16string messageCaption;
    bool hostPresent = false;
    bool hostDefaultsMissing = false;
    bool hostInformed = false;
    // The host's AcadParameter was found at start-up. Kept as a mark, not as a pointer:
    // each call finds the function again, so an unloaded host cannot leave it dangling.
    bool acadParameter = false;
    // The host's GetStartDir was found by the last ReadHostDefaults (same reasoning).
    bool getStartDir = false;
    int grayOutMask = 0;

  private:
    void ShowMessage(std::u16string_view text, std::u16string_view caption, PromptIcon icon);

    SessionSetup setup_;
    std::unique_ptr<HostBridge> host_;
    Prompts& prompts_;
};

// The library build's session: the host named hostModuleName, looked up by name.
std::unique_ptr<ExplorerSession> MakeLibrarySession(std::u16string hostModuleName, Prompts& prompts,
                                                    std::u16string applicationName = u"FOLVANE");

// The plug-in build's session over the plug-in's own bridge functions.
std::unique_ptr<ExplorerSession> MakePluginSession(const HostFunctionTable& functions,
                                                   Prompts& prompts);

}  // namespace folv
