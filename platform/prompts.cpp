#include "platform/prompts.h"

namespace folv {

PromptAnswer ScriptedPrompts::Message(const MessageRequest& request) {
    messages_.push_back(request);
    if (!answers_.empty()) {
        PromptAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    switch (request.buttons) {
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptAnswer::Yes;
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
            break;
    }
    return PromptAnswer::Ok;
}

std::optional<std::u16string> ScriptedPrompts::ChooseFile(const FileRequest& request) {
    fileRequests_.push_back(request);
    if (files_.empty())
        return std::nullopt;
    auto answer = std::move(files_.front());
    files_.pop_front();
    return answer;
}

std::optional<std::u16string> ScriptedPrompts::ChooseFolder(const FolderRequest& request) {
    folderRequests_.push_back(request);
    if (folders_.empty())
        return std::nullopt;
    auto answer = std::move(folders_.front());
    folders_.pop_front();
    return answer;
}

void ScriptedPrompts::ClearRecords() {
    messages_.clear();
    fileRequests_.clear();
    folderRequests_.clear();
}

}  // namespace folv
