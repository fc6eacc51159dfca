#include "explorer/dialog_profile.h"

#include "explorer/resources/string_table.h"
#include "platform/modules.h"

namespace folv {

DialogProfile DialogProfile::Library(std::u16string applicationName) {
    DialogProfile profile;
    profile.build = BuildKind::Library;
    profile.templateId = 137;
    profile.hasOpen = true;
    profile.hasRecover = true;
    profile.asksBeforeExit = true;
    profile.loadString = &LoadString;
    profile.makeSession = [applicationName](const std::u16string& hostModuleName,
                                            Prompts& prompts) {
        return MakeLibrarySession(hostModuleName, prompts, applicationName);
    };
    // The host's file, or the running program's when no host is loaded.
    profile.helpModulePath = [](const std::u16string& hostModuleName) {
        return ModuleFileName(hostModuleName);
    };
    return profile;
}

DialogProfile DialogProfile::Plugin(const HostFunctionTable& functions,
                                    std::u16string pluginModulePath) {
    DialogProfile profile;
    profile.build = BuildKind::Plugin;
    profile.templateId = 102;
    profile.hasOpen = false;
    profile.hasRecover = false;
    profile.asksBeforeExit = false;
    profile.loadString = &LoadPluginString;
    profile.makeSession = [functions](const std::u16string&, Prompts& prompts) {
        return MakePluginSession(functions, prompts);
    };
    profile.helpModulePath = [pluginModulePath](const std::u16string&) {
        return pluginModulePath.empty() ? ProgramPath() : pluginModulePath;
    };
    return profile;
}

}  // namespace folv
