// folvlaunch: starts the explorer outside AutoCAD. Its command line is not read.

#include <QApplication>
#include <memory>

#include "explorer/qt_prompts.h"
#include "launcher/launch.h"
#include "platform/modules.h"

namespace {

// The launcher owns no window; a message box needs an application, made only then, so that
// the explorer library makes its own when it runs.
class LauncherPrompts final : public folv::Prompts {
  public:
    folv::PromptAnswer Message(const folv::MessageRequest& request) override {
        int argc = 1;
        char name[] = "folvlaunch";
        char* argv[] = {name, nullptr};
        std::unique_ptr<QApplication> app;
        if (QApplication::instance() == nullptr)
            app = std::make_unique<QApplication>(argc, argv);
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
