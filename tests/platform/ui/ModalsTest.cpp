#include "platform/ui/Modals.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/HeadlessModals.h"

namespace platform::ui {
namespace {

using headless::HeadlessModals;

class ModalsTest : public ::testing::Test {
protected:
    void SetUp() override { Modals::reset(); }
    void TearDown() override {
        Modals::reset();
        Modals::setPresenter(nullptr);
    }
    static Alert alert(std::string message) { return Alert{std::move(message), "", Alert::Style::warning, {"OK", "Cancel"}}; }
};

TEST_F(ModalsTest, OneAtATimeInTheOrderAsked) {
    std::vector<std::string> answers;
    alert("first").present(nullptr, [&](int b) { answers.push_back("first " + std::to_string(b)); });
    alert("second").present(nullptr, [&](int b) {
        answers.push_back("second " + std::to_string(b));
        // Asked from an answer: after the ones already waiting.
        alert("fourth").present(nullptr, [&](int b) { answers.push_back("fourth " + std::to_string(b)); });
    });
    FolderChooser{"Folder", "Open", "/"}.present(nullptr, [&](std::optional<std::string> folder) {
        answers.push_back("third " + folder.value_or("none"));
    });
    auto* shown = HeadlessModals::current();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(Modals::isShowing());
    EXPECT_EQ(Modals::waiting(), 2u);
    EXPECT_EQ(shown->shownAlert()->messageText, "first");
    EXPECT_TRUE(shown->clickButton(1));
    EXPECT_EQ(shown->shownAlert()->messageText, "second");
    Modals::cancelShowing();  // Escape
    EXPECT_FALSE(shown->shownAlert());
    EXPECT_TRUE(shown->chooseFolder("/srv"));
    EXPECT_EQ(shown->shownAlert()->messageText, "fourth");
    EXPECT_TRUE(shown->clickButton(0));
    EXPECT_FALSE(Modals::isShowing());
    Modals::cancelShowing();  // nothing shown: nothing happens
    EXPECT_EQ(answers, (std::vector<std::string>{"first 1", "second -1", "third /srv", "fourth 0"}));
}

// An image chooser waits its turn like any modal, and a toolkit without file choosers answers none.
TEST_F(ModalsTest, FileChoosersWaitTheirTurn) {
    std::vector<std::string> answers;
    alert("first").present(nullptr, [&](int) { answers.push_back("alert"); });
    const FileChooser images{"Logo", "Choose an image", "/srv", {"image/png", "image/svg+xml"}};
    images.present(nullptr, [&](std::optional<std::string> file) { answers.push_back(file.value_or("none")); });
    auto* shown = HeadlessModals::current();
    EXPECT_FALSE(shown->chooseFile("/srv/a.png"));  // not shown yet
    shown->clickButton(0);
    ASSERT_TRUE(shown->shownFileChooser());
    EXPECT_EQ(shown->shownFileChooser()->mimeTypes.size(), 2u);
    EXPECT_TRUE(shown->chooseFile("/srv/logo.png"));
    images.present(nullptr, [&](std::optional<std::string> file) { answers.push_back(file.value_or("none")); });
    Modals::cancelShowing();

    struct Plain : ModalPresenter {
        void showAlert(const Alert&, Window*, std::function<void(int)>) override {}
        void showFolderChooser(const FolderChooser&, Window*, std::function<void(std::optional<std::string>)>) override {}
        void cancelShown() override {}
        void showAbout(const AboutInfo&, Window*) override {}
    };
    Modals::setPresenter(std::make_shared<Plain>());
    images.present(nullptr, [&](std::optional<std::string> file) { answers.push_back(file.value_or("none")); });
    EXPECT_FALSE(Modals::isShowing());
    EXPECT_EQ(answers, (std::vector<std::string>{"alert", "/srv/logo.png", "none", "none"}));
}

// A toolkit may report a dialog's end twice (a response, then its destruction): one answer counts.
class TwiceAnswering : public ModalPresenter {
public:
    void showAlert(const Alert&, Window*, std::function<void(int)> answer) override { pending = std::move(answer); }
    void showFolderChooser(const FolderChooser&, Window*, std::function<void(std::optional<std::string>)>) override {}
    void cancelShown() override {}
    void showAbout(const AboutInfo&, Window*) override {}
    std::function<void(int)> pending;
};

TEST_F(ModalsTest, ASecondAnswerOfTheSamePanelIsDropped) {
    auto presenter = std::make_shared<TwiceAnswering>();
    Modals::setPresenter(presenter);
    int first = 0, second = 0;
    alert("a").present(nullptr, [&](int) { ++first; });
    auto answerA = presenter->pending;
    alert("b").present(nullptr, [&](int) { ++second; });
    answerA(0);
    answerA(Alert::cancelled);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(Modals::isShowing());  // "b" now
}

TEST_F(ModalsTest, ResetForgetsWithoutAnswering) {
    int answered = 0;
    alert("a").present(nullptr, [&](int) { ++answered; });
    alert("b").present(nullptr, [&](int) { ++answered; });
    Modals::reset();
    EXPECT_FALSE(Modals::isShowing());
    EXPECT_EQ(Modals::waiting(), 0u);
    EXPECT_FALSE(HeadlessModals::current()->clickButton(0));
    EXPECT_EQ(answered, 0);
}

TEST_F(ModalsTest, TextPromptsQueueWithTheOthersOrRunAlone) {
    std::vector<std::string> answers;
    alert("first").present(nullptr, [&](int) { answers.push_back("alert"); });
    TextPrompt prompt{"Name for the new tab", "old", {"OK", "Cancel"}};
    prompt.present(nullptr, [&](std::optional<std::string> text) { answers.push_back(text.value_or("none")); });
    auto* shown = HeadlessModals::current();
    EXPECT_FALSE(shown->shownPrompt());
    shown->clickButton(0);
    ASSERT_TRUE(shown->shownPrompt());
    EXPECT_EQ(shown->shownPrompt()->initial, "old");
    EXPECT_TRUE(shown->answerPrompt("typed"));
    prompt.present(nullptr, [&](std::optional<std::string> text) { answers.push_back(text.value_or("none")); });
    Modals::cancelShowing();
    EXPECT_EQ(answers, (std::vector<std::string>{"alert", "typed", "none"}));
    // Alone: answered before it returns, from what the test queued; cancelled without.
    shown->queueModalAnswer("alone");
    EXPECT_EQ(prompt.runModal(), "alone");
    EXPECT_EQ(prompt.runModal(), std::nullopt);
    EXPECT_EQ(shown->ranPrompts().size(), 2u);
    EXPECT_FALSE(Modals::isShowing());
}

}  // namespace
}  // namespace platform::ui
