#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Modals.h"

namespace platform::ui::headless {

// Modals with no display: the panel shown is held until a test answers it.
class HeadlessModals : public ModalPresenter {
public:
    void showAlert(const Alert& alert, Window* window, std::function<void(int)> answer) override;
    void showFolderChooser(const FolderChooser& chooser, Window* window,
                           std::function<void(std::optional<std::string>)> answer) override;
    void showFileChooser(const FileChooser& chooser, Window* window,
                         std::function<void(std::optional<std::string>)> answer) override;
    void showTextPrompt(const TextPrompt& prompt, Window* window,
                        std::function<void(std::optional<std::string>)> answer) override;
    // Answers with the next of the answers a test queued; cancelled when there is none.
    std::optional<std::string> runTextPrompt(const TextPrompt& prompt) override;
    void cancelShown() override;
    void showAbout(const AboutInfo& info, Window* window) override;

    // The one the headless presenter holds, when Modals uses it.
    static HeadlessModals* current();

    const std::optional<Alert>& shownAlert() const { return alert_; }
    const std::optional<FolderChooser>& shownChooser() const { return chooser_; }
    const std::optional<FileChooser>& shownFileChooser() const { return fileChooser_; }
    const std::optional<TextPrompt>& shownPrompt() const { return prompt_; }
    // The prompts run modally so far, and the answers the next ones get.
    const std::vector<TextPrompt>& ranPrompts() const { return ranPrompts_; }
    void queueModalAnswer(std::optional<std::string> text) { modalAnswers_.push_back(std::move(text)); }
    Window* shownOver() const { return window_; }
    const std::vector<AboutInfo>& abouts() const { return abouts_; }
    // The user's answers; false when nothing of that kind is shown.
    bool clickButton(int index);
    bool chooseFolder(std::optional<std::string> folder);
    bool chooseFile(std::optional<std::string> file);
    // The first button with the entry holding `text`, or nothing for Cancel.
    bool answerPrompt(std::optional<std::string> text);
    void forget();

private:
    std::optional<Alert> alert_;
    std::optional<FolderChooser> chooser_;
    std::optional<FileChooser> fileChooser_;
    Window* window_ = nullptr;
    std::function<void(int)> alertAnswer_;
    std::function<void(std::optional<std::string>)> chooserAnswer_;
    std::function<void(std::optional<std::string>)> fileAnswer_;
    std::vector<AboutInfo> abouts_;
    std::optional<TextPrompt> prompt_;
    std::function<void(std::optional<std::string>)> promptAnswer_;
    std::vector<TextPrompt> ranPrompts_;
    std::vector<std::optional<std::string>> modalAnswers_;
};

}  // namespace platform::ui::headless
