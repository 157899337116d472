#include "quiltdeck/panels/OnboardingView.h"

#include <cmath>

#include "platform/ui/Workspace.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/panels/ScriptedSetupProbe.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
// Inside a test fixture, plain "Setup" names the fixture's own SetUp trap.
using SetupState = Setup;
using Stage = SetupState::Stage;
using Job = SetupState::Job;
using Step = OnboardingView::Step;
using testing::rgb;

const std::string url = "https://claude.com/cai/oauth/authorize?code=true&state=x";

// A row as the user sees it: its mark, its state and the parts that show.
std::string look(OnboardingStepRow& row) {
    std::string text = row.circle.mark() + (row.done ? " done" : row.current ? " current" : " pending");
    const std::pair<const char*, bool> parts[] = {
        {"button", !row.button.isHidden()},       {"secondary", !row.secondary.isHidden()},
        {"spinner", row.spinner.isAnimating()},   {"status", !row.status.isHidden()},
        {"code", !row.codeField.isHidden() && !row.codeButton.isHidden()},
        {"cancel", !row.cancelButton.isHidden()}};
    const char* separator = ": ";
    for (const auto& [name, shown] : parts) {
        if (!shown) continue;
        text += separator;
        text += name;
        separator = ", ";
    }
    return text;
}

std::string statusOf(OnboardingStepRow& row) {
    return row.status.richText() ? row.status.richText()->string() : row.status.text();
}

SetupState::Snapshot with(Stage stage, Job job, std::function<void(SetupState::Snapshot&)> change = {}) {
    SetupState::Snapshot snapshot;
    snapshot.stage = stage;
    snapshot.job = job;
    if (change) change(snapshot);
    return snapshot;
}

class OnboardingViewTest : public testing::PanelTest {
protected:
    OnboardingViewTest() {
        Store::shared().setOnboarded(false);
        Store::shared().setCurrentWall("");
        card.setFrame({0, 0, 1000, 700});
    }
    ~OnboardingViewTest() override {
        Store::shared().setOnboarded(false);
        Store::shared().setCurrentWall("");
        Lang::setCurrent(Lang::en);
        platform::ui::Workspace::setOpener(nullptr);
    }

    std::shared_ptr<testing::ScriptedProbe::Script> script = std::make_shared<testing::ScriptedProbe::Script>();
    std::shared_ptr<SetupState> setup = SetupState::make(std::make_unique<testing::ScriptedProbe>(script));
    OnboardingView card{{}, *setup};
};

struct CardCase {
    const char* name;
    SetupState::Snapshot state;
    bool onboarded;
    const char* wall;
    std::string title;
    bool box;
    std::vector<std::string> rows;  // install, sign-in, open
    std::vector<std::string> statuses;
    friend void PrintTo(const CardCase& c, std::ostream* os) { *os << c.name; }
};

class OnboardingCard : public OnboardingViewTest, public ::testing::WithParamInterface<CardCase> {};

TEST_P(OnboardingCard, TitleBoxRowsAndStatus) {
    const auto& c = GetParam();
    Store::shared().setOnboarded(c.onboarded);
    Store::shared().setCurrentWall(c.wall);
    card.reload(c.state);
    EXPECT_EQ(card.title().text(), c.title);
    EXPECT_EQ(!card.box().isHidden(), c.box);
    const Step order[] = {Step::install, Step::signIn, Step::openProject};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(look(card.step(order[i])), c.rows[i]) << "row " << i;
        EXPECT_EQ(statusOf(card.step(order[i])), c.statuses[i]) << "row " << i;
    }
}

const std::string failedInstall = "The installer exited with code 22. Try again.";
const std::string failedLogin = "Sign-in did not complete. Try again.";

