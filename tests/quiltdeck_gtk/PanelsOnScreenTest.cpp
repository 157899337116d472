// The sheets, the cards and the bar as real toolkit windows on the virtual display, in the dark and
// the light theme: the toolkit shows every control inside the frame the layout gave it (so what
// does not overlap in the layout does not overlap on the screen), and every control's title reads
// against its ground at 4.5:1 or more in the pixels the X server holds. A sheet open when the
// theme changes is shot again after the change.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Spinner.h"
#include "platform/ui/WebView.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "platform/ui/gtk/WidgetPeer.h"
#include "quiltdeck/app/AppDelegate.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/PanelGallery.h"
#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "support/LayoutCheck.h"
#include "support/TextContrast.h"

namespace quiltdeck {
namespace {

using platform::runtime::MainLoop;
using platform::ui::gtk::ToolkitWindow;
using Stage = Setup::Stage;
using Job = Setup::Job;

void settle(std::chrono::milliseconds time = std::chrono::milliseconds(150)) {
    MainLoop::main().runUntil([] { return false; }, time);
}

// What the X server shows of a toolkit window, read once.
class Shot {
public:
    explicit Shot(ToolkitWindow& window) {
        GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(window.nativeWindow()));
        if (!gdk) return;
        scale_ = gdk_window_get_scale_factor(gdk);
        const int width = gdk_window_get_width(gdk), height = gdk_window_get_height(gdk);
        pixbuf_ = gdk_pixbuf_get_from_window(gdk, 0, 0, width, height);
    }
    ~Shot() {
        if (pixbuf_) g_object_unref(pixbuf_);
    }
    Shot(const Shot&) = delete;
    Shot& operator=(const Shot&) = delete;

    bool valid() const { return pixbuf_ != nullptr; }
    int scale() const { return scale_; }
    uint32_t pixel(int x, int y) const {
        const int w = gdk_pixbuf_get_width(pixbuf_), h = gdk_pixbuf_get_height(pixbuf_);
        x = std::clamp(x, 0, w - 1);
        y = std::clamp(y, 0, h - 1);
        const guchar* p = gdk_pixbuf_read_pixels(pixbuf_) + y * gdk_pixbuf_get_rowstride(pixbuf_) + x * gdk_pixbuf_get_n_channels(pixbuf_);
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    void save(const std::string& path) const {
        if (pixbuf_) gdk_pixbuf_save(pixbuf_, path.c_str(), "png", nullptr, nullptr);
    }

private:
    GdkPixbuf* pixbuf_ = nullptr;
    int scale_ = 1;
};

// Every control the toolkit shows larger than its frame, or away from it.
std::vector<std::string> placementFaults(const platform::ui::View& view) {
    std::vector<std::string> faults;
    if (view.isHidden()) return faults;
    // What shows nothing stands nowhere: an empty label, a stopped spinner that hides then.
    auto* label = dynamic_cast<const platform::ui::Label*>(&view);
    auto* spinner = dynamic_cast<const platform::ui::Spinner*>(&view);
    const bool blank = (label && label->shownText().empty()) || (spinner && !spinner->isAnimating() && spinner->hidesWhenStopped());
    if (auto* control = dynamic_cast<const platform::ui::Control*>(&view); control && control->peer() && !blank) {
        const platform::gfx::Rect frame = control->convertToWindow(control->bounds());
        const platform::gfx::Rect window = view.window() ? view.window()->bounds() : frame;
        const double top = window.height - frame.maxY();
        if (const auto shown = control->peer()->shownFrame()) {
            const double slack = 1;
            if (std::abs(shown->x - frame.x) > slack || std::abs(shown->y - top) > slack || shown->width > frame.width + slack ||
                shown->height > frame.height + slack) {
                char sizes[160];
                std::snprintf(sizes, sizeof sizes, " shown at %.0f,%.0f %.0fx%.0f for a frame at %.0f,%.0f %.0fx%.0f", shown->x,
                              shown->y, shown->width, shown->height, frame.x, top, frame.width, frame.height);
                faults.push_back(testing_support::describeControl(*control) + sizes);
            }
        }
    }
    for (const platform::ui::View* sub : view.subviews()) {
        for (std::string& fault : placementFaults(*sub)) faults.push_back(std::move(fault));
    }
    return faults;
}

class PanelsOnScreen : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        ASSERT_TRUE(platform::ui::gtk::Toolkit::start(&argc, nullptr)) << "no display";
        // A shot shows the colours a change ends in, not the theme's fades between them.
        if (GtkSettings* settings = gtk_settings_get_default()) g_object_set(settings, "gtk-enable-animations", FALSE, nullptr);
    }
    PanelsOnScreen() {
        setDark(GetParam());
        main_->show();
        settle();
    }
    ~PanelsOnScreen() override {
        gallery_.reset();
        settle(std::chrono::milliseconds(50));
    }

