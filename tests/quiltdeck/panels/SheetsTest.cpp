#include "quiltdeck/panels/Sheets.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/HeadlessWindow.h"

namespace quiltdeck {
namespace {

using platform::ui::Window;
using platform::ui::headless::HeadlessWindow;

// The owner lives while its sheet is up and goes when it ends; a second sheet ends the first.
TEST(Sheets, KeepTheirOwnersWhileUp) {
    HeadlessWindow main({800, 600}, 1), first({300, 200}, 1), second({300, 200}, 1);
    auto firstOwner = std::make_shared<int>(1), secondOwner = std::make_shared<int>(2);
    std::weak_ptr<int> firstAlive = firstOwner, secondAlive = secondOwner;
    std::vector<int> responses;
    Sheets::present(first, main, std::move(firstOwner), [&](int response) { responses.push_back(response); });
    EXPECT_EQ(first.identifier(), "bl.sheet");
    EXPECT_EQ(main.attachedSheet(), &first);
    EXPECT_FALSE(firstAlive.expired());
    EXPECT_TRUE(Sheets::owns(first));

    Sheets::present(second, main, std::move(secondOwner), nullptr);
    EXPECT_TRUE(firstAlive.expired());
    EXPECT_FALSE(Sheets::owns(first));
    EXPECT_EQ(responses, std::vector<int>{Window::cancelled});
    EXPECT_EQ(main.attachedSheet(), &second);
    EXPECT_EQ(Sheets::ownerCount(), 1u);

    main.endSheet(second, 3);
    EXPECT_TRUE(secondAlive.expired());
    EXPECT_EQ(Sheets::ownerCount(), 0u);
}

}  // namespace
}  // namespace quiltdeck
