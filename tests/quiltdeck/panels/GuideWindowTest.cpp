#include "quiltdeck/panels/GuideWindow.h"

#include <algorithm>

#include "platform/gfx/Font.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {
namespace {

using platform::ui::RichText;

class GuideWindowTest : public testing::PanelTest {
protected:
    ~GuideWindowTest() override {
        Lang::setCurrent(Lang::en);
        Store::shared().setFontName(std::string(StoredSettings::defaultFontName));
    }

    // The key column's paragraphs: those with the key tab stop.
    static std::vector<RichText::Paragraph> keyParagraphs(const RichText& text) {
        std::vector<RichText::Paragraph> rows;
        for (const auto& paragraph : text.paragraphs())
            if (paragraph.style.tabStops == std::vector<double>{GuideWindow::keyColumn}) rows.push_back(paragraph);
        return rows;
    }
    static std::string keyOf(const RichText& text, const RichText::Paragraph& row) {
        const std::string line = text.string().substr(row.begin, row.end - row.begin);
        return line.substr(0, line.find('\t'));
    }
};

// The keys are the same in every language and fit their column; the mouse's word is translated.
TEST_F(GuideWindowTest, KeyRowsStayTheSameInEveryLanguage) {
    for (const Lang lang : Lang::allCases()) {
        Lang::setCurrent(lang);
        const RichText body = GuideWindow::body();
        const auto rows = keyParagraphs(body);
        ASSERT_EQ(rows.size(), GuideWindow::keyRows.size()) << lang.rawValue();
        for (size_t i = 0; i < rows.size(); ++i) {
            std::string keys(GuideWindow::keyRows[i].keys);
            if (const size_t at = keys.find("%@"); at != std::string::npos) keys.replace(at, 2, t("guide_key_click"));
            EXPECT_EQ(keyOf(body, rows[i]), keys) << lang.rawValue();
            const platform::ui::TextAttributes attributes = *body.attributesAt(rows[i].begin);
            EXPECT_LT(RichText(keys, attributes).measure().width + 8, GuideWindow::keyColumn) << keys;
        }
        // The menu bar's row sends the reader to the menu by the name the menu bar shows.
        EXPECT_NE(t("guide_k_menus").find(t("menu_session")), std::string::npos) << lang.rawValue();
    }
    // Every way the keyboard has to the menus and the tile's look is listed.
    for (const std::string_view listed : {"Ctrl+Shift+M", "F10", "Ctrl+Shift+L"})
        EXPECT_TRUE(std::any_of(GuideWindow::keyRows.begin(), GuideWindow::keyRows.end(),
                                [&](const GuideWindow::KeyRow& row) { return row.keys == listed; }))
            << listed;
    Lang::setCurrent(Lang::en);
    const RichText english = GuideWindow::body();
    Lang::setCurrent(Lang::de);
    const RichText german = GuideWindow::body();
    EXPECT_EQ(keyOf(german, keyParagraphs(german)[2]), "Klick / Ctrl+Shift+Enter");
    // Title, headings and descriptions follow the language.
    EXPECT_EQ(german.string().find(t("guide_title")), 0u);
    EXPECT_NE(german.string().find(t("guide_h_keys") + "\n"), std::string::npos);
    EXPECT_NE(german.string().find(t("guide_k_new") + "\n"), std::string::npos);
    EXPECT_EQ(german.string().find("Tiles\n"), std::string::npos);
    EXPECT_EQ(GuideWindow::title(), "Anleitung");
    Lang::setCurrent(Lang::ru);
    EXPECT_EQ(GuideWindow::title(), "Руководство");
    Lang::setCurrent(Lang::en);
    EXPECT_EQ(GuideWindow::title(), "Guide");
}

// The key column uses the terminal font of the settings at 12.5 points: its own face when it
// has one, else the system's monospaced font.
TEST_F(GuideWindowTest, KeyColumnFontFollowsTheTerminalFont) {
    const std::string monospace = platform::gfx::Font::systemFont(12.5)->family();
    for (const char* stored : {"Monospace", "Nonexistent Mono", "Menlo"}) {
        Store::shared().setFontName(stored);
        const RichText body = GuideWindow::body();
        const auto rows = keyParagraphs(body);
        ASSERT_FALSE(rows.empty());
        const auto& key = *body.attributesAt(rows[0].begin);
        EXPECT_EQ(key.font.family, monospace) << stored;
        EXPECT_EQ(key.font.size, 12.5) << stored;
        const auto& description = *body.attributesAt(rows[0].end - 1);
        EXPECT_EQ(description.font.size, 13) << stored;
        EXPECT_EQ(description.color, testing::rgb(158, 163, 169)) << stored;
    }
}

// Every key text fits its column, and a wrapped description goes on under itself.
TEST_F(GuideWindowTest, KeysFitTheirColumnAndDescriptionsWrapUnderThemselves) {
    const RichText body = GuideWindow::body();
    for (const auto& row : GuideWindow::keyRows) {
        platform::ui::TextAttributes attributes = *body.attributesAt(keyParagraphs(body)[0].begin);
        EXPECT_LT(RichText(std::string(row.keys), attributes).measure().width + 8, GuideWindow::keyColumn) << row.keys;
    }
    platform::ui::TextLayoutOptions options;
    options.width = GuideWindow::width - 48;
    const auto frames = body.layout(options);
    const auto paragraphs = body.paragraphs();
    int wrapped = 0;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (paragraphs[i].style.headIndent != GuideWindow::keyColumn) continue;
        EXPECT_NEAR(frames[i].lineStarts[0], 0, 0.5);
        for (size_t line = 1; line < frames[i].lineStarts.size(); ++line, ++wrapped)
            EXPECT_NEAR(frames[i].lineStarts[line], GuideWindow::keyColumn, 0.5) << body.string().substr(paragraphs[i].begin, 30);
    }
    EXPECT_GT(wrapped, 0);
}