    static void setDark(bool dark) {
        Theme::setMode(dark ? ThemeMode::dark : ThemeMode::light);
        Theme::resolve();
        settle();
    }
    static std::string theme() { return Theme::isDark() ? "dark" : "light"; }

    // The piece's placement and its pixels; the shot is kept in the folder the variable names.
    static void expectShownWell(const std::string& piece, ToolkitWindow& window, const platform::ui::View& root) {
        // Mapped, drawn, and its widgets placed.
        MainLoop::main().runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window.nativeWindow())) && !window.needsDisplay(); },
                                  std::chrono::seconds(5));
        settle();
        for (const std::string& fault : placementFaults(root)) ADD_FAILURE() << piece << " (" << theme() << "): " << fault;
        Shot shot(window);
        ASSERT_TRUE(shot.valid()) << piece;
        if (const char* folder = std::getenv("QUILTDECK_SHOTS")) {
            std::filesystem::create_directories(folder);
            std::string name = piece + "-" + theme() + ".png";
            std::replace(name.begin(), name.end(), ' ', '-');
            shot.save(std::string(folder) + "/" + name);
        }
        auto pixel = [&](int x, int y) { return shot.pixel(x, y); };
        for (const std::string& fault : testing_support::contrastFaults(root, pixel, shot.scale(), window.size().height))
            ADD_FAILURE() << piece << " (" << theme() << "): " << fault;
    }
    static ToolkitWindow& toolkitWindow(platform::ui::Window* window) { return dynamic_cast<ToolkitWindow&>(*window); }

    // A card or the bar on the main window's ground, in a window of its own.
    void expectShownWellAlone(const std::string& piece, platform::ui::View& root) {
        ToolkitWindow window({root.frame().width, root.frame().height}, piece);
        platform::ui::View ground({0, 0, root.frame().width, root.frame().height});
        ground.setLayerBackgroundColor(Theme::isDark() ? platform::gfx::Rgba::fromBytes(11, 12, 13)
                                                        : platform::gfx::Rgba::fromBytes(233, 232, 230));
        root.setFrameOrigin({0, 0});
        ground.addSubview(&root);
        window.setContentView(&ground);
        window.show();
        expectShownWell(piece, window, root);
        window.setContentView(nullptr);
        root.removeFromSuperview();
    }

    std::unique_ptr<ToolkitWindow> main_ = std::make_unique<ToolkitWindow>(platform::gfx::Size{1200, 800}, "Quiltdeck");
    std::unique_ptr<testing::PanelGallery> gallery_ = std::make_unique<testing::PanelGallery>(*main_, [] { settle(std::chrono::milliseconds(20)); });
};

