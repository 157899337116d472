#include "quiltdeck/panels/BrowsersWindow.h"

#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/panels/ScriptedBrowsers.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {
namespace {

class BrowsersWindowTest : public testing::PanelTest {
protected:
    ~BrowsersWindowTest() override {
        for (const char* id : {"dev-one-123456", "dev-two-654321", "dev-three"}) Store::shared().setLabel("", id);
    }
    std::shared_ptr<BrowsersWindow> make() {
        auto panel = std::make_shared<BrowsersWindow>(4711, *browsers_.browsers);
        panel->build();
        return panel;
    }
    void listed(const std::vector<BrowserInfo>& devices) {
        browsers_.list(devices);
        loop_.runPending();
    }
    static std::vector<std::string> shownDevices(BrowsersWindow& panel) {
        std::vector<std::string> ids;
        for (platform::ui::View* line : panel.stack().arrangedSubviews()) {
            for (const auto& row : panel.rows()) {
                if (&row->line == line) ids.push_back(row->deviceId);
            }
        }
        return ids;
    }

    testing::ScriptedBrowsers browsers_;
    const BrowserInfo one_{"dev-one-123456", "Chrome One"}, two_{"dev-two-654321", "Chrome Two"};
};

TEST_F(BrowsersWindowTest, WithoutBrowsersTheListAreaSaysWhy) {
    auto panel = make();
    ASSERT_TRUE(panel->message());
    EXPECT_EQ(panel->message()->text(), t("browsers_none"));
    browsers_.browsers->refresh(true);
    panel->rebuild();
    EXPECT_EQ(panel->message()->text(), t("browsers_loading"));
    browsers_.answer("no list here");
    panel->rebuild();
    EXPECT_EQ(panel->message()->text(), *browsers_.browsers->error());
    EXPECT_TRUE(panel->rows().empty());
}

TEST_F(BrowsersWindowTest, RowsShowDeviceFieldIdentifyAndAccount) {
    Store::shared().setBrowserAccounts({{one_.deviceId, "me@example.org"}});
    Store::shared().setLabel("Work", two_.deviceId);
    listed({one_, two_});
    auto panel = make();
    EXPECT_FALSE(panel->message());
    ASSERT_EQ(panel->rows().size(), 2u);
    const auto& first = *panel->rows()[0];
    EXPECT_EQ(first.device.text(), "dev-one-");
    EXPECT_EQ(first.field.stringValue(), "");
    EXPECT_EQ(first.field.placeholder(), "me@example.org");
    EXPECT_EQ(first.account.text(), "me@example.org");
    EXPECT_EQ(first.field.frame().width, BrowsersWindow::fieldWidth);
    const auto& second = *panel->rows()[1];
    EXPECT_EQ(second.field.stringValue(), "Work");
    EXPECT_EQ(second.field.placeholder(), "Chrome Two");
    EXPECT_EQ(second.field.tag(), 1);
    EXPECT_EQ(panel->fields().at(two_.deviceId), &second.field);
    EXPECT_FALSE(panel->refreshButton().look());  // plain buttons, no pills
    Store::shared().setBrowserAccounts({});
}

// Stored trimmed and cut to 32 characters; an empty field removes the label, and the next
// rebuild shows the placeholder.
TEST_F(BrowsersWindowTest, LabelsAreTrimmedCutAndRemoved) {
    listed({one_});
    auto panel = make();
    auto& field = panel->rows()[0]->field;
    field.setStringValue("  " + std::string(40, 'x') + "\n");
    field.commit();
    EXPECT_EQ(Store::shared().browserLabels().at(one_.deviceId), std::string(32, 'x'));
    field.setStringValue("");
    field.commit();
    EXPECT_EQ(Store::shared().browserLabels().count(one_.deviceId), 0u);
    panel->rebuild();
    EXPECT_EQ(field.placeholder(), "Chrome One");
}

// A field or button whose tag no longer names its browser does nothing.
TEST_F(BrowsersWindowTest, StaleTagsDoNothing) {
    listed({one_, two_});
    auto panel = make();
    panel->commitLabel(5, two_.deviceId, "late");
    panel->commitLabel(0, two_.deviceId, "wrong row");
    panel->identify(7, one_.deviceId);
    EXPECT_TRUE(Store::shared().browserLabels().empty() || !Store::shared().browserLabels().count(two_.deviceId));
    const size_t calls = browsers_.requests.size();
    panel->identify(1, two_.deviceId);
    EXPECT_EQ(browsers_.requests.size(), calls + 1);
    EXPECT_NE(browsers_.requests.back().prompt.find("127.0.0.1:4711/identify?id=" + two_.deviceId), std::string::npos);
}

// A listing that ends, or an account learned, while a label is being typed: the field stays the
// same field with its text, keyboard and caret; only a vanished device's row goes.
TEST_F(BrowsersWindowTest, AChangeWhileTypingKeepsTheField) {
    listed({one_, two_});
    auto panel = make();
    platform::ui::headless::HeadlessWindow window(BrowsersWindow::size, 1);
    window.setContentView(&panel->content());
    platform::ui::TextField* field = panel->fields().at(two_.deviceId);
    ASSERT_TRUE(window.makeFirstResponder(field));
    field->typeText("Half typ");
    field->setSelectedRange({4, 0});
    listed({{"dev-three", "Chrome Three"}, two_});
    EXPECT_EQ(panel->fields().at(two_.deviceId), field);
    EXPECT_EQ(field->stringValue(), "Half typ");
    EXPECT_EQ(field->selectedRange(), (platform::ui::TextRange{4, 0}));
    EXPECT_EQ(window.firstResponder(), field);
    EXPECT_EQ(field->tag(), 1);
    EXPECT_EQ(panel->fields().count(one_.deviceId), 0u);
    EXPECT_EQ(shownDevices(*panel), (std::vector<std::string>{"dev-three", two_.deviceId}));
    EXPECT_TRUE(Store::shared().browserLabels().empty() || !Store::shared().browserLabels().count(two_.deviceId));
    // Leaving the field with its new text stores it.
    window.makeFirstResponder(nullptr);
    EXPECT_EQ(Store::shared().browserLabels().at(two_.deviceId), "Half typ");
    window.setContentView(nullptr);
}

TEST_F(BrowsersWindowTest, RefreshAndIdentifyAllAskTheService) {
    listed({one_, two_});
    auto panel = make();
    const size_t calls = browsers_.requests.size();
    panel->refreshButton().performClick();
    EXPECT_EQ(browsers_.requests.size(), calls + 1);
    EXPECT_TRUE(browsers_.browsers->busy());
    // One at a time: the rows stay while the list is fetched again.
    loop_.runPending();
    EXPECT_EQ(panel->rows().size(), 2u);
    panel->rebuild();
    EXPECT_FALSE(panel->message());
    browsers_.answer(std::nullopt);
    panel->identifyAllButton().performClick();
    EXPECT_NE(browsers_.requests.back().prompt.find("identify?id=" + one_.deviceId), std::string::npos);
}


// A list fetched less than a minute ago shows at once without a new listing; after Escape the
// panel no longer follows the service.
TEST_F(BrowsersWindowTest, TheSheetShowsAFreshListAndLetsGoWhenItEnds) {
    listed({one_});
    const size_t calls = browsers_.requests.size();
    platform::ui::headless::HeadlessWindow main({1200, 900}, 1);
    auto panel = std::make_shared<BrowsersWindow>(4711, *browsers_.browsers);
    panel->present(main);
    ASSERT_EQ(main.attachedSheet(), panel->panel());
    EXPECT_EQ(panel->panel()->title(), t("connected_browsers"));
    EXPECT_EQ(browsers_.requests.size(), calls);
    EXPECT_EQ(panel->rows().size(), 1u);
    platform::ui::KeyEvent escape;
    escape.key = platform::ui::Key::escape;
    panel->panel()->sendKeyEvent(escape);
    EXPECT_FALSE(main.attachedSheet());
    listed({one_, two_});
    EXPECT_EQ(panel->rows().size(), 1u);
}

}  // namespace
}  // namespace quiltdeck
