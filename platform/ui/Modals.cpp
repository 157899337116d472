#include "platform/ui/Modals.h"

#include <utility>

#include "platform/ui/headless/HeadlessModals.h"

namespace platform::ui {

namespace {

struct PendingAlert {
    Alert alert;
    Alert::Completion completion;
};
struct PendingChooser {
    FolderChooser chooser;
    FolderChooser::Completion completion;
};
struct PendingFileChooser {
    FileChooser chooser;
    FileChooser::Completion completion;
};
struct PendingPrompt {
    TextPrompt prompt;
    TextPrompt::Completion completion;
};
struct Pending {
    std::variant<PendingAlert, PendingChooser, PendingFileChooser, PendingPrompt> panel;
    Window* window;
};

struct Queue {
    std::shared_ptr<ModalPresenter> presenter = std::make_shared<headless::HeadlessModals>();
    std::deque<Pending> waiting;
    bool showing = false;
    // Bumped by reset(), so answers of forgotten panels are dropped.
    unsigned generation = 0;
};

Queue& queue() {
    static Queue q;
    return q;
}

void showNext();

// Ends the panel shown now, once: a second answer of the same panel is dropped.
bool takeAnswer(const std::shared_ptr<bool>& answered, unsigned generation) {
    if (*answered || generation != queue().generation) return false;
    *answered = true;
    queue().showing = false;
    return true;
}

void showNext() {
    Queue& q = queue();
    if (q.showing || q.waiting.empty()) return;
    Pending next = std::move(q.waiting.front());
    q.waiting.pop_front();
    q.showing = true;
    const unsigned generation = q.generation;
    auto answered = std::make_shared<bool>(false);
    // Keep the presenter alive while it shows, even if another is installed meanwhile.
    std::shared_ptr<ModalPresenter> presenter = q.presenter;
    if (auto* alert = std::get_if<PendingAlert>(&next.panel)) {
        auto completion = std::move(alert->completion);
        presenter->showAlert(alert->alert, next.window, [completion, generation, answered](int button) {
            if (!takeAnswer(answered, generation)) return;
            if (completion) completion(button);
            showNext();
        });
    } else if (auto* file = std::get_if<PendingFileChooser>(&next.panel)) {
        auto completion = std::move(file->completion);
        presenter->showFileChooser(file->chooser, next.window,
                                   [completion, generation, answered](std::optional<std::string> path) {
                                       if (!takeAnswer(answered, generation)) return;
                                       if (completion) completion(std::move(path));
                                       showNext();
                                   });
    } else if (auto* prompt = std::get_if<PendingPrompt>(&next.panel)) {
        auto completion = std::move(prompt->completion);
        presenter->showTextPrompt(prompt->prompt, next.window,
                                  [completion, generation, answered](std::optional<std::string> text) {
                                      if (!takeAnswer(answered, generation)) return;
                                      if (completion) completion(std::move(text));
                                      showNext();
                                  });
    } else {
        auto& chooser = std::get<PendingChooser>(next.panel);
        auto completion = std::move(chooser.completion);
        presenter->showFolderChooser(chooser.chooser, next.window,
                                     [completion, generation, answered](std::optional<std::string> folder) {
                                         if (!takeAnswer(answered, generation)) return;
                                         if (completion) completion(std::move(folder));
                                         showNext();
                                     });
    }
}

}  // namespace

void Modals::setPresenter(std::shared_ptr<ModalPresenter> presenter) {
    queue().presenter = presenter ? std::move(presenter) : std::make_shared<headless::HeadlessModals>();
}

ModalPresenter& Modals::presenter() { return *queue().presenter; }

void Modals::present(const Alert& alert, Window* window, Alert::Completion completion) {
    queue().waiting.push_back({PendingAlert{alert, std::move(completion)}, window});
    showNext();
}

void Modals::present(const FolderChooser& chooser, Window* window, FolderChooser::Completion completion) {
    queue().waiting.push_back({PendingChooser{chooser, std::move(completion)}, window});
    showNext();
}

void Modals::present(const FileChooser& chooser, Window* window, FileChooser::Completion completion) {
    queue().waiting.push_back({PendingFileChooser{chooser, std::move(completion)}, window});
    showNext();
}

void Modals::present(const TextPrompt& prompt, Window* window, TextPrompt::Completion completion) {
    queue().waiting.push_back({PendingPrompt{prompt, std::move(completion)}, window});
    showNext();
}

void ModalPresenter::showTextPrompt(const TextPrompt&, Window*, std::function<void(std::optional<std::string>)> answer) {
    answer(std::nullopt);
}

std::optional<std::string> ModalPresenter::runTextPrompt(const TextPrompt&) { return std::nullopt; }

void ModalPresenter::showFileChooser(const FileChooser&, Window*, std::function<void(std::optional<std::string>)> answer) {
    answer(std::nullopt);
}

void Modals::showAbout(const AboutInfo& info, Window* window) { queue().presenter->showAbout(info, window); }

bool Modals::isShowing() { return queue().showing; }

size_t Modals::waiting() { return queue().waiting.size(); }

void Modals::cancelShowing() {
    if (queue().showing) queue().presenter->cancelShown();
}

void Modals::reset() {
    Queue& q = queue();
    ++q.generation;
    q.waiting.clear();
    q.showing = false;
    if (auto* headless = dynamic_cast<headless::HeadlessModals*>(q.presenter.get())) headless->forget();
}

void Alert::present(Window* window, Completion completion) const { Modals::present(*this, window, std::move(completion)); }

void FolderChooser::present(Window* window, Completion completion) const {
    Modals::present(*this, window, std::move(completion));
}

void FileChooser::present(Window* window, Completion completion) const {
    Modals::present(*this, window, std::move(completion));
}

void TextPrompt::present(Window* window, Completion completion) const {
    Modals::present(*this, window, std::move(completion));
}

std::optional<std::string> TextPrompt::runModal() const {
    // Kept alive while it runs, even if another is installed meanwhile.
    std::shared_ptr<ModalPresenter> presenter = queue().presenter;
    return presenter->runTextPrompt(*this);
}

}  // namespace platform::ui