TEST_P(PanelsOnScreen, SheetsShowTheirControlsInPlaceAndReadable) {
    for (Lang lang : {Lang::en, Lang::de, Lang::ru}) {
        Lang::setCurrent(lang);
        const std::string in = " " + std::string(lang.rawValue());
        auto settings = gallery_->settings();
        expectShownWell("settings" + in, toolkitWindow(settings->panel()), settings->content());
        auto history = gallery_->history();
        expectShownWell("history" + in, toolkitWindow(history->panel()), history->content());
        auto picker = gallery_->picker(false);
        expectShownWell("picker" + in, toolkitWindow(picker->panel()), picker->content());
        auto browsers = gallery_->browsersPanel(true);
        expectShownWell("browsers" + in, toolkitWindow(browsers->panel()), browsers->content());
        gallery_->endSheet();
    }
    // Over a small screen's window the settings' rows scroll: half-way down, the toolkit cuts
    // them at the scroll view, so nothing of a row shows in the strip above the close button.
    ToolkitWindow small({960, 513}, "Quiltdeck");
    small.show();
    settle();
    for (Lang lang : {Lang::de, Lang::ru}) {
        Lang::setCurrent(lang);
        auto settings = std::make_shared<SettingsWindow>();
        settings->present(small);
        platform::ui::ScrollView& rows = settings->rowsView();
        ASSERT_GT(rows.maximumOffset(), 0) << lang.rawValue();
        rows.scrollTo(rows.maximumOffset() / 2);
        ToolkitWindow& sheet = toolkitWindow(settings->panel());
        expectShownWell("scrolled settings " + std::string(lang.rawValue()), sheet, settings->content());
        Shot shot(sheet);
        const int strip = static_cast<int>(rows.frame().maxY() + 1) * shot.scale();
        for (int x = 0; x < static_cast<int>(SettingsWindow::width) * shot.scale(); x += 2)
            ASSERT_EQ(testing_support::colourOf(shot.pixel(x, strip)), PanelColors::panelBackground()) << lang.rawValue() << " at " << x;
        small.endSheet(sheet);
    }
    Lang::setCurrent(Lang::en);
    if (platform::ui::WebView::engineAvailable()) {
        ReaderWindow& reader = gallery_->reader();
        ASSERT_TRUE(reader.panel());
        expectShownWell("reader", toolkitWindow(reader.panel()), *reader.panel()->contentView());
        reader.hide();
    }
}