INSTANTIATE_TEST_SUITE_P(
    Cases, OnboardingCard,
    ::testing::Values(
        CardCase{"Probing", with(Stage::probing, Job::none), false, "", "Checking this computer", false,
                 {"1 pending", "2 pending", "3 pending"}, {"", "", ""}},
        CardCase{"NeedsInstall",
                 with(Stage::needsInstall, Job::none, [](auto& s) { s.lastError = failedInstall; }), false, "",
                 "Three steps and you're in", true, {"1 current: button, status", "2 pending", "3 pending"},
                 {failedInstall, "", ""}},
        CardCase{"Installing",
                 with(Stage::needsInstall, Job::installing, [](auto& s) { s.progress = "Setting up Claude Code..."; }),
                 false, "", "Three steps and you're in", true,
                 {"1 current: spinner, status, cancel", "2 pending", "3 pending"},
                 {"Setting up Claude Code...", "", ""}},
        CardCase{"NeedsLogin", with(Stage::needsLogin, Job::none, [](auto& s) { s.lastError = failedLogin; }), false,
                 "", "Three steps and you're in", true,
                 {"\xE2\x9C\x93 done", "2 current: button, secondary, status", "3 pending"}, {"", failedLogin, ""}},
        CardCase{"SigningInWithoutAddress", with(Stage::needsLogin, Job::loggingIn), false, "",
                 "Three steps and you're in", true, {"\xE2\x9C\x93 done", "2 current: spinner, status, cancel", "3 pending"},
                 {"", "Opening claude.ai in your browser", ""}},
        CardCase{"SigningInWithAddress", with(Stage::needsLogin, Job::loggingIn, [](auto& s) { s.loginURL = url; }),
                 false, "", "Three steps and you're in", true,
                 {"\xE2\x9C\x93 done", "2 current: spinner, status, cancel", "3 pending"},
                 {"", "Sign in or create an account in the browser, then paste the code it shows you here.\n"
                      "Browser didn't open? Click here.", ""}},
        CardCase{"WaitingForTheCode",
                 with(Stage::needsLogin, Job::loggingIn,
                      [](auto& s) {
                          s.loginURL = url;
                          s.awaitingCode = true;
                      }),
                 false, "", "Three steps and you're in", true,
                 {"\xE2\x9C\x93 done", "2 current: spinner, status, code, cancel", "3 pending"},
                 {"", "Sign in or create an account in the browser, then paste the code it shows you here.\n"
                      "Browser didn't open? Click here.", ""}},
        CardCase{"Ready", with(Stage::ready, Job::none, [](auto& s) { s.email = "a@b"; }), false, "", "Ready to go",
                 true, {"\xE2\x9C\x93 done", "\xE2\x9C\x93 done", "3 current: button"}, {"", "", ""}},
        CardCase{"ReadyOnceATileWasOpened", with(Stage::ready, Job::none), true, "", "No sessions running", false,
                 {"\xE2\x9C\x93 done", "\xE2\x9C\x93 done", "3 current: button"}, {"", "", ""}},
        CardCase{"ReadyOnANamedTab", with(Stage::ready, Job::none), false, "Work", "This tab is empty", false,
                 {"\xE2\x9C\x93 done", "\xE2\x9C\x93 done", "3 current: button"}, {"", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OnboardingViewTest, SubtitleHintsAndTheSignedInDetail) {
    card.reload(with(Stage::needsLogin, Job::none, [](auto& s) { s.email = "a@b"; }));
    EXPECT_EQ(card.subtitle().text(), t("ob_sub_setup"));
    EXPECT_EQ(card.step(Step::signIn).detail.text(), t("ob_step_login_desc"));
    EXPECT_EQ(card.hints().text(), "");
    card.reload(with(Stage::ready, Job::none, [](auto& s) { s.email = "a@b"; }));
    EXPECT_EQ(card.subtitle().text(), "Signed in as a@b");
    EXPECT_EQ(card.step(Step::signIn).detail.text(), "Signed in as a@b");
    EXPECT_EQ(card.hints().text(), t("empty_hint1") + "\n" + t("empty_hint2"));
    card.reload(with(Stage::ready, Job::none));
    EXPECT_EQ(card.subtitle().text(), "Claude Code is installed and signed in.");
    EXPECT_EQ(card.step(Step::install).detail.text(), t("ob_step_install_done"));
    // The link of the waiting text opens the sign-in address.
    card.reload(with(Stage::needsLogin, Job::loggingIn, [](auto& s) { s.loginURL = url; }));
    const auto& status = *card.step(Step::signIn).status.richText();
    const std::string text = status.string();
    const auto& link = testing::runAt(status, text.find("Click"));
    EXPECT_EQ(link.link, url);
    EXPECT_TRUE(link.underline);
    EXPECT_EQ(link.color, rgb(233, 235, 237));
    EXPECT_EQ(testing::runAt(status, 0).color, rgb(158, 163, 169));
    EXPECT_EQ(testing::runAt(status, 0).font.size, 12);
}

TEST_F(OnboardingViewTest, ProbingAsksForThePrivacyLinePlusFifty) {
    for (const double width : {1000.0, 420.0}) {
        card.reload(with(Stage::probing, Job::none));
        const double box = std::min(width - 80, OnboardingView::maximumBoxWidth);
        const double privacy = std::ceil(card.privacy().shownText().measure(card.privacy().layoutOptions(box), 200).height);
        EXPECT_EQ(card.layoutContent(width, false), privacy + 50) << width;
    }
}

TEST_F(OnboardingViewTest, BoxWidthMarginsAndPlaces) {
    struct Case {
        double width, boxX, boxWidth, subtitleHeight;
    } cases[] = {{1200, 280, 640, 20}, {720, 40, 640, 20}, {500, 40, 420, 33}};
    for (const Case& c : cases) {
        card.setFrame({0, 0, c.width, 900});
        card.reload(with(Stage::needsInstall, Job::none));
        const auto box = card.box().frame();
        EXPECT_EQ(box.x, c.boxX) << c.width;
        EXPECT_EQ(box.width, c.boxWidth) << c.width;
        // Below a subtitle (one line, or two where it does not fit) the box starts 24 lower.
        EXPECT_EQ(box.y, 34 + c.subtitleHeight + 6 + 18) << c.width;
        EXPECT_EQ(card.title().frame(), platform::gfx::Rect(0, 0, c.width, 30));
        EXPECT_EQ(card.subtitle().frame(), platform::gfx::Rect(c.boxX, 34, c.boxWidth, c.subtitleHeight));
        // The rows fill the box 8 from its top and bottom.
        const auto& last = card.step(Step::openProject).frame();
        EXPECT_EQ(card.step(Step::install).frame().y, 8);
        EXPECT_EQ(box.height, last.y + last.height + 8);
        EXPECT_EQ(card.privacy().frame().y, box.y + box.height + 22 + 8);
    }
    card.reload(with(Stage::ready, Job::none));
    EXPECT_EQ(card.hints().frame().width, 500);
    EXPECT_EQ(card.hints().frame().height, 44);
}

TEST_F(OnboardingViewTest, RowGeometry) {
    card.setFrame({0, 0, 1200, 900});
    card.reload(with(Stage::needsLogin, Job::loggingIn, [](auto& s) {
        s.loginURL = url;
        s.awaitingCode = true;
    }));
    auto& install = card.step(Step::install);
    auto& signIn = card.step(Step::signIn);
    auto& open = card.step(Step::openProject);
    EXPECT_EQ(install.circle.frame(), platform::gfx::Rect(24, 15, 26, 26));
    EXPECT_EQ(install.name.frame(), platform::gfx::Rect(66, 18, 550, 20));
    // Done: its mark and rule faded, its texts whole.
    EXPECT_EQ(install.circle.opacity(), 0.75);
    EXPECT_EQ(install.rule.opacity(), 0.75);
    EXPECT_EQ(install.opacity(), 1.0);
    EXPECT_EQ(install.circle.fill(), rgb(95, 176, 122));
    EXPECT_EQ(signIn.circle.fill(), rgb(237, 239, 241));
    EXPECT_EQ(open.circle.fill(), std::nullopt);
    EXPECT_EQ(open.circle.borderWidth(), 1);
    // Busy with a status: the status stands right of the spinner.
    EXPECT_EQ(signIn.status.frame().x, 88);
    EXPECT_EQ(signIn.spinner.frame().x, 66);
    // On the widest card the code field is 260 wide, the buttons follow 10 apart.
    EXPECT_EQ(signIn.codeField.frame().width, 260);
    EXPECT_EQ(signIn.codeButton.frame().x, 66 + 260 + 10);
    EXPECT_EQ(signIn.codeButton.title(), "Connect");
    EXPECT_EQ(signIn.cancelButton.title(), "Cancel");
    EXPECT_EQ(signIn.cancelButton.frame().x, signIn.codeButton.frame().x + signIn.codeButton.frame().width + 10);
    // Separators: the bottom point of each row, 24 in on both sides; none under the last.
    EXPECT_EQ(install.rule.frame(), platform::gfx::Rect(24, install.frame().height - 1, 640 - 48, 1));
    EXPECT_FALSE(install.rule.isHidden());
    EXPECT_TRUE(open.rule.isHidden());

    // On a narrow card the field takes what the two buttons and their gaps leave.
    card.setFrame({0, 0, 500, 900});
    const double column = 420 - 90;
    EXPECT_EQ(signIn.codeField.frame().width, column - signIn.codeButton.frame().width -
                                                  signIn.cancelButton.frame().width - 20);
    EXPECT_LT(signIn.codeField.frame().width, 260);

    // A short main button is still 150 wide; a busy row without a status keeps room for the spinner.
    card.reload(with(Stage::needsInstall, Job::installing));
    EXPECT_EQ(install.button.isHidden(), true);
    const double detailBottom = install.detail.frame().y + install.detail.frame().height;
    EXPECT_EQ(install.cancelButton.frame().y, detailBottom + 30 + 12);
    card.reload(with(Stage::needsInstall, Job::none));
    EXPECT_EQ(install.button.frame().width, 150);
    EXPECT_EQ(install.button.frame().y, detailBottom + 12);
}

TEST_F(OnboardingViewTest, LinkClickOpensTheAddress) {
    std::vector<std::string> opened;
    platform::ui::Workspace::setOpener([&](const std::string& address) {
        opened.push_back(address);
        return true;
    });
    card.reload(with(Stage::needsLogin, Job::loggingIn, [](auto& s) { s.loginURL = url; }));
    auto& status = card.step(Step::signIn).status;
    const auto frames = status.richText()->layout(status.layoutOptions(status.frame().width));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(status.clickLink({4, frames[0].top + 3}));
    EXPECT_TRUE(status.clickLink({4, frames[1].top + 3}));
    EXPECT_EQ(opened, std::vector<std::string>{url});
}

TEST_F(OnboardingViewTest, OpenStepAsksTheOwner) {
    card.reload(with(Stage::ready, Job::none));
    int asked = 0;
    card.onOpenProject = [&] { ++asked; };
    card.step(Step::openProject).button.performClick();
    EXPECT_EQ(asked, 1);
}

TEST_F(OnboardingViewTest, LanguageAndThemeChangesReload) {
    Lang::setCurrent(Lang::de);
    post(Lang::didChange);
    EXPECT_EQ(card.title().text(), t("ob_title_probing"));
    EXPECT_EQ(card.step(Step::signIn).codeButton.title(), t("ob_btn_code"));
    EXPECT_EQ(card.step(Step::signIn).cancelButton.title(), t("cancel"));
    EXPECT_NE(t("cancel"), "Cancel");
    setDark(false);
    EXPECT_EQ(card.box().fill(), rgb(244, 243, 241));
    EXPECT_EQ(card.title().textColor(), rgb(20, 22, 26));
}

// The card on a real setup with the fake CLI and curl.
class OnboardingJobsTest : public testing::PanelTest {
protected:
    OnboardingJobsTest() {
        Store::shared().setOnboarded(false);
        Store::shared().setCurrentWall("");
        card.setFrame({0, 0, 1000, 700});
    }
    ~OnboardingJobsTest() override {
        setup->cancelJob();
        loop_.runUntil([&] { return setup->job() == Job::none && !setup->checking(); }, 30s);
        loop_.runPending();
    }
    bool waitFor(const std::function<bool()>& done) { return loop_.runUntil(done, 60s); }

    testing::FakeClaudeHome home;
    std::shared_ptr<SetupState> setup = SetupState::make(SetupProbe::loginShell());
    OnboardingView card{{}, *setup};
};

TEST_F(OnboardingJobsTest, ReturnInTheCodeFieldConnects) {
    auto& signIn = card.step(Step::signIn);
    setup->start();
    ASSERT_TRUE(waitFor([&] { return setup->stage() == Stage::needsLogin; }));
    signIn.button.performClick();
    ASSERT_TRUE(waitFor([&] { return setup->awaitingCode(); }));
    loop_.runPending();
    ASSERT_FALSE(signIn.codeField.isHidden());
    signIn.codeField.typeText("  good ");
    EXPECT_TRUE(signIn.codeField.userCommand(platform::ui::TextField::Command::insertNewline));
    EXPECT_EQ(signIn.codeField.stringValue(), "");
    ASSERT_TRUE(waitFor([&] { return setup->stage() == Stage::ready && !setup->checking(); }));
    loop_.runPending();
    EXPECT_EQ(card.title().text(), "Ready to go");
    EXPECT_EQ(card.subtitle().text(), "Signed in as a@b");
    std::vector<std::string> inputs;
    for (const auto& call : home.calls()) {
        if (call.input) inputs.push_back(*call.input);
    }
    EXPECT_EQ(inputs, std::vector<std::string>{"good\n"});
}

platform::ui::KeyEvent keyPress(platform::ui::Key key, std::string text = "") {
    platform::ui::KeyEvent event;
    event.key = key;
    event.characters = text;
    event.charactersIgnoringModifiers = text;
    return event;
}

// With the keyboard alone, in the window: Tab reaches the install button and Return presses it.
TEST_F(OnboardingJobsTest, TabAndReturnStartTheInstall) {
    home.removeClaude();
    home.installCurl();
    platform::ui::headless::HeadlessWindow window({1000, 700}, 1);
    window.setContentView(&card);
    setup->start();
    ASSERT_TRUE(waitFor([&] { return setup->stage() == Stage::needsInstall && !setup->checking(); }));
    loop_.runPending();
    EXPECT_TRUE(window.sendKeyEvent(keyPress(platform::ui::Key::tab)));
    EXPECT_EQ(window.firstResponder(), &card.step(Step::install).button);
    EXPECT_TRUE(window.sendKeyEvent(keyPress(platform::ui::Key::returnKey, "\r")));
    EXPECT_EQ(setup->job(), Job::installing);
    window.setContentView(nullptr);
}

// The sign-in link is in the Tab chain once the address is known (the line without one is passed
// over); Space or Return opens it.
TEST_F(OnboardingViewTest, TabReachesTheSignInLink) {
    std::vector<std::string> opened;
    platform::ui::Workspace::setOpener([&](const std::string& address) { return opened.push_back(address), true; });
    platform::ui::headless::HeadlessWindow window({1000, 700}, 1);
    window.setContentView(&card);
    auto& signIn = card.step(Step::signIn);
    card.reload(with(Stage::needsLogin, Job::loggingIn));
    window.sendKeyEvent(keyPress(platform::ui::Key::tab));
    EXPECT_EQ(window.firstResponder(), &signIn.cancelButton);
    card.reload(with(Stage::needsLogin, Job::loggingIn, [](auto& s) { s.loginURL = url; }));
    window.makeFirstResponder(nullptr);
    for (auto key : {platform::ui::Key::tab, platform::ui::Key::space, platform::ui::Key::returnKey}) window.sendKeyEvent(keyPress(key));
    EXPECT_EQ(window.firstResponder(), &signIn.status);
    EXPECT_EQ(opened, (std::vector<std::string>{url, url}));
    window.setContentView(nullptr);
}

// After Sign in (Tab, Return), the code field has the keyboard when it appears: typing a code and
// Return connects. Once it goes, nothing has the keyboard.
TEST_F(OnboardingJobsTest, TheCodeFieldTakesTheKeyboardWhenItAppears) {
    platform::ui::headless::HeadlessWindow window({1000, 700}, 1);
    window.setContentView(&card);
    auto& signIn = card.step(Step::signIn);
    setup->start();
    ASSERT_TRUE(waitFor([&] { return setup->stage() == Stage::needsLogin && !setup->checking(); }));
    loop_.runPending();
    window.sendKeyEvent(keyPress(platform::ui::Key::tab));
    ASSERT_EQ(window.firstResponder(), &signIn.button);
    window.sendKeyEvent(keyPress(platform::ui::Key::returnKey, "\r"));
    ASSERT_TRUE(waitFor([&] { return setup->awaitingCode(); }));
    loop_.runPending();
    EXPECT_EQ(window.firstResponder(), &signIn.codeField);
    for (const char* letter : {"g", "o", "o", "d"}) window.sendKeyEvent(keyPress(platform::ui::Key::character, letter));
    EXPECT_EQ(signIn.codeField.stringValue(), "good");
    window.sendKeyEvent(keyPress(platform::ui::Key::returnKey, "\r"));
    ASSERT_TRUE(waitFor([&] { return setup->stage() == Stage::ready && !setup->checking(); }));
    loop_.runPending();
    EXPECT_EQ(card.title().text(), "Ready to go");
    EXPECT_EQ(window.firstResponder(), nullptr);
    window.setContentView(nullptr);
}

}  // namespace
}  // namespace quiltdeck
