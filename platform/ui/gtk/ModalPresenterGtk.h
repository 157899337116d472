#pragma once

#include <functional>

#include "platform/ui/Modals.h"

typedef struct _GtkWindow GtkWindow;
typedef struct _GtkWidget GtkWidget;

namespace platform::ui::gtk {

// Alerts as modal GtkMessageDialogs (first button the default, Escape or the close button
// cancels), folder choosers as GtkFileChooserDialogs, file choosers as the desktop's own
// (GtkFileChooserNative, not modal), text prompts as dialogs with an entry (Return is the first
// button), About as a GtkAboutDialog; each over the toolkit window of the Window given.
class ModalPresenterGtk : public ModalPresenter {
public:
    using WindowLookup = std::function<GtkWindow*(Window*)>;
    explicit ModalPresenterGtk(WindowLookup lookup) : lookup_(std::move(lookup)) {}

    void showAlert(const Alert& alert, Window* window, std::function<void(int)> answer) override;
    void showFolderChooser(const FolderChooser& chooser, Window* window,
                           std::function<void(std::optional<std::string>)> answer) override;
    void showFileChooser(const FileChooser& chooser, Window* window,
                         std::function<void(std::optional<std::string>)> answer) override;
    void showTextPrompt(const TextPrompt& prompt, Window* window,
                        std::function<void(std::optional<std::string>)> answer) override;
    std::optional<std::string> runTextPrompt(const TextPrompt& prompt) override;
    void cancelShown() override;
    void showAbout(const AboutInfo& info, Window* window) override;

private:
    WindowLookup lookup_;
    GtkWidget* shown_ = nullptr;
    // The native file chooser shown now, and how to answer it when it is cancelled from here.
    void* native_ = nullptr;
    std::function<void()> cancelNative_;
};

}  // namespace platform::ui::gtk