TEST_F(GuideWindowTest, PanelContent) {
    GuideWindow guide;
    guide.build();
    EXPECT_EQ(guide.content().frame(), (platform::gfx::Rect{0, 0, 560, 640}));
    EXPECT_EQ(guide.text().frame(), (platform::gfx::Rect{0, 0, 560, 584}));
    EXPECT_EQ(guide.text().textInset(), (platform::gfx::Size{24, 20}));
    EXPECT_FALSE(guide.text().drawsBackground());
    EXPECT_EQ(guide.text().text(), GuideWindow::body());
    ASSERT_TRUE(guide.closeButton());
    EXPECT_EQ(guide.closeButton()->frame(), (platform::gfx::Rect{446, 596, 90, 28}));
    EXPECT_TRUE(guide.closeButton()->accent());
    EXPECT_EQ(guide.closeButton()->title(), "Close");
    EXPECT_EQ(guide.closeButton()->look()->cornerRadius, 14);
    EXPECT_EQ(guide.closeButton()->keyEquivalent(), platform::ui::Button::KeyEquivalent::returnKey);
}

// Over a small screen's window: the guide is as high as the window; the text has the keyboard
// when it opens, Page Down and Space move it, Return presses the close pill.
TEST_F(GuideWindowTest, TheKeyboardScrollsTheTextAndReturnCloses) {
    platform::ui::headless::HeadlessWindow main({960, 600}, 1);
    auto guide = GuideWindow::make();
    guide->present(main);
    platform::ui::Window& sheet = *guide->panel();
    // As high as the window, the pill at its foot.
    EXPECT_EQ(guide->closeButton()->frame(), (platform::gfx::Rect{446, 556, 90, 28}));
    EXPECT_EQ(sheet.firstResponder(), &guide->text());
    auto press = [&](platform::ui::Key key) {
        platform::ui::KeyEvent event;
        event.key = key;
        return sheet.sendKeyEvent(event);
    };
    EXPECT_TRUE(press(platform::ui::Key::pageDown));
    const double paged = guide->text().scrollOffset();
    EXPECT_GT(paged, 400);
    EXPECT_TRUE(press(platform::ui::Key::space));
    EXPECT_GT(guide->text().scrollOffset(), paged);
    EXPECT_TRUE(press(platform::ui::Key::returnKey));
    EXPECT_EQ(main.attachedSheet(), nullptr);
}

}  // namespace
}  // namespace quiltdeck
