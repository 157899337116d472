#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/ui/Alert.h"

namespace platform::ui {

class Window;

// What a toolkit shows of modal panels. Each show calls its answer exactly once, later, on the
// main thread; cancelShown ends the panel shown now as if the user had cancelled it.
class ModalPresenter {
public:
    virtual ~ModalPresenter() = default;
    virtual void showAlert(const Alert& alert, Window* window, std::function<void(int)> answer) = 0;
    virtual void showFolderChooser(const FolderChooser& chooser, Window* window,
                                   std::function<void(std::optional<std::string>)> answer) = 0;
    // A toolkit without file choosers answers nothing chosen.
    virtual void showFileChooser(const FileChooser& chooser, Window* window,
                                 std::function<void(std::optional<std::string>)> answer);
    // A toolkit without text prompts answers nothing.
    virtual void showTextPrompt(const TextPrompt& prompt, Window* window,
                                std::function<void(std::optional<std::string>)> answer);
    // The prompt alone, modal to the program; returns its answer.
    virtual std::optional<std::string> runTextPrompt(const TextPrompt& prompt);
    virtual void cancelShown() = 0;
    // Not modal and not queued.
    virtual void showAbout(const AboutInfo& info, Window* window) = 0;
};

// The modal panels of the process, shown one at a time in the order they were asked for. Without
// a toolkit's presenter the headless one holds them until a test answers. Main thread.
class Modals {
public:
    Modals() = delete;

    static void setPresenter(std::shared_ptr<ModalPresenter> presenter);
    static ModalPresenter& presenter();

    static void present(const Alert& alert, Window* window, Alert::Completion completion);
    static void present(const FolderChooser& chooser, Window* window, FolderChooser::Completion completion);
    static void present(const FileChooser& chooser, Window* window, FileChooser::Completion completion);
    static void present(const TextPrompt& prompt, Window* window, TextPrompt::Completion completion);
    static void showAbout(const AboutInfo& info, Window* window);

    // A modal is shown now (a sheet is attached, in the application's words).
    static bool isShowing();
    static size_t waiting();
    // Ends the modal shown now as cancelled; nothing when none is shown.
    static void cancelShowing();
    // Forgets every modal, shown or waiting, without answering (between tests).
    static void reset();
};

}  // namespace platform::ui
