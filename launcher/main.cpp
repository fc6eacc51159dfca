// folvlaunch: starts the explorer outside AutoCAD. Its command line is not read.

#include "explorer/qt_app_scope.h"
#include "explorer/qt_prompts.h"
#include "launcher/launch.h"
#include "platform/modules.h"

namespace {

// The launcher owns no window; a message box needs an application, made only then, so that
// the explorer library makes its own when it runs.
class LauncherPrompts final : public folv::Prompts {
  public:
    folv::PromptAnswer Message(const folv::MessageRequest& request) override {
        folv::QtAppScope qt("folvlaunch");
        folv::QtPrompts prompts;
        return prompts.Message(request);
    }
    std::optional<std::u16string> ChooseFile(const folv::FileRequest&) override {
        return std::nullopt;
    }
    std::optional<std::u16string> ChooseFolder(const folv::FolderRequest&) override {
        return std::nullopt;
    }
};

}  // namespace

int main() {
    LauncherPrompts prompts;
    return folv::Launch(folv::SearchStandardPath, prompts);
}
