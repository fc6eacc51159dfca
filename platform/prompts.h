#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace folv {

enum class PromptIcon { None, Information, Warning, Question, Error };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    std::u16string text;
    std::u16string caption;
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    int defaultButton = 0;  // 0 the first button, 1 the second, ...
};

struct FileRequest {
    std::u16string caption;
    std::u16string folder;   // where the dialog starts
    std::u16string name;     // proposed file name
    std::u16string filters;  // "Programs (*)" style, ";;"-separated
    bool save = false;
};

struct FolderRequest {
    std::u16string caption;
    std::u16string folder;
};

// Every message box, file dialog and folder browser goes through this service, so that
// window tests can answer them.
class Prompts {
  public:
    virtual ~Prompts() = default;
    virtual PromptAnswer Message(const MessageRequest& request) = 0;
    virtual std::optional<std::u16string> ChooseFile(const FileRequest& request) = 0;
    virtual std::optional<std::u16string> ChooseFolder(const FolderRequest& request) = 0;
};

// Answers prompts from a script and records what was asked. A message without a scripted
// answer gets its first button (Ok, or Yes); a file or folder request without one is cancelled.
class ScriptedPrompts final : public Prompts {
  public:
    PromptAnswer Message(const MessageRequest& request) override;
    std::optional<std::u16string> ChooseFile(const FileRequest& request) override;
    std::optional<std::u16string> ChooseFolder(const FolderRequest& request) override;

    void QueueAnswer(PromptAnswer answer) { answers_.push_back(answer); }
    void QueueFile(std::optional<std::u16string> path) { files_.push_back(std::move(path)); }
    void QueueFolder(std::optional<std::u16string> path) { folders_.push_back(std::move(path)); }

    const std::vector<MessageRequest>& Messages() const { return messages_; }
    const std::vector<FileRequest>& FileRequests() const { return fileRequests_; }
    const std::vector<FolderRequest>& FolderRequests() const { return folderRequests_; }
    void ClearRecords();

  private:
    std::deque<PromptAnswer> answers_;
    std::deque<std::optional<std::u16string>> files_;
    std::deque<std::optional<std::u16string>> folders_;
    std::vector<MessageRequest> messages_;
    std::vector<FileRequest> fileRequests_;
    std::vector<FolderRequest> folderRequests_;
};

}  // namespace folv
