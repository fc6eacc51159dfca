#pragma once

#include "platform/prompts.h"

class QWidget;

namespace folv {

// Message boxes and file dialogs of the running program. Boxes are owned by the given
// window, or have none.
class QtPrompts final : public Prompts {
  public:
    explicit QtPrompts(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    PromptAnswer Message(const MessageRequest& request) override;
    std::optional<std::u16string> ChooseFile(const FileRequest& request) override;
    std::optional<std::u16string> ChooseFolder(const FolderRequest& request) override;

  private:
    QWidget* owner_;
};

}  // namespace folv
