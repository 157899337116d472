#include "quiltdeck/sessions/TappedTerminalView.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/ui/Modals.h"
#include "platform/ui/Workspace.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {
namespace {

// A tile's Ctrl+click on links that a program printed: what reaches the desktop, what is only
// shown in its folder, what is logged, and what waits for the user's word in a dialog over the
// tile's window, whose default (Return) and Escape open nothing.
TEST(TileLinks, FollowTheLinkRules) {
    platform::ui::Modals::reset();
    std::vector<std::string> opened, revealed;
    platform::ui::Workspace::setOpener([&](const std::string& url) { return opened.push_back(url), true; });
    platform::ui::Workspace::setRevealer([&](const std::string& path) { return revealed.push_back(path), true; });
    platform::ui::headless::HeadlessWindow window({800, 600}, 1);
    TappedTerminalView view({0, 0, 800, 600});
    window.setContentView(&view);
    testing::TempFolder folder;
    testing::writeFile(folder / "run", "#!/bin/sh\n");
    chmod((folder / "run").c_str(), 0755);
    const size_t logged = testing::logContents().size();
    const auto click = [&](const std::string& link) { view.requestOpenLink(view, link, {}); };

    click("https://example.org/a");
    click((folder / "run").string() + ":12");
    click("JavaScript:alert(document.cookie)");
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/a"});
    EXPECT_EQ(revealed, std::vector<std::string>{std::filesystem::canonical(folder / "run").string()});
    EXPECT_NE(testing::logContents().find("tile: refused javascript link", logged), std::string::npos);

    auto& modals = *platform::ui::headless::HeadlessModals::current();
    const std::string link = "evil://payload?\xe2\x80\x8bx";
    click(link);
    ASSERT_TRUE(modals.shownAlert());
    EXPECT_EQ(modals.shownOver(), &window);
    EXPECT_EQ(modals.shownAlert()->informativeText, "evil://payload?<U+200B>x\n\n" + t("link_ask_note"));
    EXPECT_EQ(modals.shownAlert()->buttons, (std::vector<std::string>{t("cancel"), t("link_ask_open")}));
    modals.clickButton(0);
    click(link);
    platform::ui::Modals::cancelShowing();
    click(link);
    modals.clickButton(1);
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/a", link}));

    // A program that prints more links than the tile may hold: said once in the log.
    vantel::TerminalOptions options = view.getTerminal().options();
    options.maximumPayloadCodes = 1;
    view.getTerminal().setOptions(options);
    for (int n = 0; n < 3; ++n) view.feed("\x1b]8;;https://h/" + std::to_string(n) + "\x1b\\x\x1b]8;;\x1b\\");
    const std::string log = testing::logContents().substr(logged);
    const size_t said = log.find("tile: link codes used up");
    ASSERT_NE(said, std::string::npos);
    EXPECT_EQ(log.find("tile: link codes used up", said + 1), std::string::npos);

    window.setContentView(nullptr);
    platform::ui::Workspace::setOpener(nullptr);
    platform::ui::Workspace::setRevealer(nullptr);
    platform::ui::Modals::reset();
}

}  // namespace
}  // namespace quiltdeck
