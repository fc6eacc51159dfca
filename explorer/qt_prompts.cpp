#include "explorer/qt_prompts.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "explorer/qt_text.h"

namespace folv {
namespace {

QMessageBox::Icon ToQtIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

PromptAnswer QtPrompts::Message(const MessageRequest& request) {
    QMessageBox box(ToQtIcon(request.icon), ToQ(request.caption), ToQ(request.text),
                    QMessageBox::NoButton, owner_);
    std::vector<std::pair<QAbstractButton*, PromptAnswer>> buttons;
    auto add = [&](QMessageBox::StandardButton button, PromptAnswer answer) {
        buttons.emplace_back(box.addButton(button), answer);
    };
    switch (request.buttons) {
        case PromptButtons::Ok:
            add(QMessageBox::Ok, PromptAnswer::Ok);
            break;
        case PromptButtons::OkCancel:
            add(QMessageBox::Ok, PromptAnswer::Ok);
            add(QMessageBox::Cancel, PromptAnswer::Cancel);
            break;
        case PromptButtons::YesNo:
            add(QMessageBox::Yes, PromptAnswer::Yes);
            add(QMessageBox::No, PromptAnswer::No);
            break;
        case PromptButtons::YesNoCancel:
            add(QMessageBox::Yes, PromptAnswer::Yes);
            add(QMessageBox::No, PromptAnswer::No);
            add(QMessageBox::Cancel, PromptAnswer::Cancel);
            break;
    }
    const std::size_t defaultIndex = static_cast<std::size_t>(std::max(0, request.defaultButton));
    if (defaultIndex < buttons.size()) {
        box.setDefaultButton(static_cast<QPushButton*>(buttons[defaultIndex].first));
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const auto& [button, answer] : buttons) {
        if (button == clicked)
            return answer;
    }
    // Closed without a button: the box's escape answer.
    if (request.buttons == PromptButtons::YesNo)
        return PromptAnswer::No;
    if (request.buttons == PromptButtons::Ok)
        return PromptAnswer::Ok;
    return PromptAnswer::Cancel;
}

std::optional<std::u16string> QtPrompts::ChooseFile(const FileRequest& request) {
    QString start = ToQ(request.folder);
    if (!request.name.empty())
        start = start.isEmpty() ? ToQ(request.name) : QDir(start).filePath(ToQ(request.name));
    const QString chosen = request.save ? QFileDialog::getSaveFileName(owner_, ToQ(request.caption),
                                                                       start, ToQ(request.filters))
                                        : QFileDialog::getOpenFileName(owner_, ToQ(request.caption),
                                                                       start, ToQ(request.filters));
    if (chosen.isEmpty())
        return std::nullopt;
    return FromQ(chosen);
}

std::optional<std::u16string> QtPrompts::ChooseFolder(const FolderRequest& request) {
    const QString chosen =
        QFileDialog::getExistingDirectory(owner_, ToQ(request.caption), ToQ(request.folder));
    if (chosen.isEmpty())
        return std::nullopt;
    return FromQ(chosen);
}

}  // namespace folv