TEST_P(PanelsOnScreen, CardsAndTheBarShowTheirControlsInPlaceAndReadable) {
    for (double width : {1200.0, 960.0}) {
        auto bar = gallery_->bar(width);
        expectShownWellAlone("bar at " + std::to_string(int(width)), *bar);
    }
    // The AI-titles box in every language at the window's first width: its whole title shows,
    // clear of the focus ring the toolkit draws 2 pixels inside the widget. On the narrowest bar
    // the brief lines (saves failing, entries left out, a paste message) show whole as the toolkit
    // draws them, not only as they are measured.
    const auto shown = [](platform::ui::View& bar) {
        auto window = std::make_unique<ToolkitWindow>(platform::gfx::Size{bar.frame().width, bar.frame().height}, "bar");
        window->setContentView(&bar);
        window->show();
        MainLoop::main().runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window->nativeWindow())) && !window->needsDisplay(); },
                                  std::chrono::seconds(5));
        settle();
        return window;
    };
    const auto noticeWhole = [](BarView& bar, const std::string& what) {
        ASSERT_FALSE(bar.notice().isHidden()) << what << ": " << bar.notice().text();
        auto* peer = dynamic_cast<platform::ui::gtk::WidgetPeer*>(bar.notice().peer());
        ASSERT_TRUE(peer && GTK_IS_LABEL(peer->widget())) << what;
        PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(peer->widget()));
        // The test fonts have no face for some scripts (Chinese): boxes for missing glyphs are
        // sized apart from any font, so only text they draw is held to its measure.
        if (pango_layout_get_unknown_glyphs_count(layout) > 0) return;
        EXPECT_FALSE(pango_layout_is_ellipsized(layout)) << what << ": " << bar.notice().text();
    };
    gallery_->barSayingRecordsLeftOut(960);
    gallery_->barSayingStartedAfresh(960);
    gallery_->barSayingSavesFail(960);
    // The failing store tries again every few seconds: its saves keep failing while this runs.
    failDurableWritesWith(ENOSPC);
    const std::shared_ptr<void> writesWorkAgain(nullptr, [](void*) { failDurableWritesWith(0); });
    for (Lang lang : Lang::allCases()) {
        Lang::setCurrent(lang);
        const std::string in = std::string(" in ") + std::string(lang.rawValue());
        for (auto made : {&testing::PanelGallery::barSayingSavesFail, &testing::PanelGallery::barSayingRecordsLeftOut,
                          &testing::PanelGallery::barSayingStartedAfresh}) {
            auto narrow = (*gallery_.*made)(960);
            auto window = shown(*narrow);
            noticeWhole(*narrow, "brief line" + in);
            // The pointer passes through the label's widget: the window under it shows the tip.
            EXPECT_EQ(narrow->notice().toolTipText(), narrow->notice().toolTip()) << in;
            BarMessage::say(t("paste_no_answer_brief"), t("paste_no_answer"));
            settle();
            noticeWhole(*narrow, "paste message" + in);
            window->setContentView(nullptr);
        }
        auto bar = gallery_->bar(AppDelegate::windowSize.width);
        auto shownBar = shown(*bar);
        ToolkitWindow& window = *shownBar;
        auto* peer = dynamic_cast<platform::ui::gtk::WidgetPeer*>(bar->aiToggle().peer());
        ASSERT_TRUE(peer) << lang.rawValue();
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(peer->widget()));
        ASSERT_TRUE(label && GTK_IS_LABEL(label)) << lang.rawValue();
        PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
        EXPECT_FALSE(pango_layout_is_ellipsized(layout)) << lang.rawValue();
        int textX = 0, textY = 0;
        gtk_label_get_layout_offsets(GTK_LABEL(label), &textX, &textY);
        PangoRectangle ink, logical;
        pango_layout_get_pixel_extents(layout, &ink, &logical);
        GtkAllocation box;
        gtk_widget_get_allocation(peer->widget(), &box);
        // Layout offsets are in the label's window, as the box's allocation is.
        EXPECT_LE(textX + logical.x + logical.width, box.x + box.width - 2) << lang.rawValue() << ": the ring covers the title";
        window.setContentView(nullptr);
    }
    Lang::setCurrent(Lang::en);
    auto look = gallery_->look();
    expectShownWellAlone("look popover", look->view());
    auto card = gallery_->card(1000, Stage::needsLogin, Job::loggingIn, true);
    expectShownWellAlone("setup card", *card);
    // The title editor in words, stacked, and stacked as symbols.
    for (double width : {600.0, 260.0, 170.0}) {
        auto tile = gallery_->tileCard(width, testing::PanelGallery::TileCardState::renaming);
        expectShownWellAlone("renaming tile at " + std::to_string(int(width)), *tile.view);
    }
}

// Switched while it shows: the sheet's ground, texts and toolkit controls all take the new theme.
TEST_P(PanelsOnScreen, AnOpenSheetFollowsTheTheme) {
    setDark(!GetParam());
    auto settings = gallery_->settings();
    settle();
    setDark(GetParam());
    ToolkitWindow& window = toolkitWindow(settings->panel());
    expectShownWell("settings after the switch", window, settings->content());
    Shot shot(window);
    ASSERT_TRUE(shot.valid());
    EXPECT_EQ(testing_support::colourOf(shot.pixel(2, 2)), PanelColors::panelBackground());
}

INSTANTIATE_TEST_SUITE_P(DarkAndLight, PanelsOnScreen, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "dark" : "light"); });

}  // namespace
}  // namespace quiltdeck
