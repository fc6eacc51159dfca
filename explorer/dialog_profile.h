#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "explorer/resources/menu142.h"
#include "model/dwg_preview.h"
#include "model/host_bridge.h"
#include "model/session.h"

namespace folv {

// What tells the library build of the dialog from the plug-in build, chosen at run time so
// that one binary can run both.
struct DialogProfile {
    BuildKind build = BuildKind::Library;
    int templateId = 137;
    bool hasOpen = true;
    bool hasRecover = true;
    // Outside a host, Cancel asks "Are you sure you want to exit?" first.
    bool asksBeforeExit = true;
    std::u16string_view (*loadString)(int) = nullptr;
    // Makes the run's session: the host looked up by name, or the plug-in's own functions.
    std::function<std::unique_ptr<ExplorerSession>(const std::u16string& hostModuleName,
                                                   Prompts& prompts)>
        makeSession;
    // Where the help file sits: the folder of this file.
    std::function<std::u16string(const std::u16string& hostModuleName)> helpModulePath;

    // FOLVANE.DLL: template 137, the host found by name. applicationName names the library
    // file (without extension) whose folder holds the settings.
    static DialogProfile Library(std::u16string applicationName = u"FOLVANE");
    // folx2011.arx: template 102, no Open and no Recover, always hosted.
    static DialogProfile Plugin(const HostFunctionTable& functions,
                                std::u16string pluginModulePath = {});
};

}  // namespace folv
