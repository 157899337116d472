#include "platform/ui/Pasteboard.h"

#include <gtest/gtest.h>

using namespace platform::ui;

namespace {

// A clipboard owned elsewhere: reads answer when the test says.
struct SlowClipboard : Pasteboard::Backend {
    std::optional<std::string> held;
    std::vector<std::function<void(std::optional<std::string>)>> waiting;
    int writes = 0;
    void write(const std::optional<std::string>& text) override {
        held = text;
        ++writes;
    }
    void read(std::function<void(std::optional<std::string>)> done) override { waiting.push_back(std::move(done)); }
};

}  // namespace

TEST(Pasteboard, ReadsAnswerFromTheCopyAndFollowOtherOwners) {
    Pasteboard board;
    EXPECT_EQ(board.string(), std::nullopt);
    auto backend = std::make_unique<SlowClipboard>();
    SlowClipboard& clipboard = *backend;
    board.setBackend(std::move(backend));
    board.setString("ours");
    EXPECT_EQ(clipboard.held, "ours");
    EXPECT_EQ(board.string(), "ours");
    // Another program copies: the toolkit says so, and the copy follows without a read.
    const int count = board.changeCount();
    board.contentDidChange("theirs");
    EXPECT_EQ(board.string(), "theirs");
    EXPECT_EQ(board.changeCount(), count + 1);
    board.contentDidChange("theirs");
    EXPECT_EQ(board.changeCount(), count + 1);
    // A fresh read answers when the owner does, and updates the copy.
    std::optional<std::string> got;
    board.requestString([&](std::optional<std::string> text) { got = std::move(text); });
    EXPECT_EQ(got, std::nullopt);
    ASSERT_EQ(clipboard.waiting.size(), 1u);
    clipboard.waiting[0]("later");
    EXPECT_EQ(got, "later");
    EXPECT_EQ(board.string(), "later");
    board.clearContents();
    EXPECT_EQ(board.string(), std::nullopt);
    EXPECT_EQ(clipboard.held, std::nullopt);
}
