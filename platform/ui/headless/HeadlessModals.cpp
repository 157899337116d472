#include "platform/ui/headless/HeadlessModals.h"

#include <utility>

namespace platform::ui::headless {

HeadlessModals* HeadlessModals::current() { return dynamic_cast<HeadlessModals*>(&Modals::presenter()); }

void HeadlessModals::showAlert(const Alert& alert, Window* window, std::function<void(int)> answer) {
    alert_ = alert;
    window_ = window;
    alertAnswer_ = std::move(answer);
}

void HeadlessModals::showFolderChooser(const FolderChooser& chooser, Window* window,
                                       std::function<void(std::optional<std::string>)> answer) {
    chooser_ = chooser;
    window_ = window;
    chooserAnswer_ = std::move(answer);
}

void HeadlessModals::showFileChooser(const FileChooser& chooser, Window* window,
                                     std::function<void(std::optional<std::string>)> answer) {
    fileChooser_ = chooser;
    window_ = window;
    fileAnswer_ = std::move(answer);
}

void HeadlessModals::showTextPrompt(const TextPrompt& prompt, Window* window,
                                    std::function<void(std::optional<std::string>)> answer) {
    prompt_ = prompt;
    window_ = window;
    promptAnswer_ = std::move(answer);
}

std::optional<std::string> HeadlessModals::runTextPrompt(const TextPrompt& prompt) {
    ranPrompts_.push_back(prompt);
    if (modalAnswers_.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(modalAnswers_.front());
    modalAnswers_.erase(modalAnswers_.begin());
    return answer;
}

bool HeadlessModals::answerPrompt(std::optional<std::string> text) {
    if (!prompt_) return false;
    auto answer = std::move(promptAnswer_);
    prompt_.reset();
    window_ = nullptr;
    if (answer) answer(std::move(text));
    return true;
}

void HeadlessModals::cancelShown() {
    if (prompt_) answerPrompt(std::nullopt);
    else if (alert_) clickButton(Alert::cancelled);
    else if (chooser_) chooseFolder(std::nullopt);
    else if (fileChooser_) chooseFile(std::nullopt);
}

void HeadlessModals::showAbout(const AboutInfo& info, Window*) { abouts_.push_back(info); }

bool HeadlessModals::clickButton(int index) {
    if (!alert_) return false;
    auto answer = std::move(alertAnswer_);
    alert_.reset();
    window_ = nullptr;
    // The answer may show the next modal, which lands in the fields just cleared.
    if (answer) answer(index);
    return true;
}

bool HeadlessModals::chooseFolder(std::optional<std::string> folder) {
    if (!chooser_) return false;
    auto answer = std::move(chooserAnswer_);
    chooser_.reset();
    window_ = nullptr;
    if (answer) answer(std::move(folder));
    return true;
}

bool HeadlessModals::chooseFile(std::optional<std::string> file) {
    if (!fileChooser_) return false;
    auto answer = std::move(fileAnswer_);
    fileChooser_.reset();
    window_ = nullptr;
    if (answer) answer(std::move(file));
    return true;
}

void HeadlessModals::forget() {
    fileChooser_.reset();
    fileAnswer_ = nullptr;
    alert_.reset();
    chooser_.reset();
    window_ = nullptr;
    alertAnswer_ = nullptr;
    chooserAnswer_ = nullptr;
    abouts_.clear();
    prompt_.reset();
    promptAnswer_ = nullptr;
    ranPrompts_.clear();
    modalAnswers_.clear();
}

}  // namespace platform::ui::headless
