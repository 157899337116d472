#include "platform/ui/Pasteboard.h"

#include <gtest/gtest.h>

using namespace platform::ui;

namespace {

// A clipboard owned elsewhere: reads answer when the test says.
struct SlowClipboard : Pasteboard::Backend {
    std::optional<std::string> held;
    std::vector<Pasteboard::TextReader> reading;
    std::vector<Pasteboard::ItemsDone> itemReads;
    size_t limit = 0;
    int writes = 0;
    void write(const std::optional<std::string>& text) override {
        held = text;
        ++writes;
    }
    Pasteboard::CancelRead readItems(Pasteboard::ItemsReader reader) override {
        itemReads.push_back(std::move(reader.done));
        return {};
    }
    int abandoned = 0;
    Pasteboard::CancelRead readText(Pasteboard::TextReader reader, size_t most) override {
        limit = most;
        reading.push_back(std::move(reader));
        return [this] { ++abandoned; };
    }
};

}  // namespace

TEST(Pasteboard, OurCopyAnswersAtOnceAnotherProgramsIsReadOnlyWhenAsked) {
    Pasteboard board;
    EXPECT_EQ(board.string(), std::nullopt);
    auto backend = std::make_unique<SlowClipboard>();
    SlowClipboard& clipboard = *backend;
    board.setBackend(std::move(backend));
    board.setString("ours");
    EXPECT_EQ(clipboard.held, "ours");
    EXPECT_EQ(board.string(), "ours");
    std::optional<std::string> got;
    board.requestString([&](std::optional<std::string> text) { got = std::move(text); });
    EXPECT_EQ(got, "ours");
    EXPECT_TRUE(clipboard.reading.empty()) << "our own copy needs no read";

    // Another program copies: the copy is forgotten, and nothing of the new one is read.
    const int count = board.changeCount();
    board.ownerDidChange();
    EXPECT_EQ(board.string(), std::nullopt);
    EXPECT_EQ(board.changeCount(), count + 1);
    EXPECT_TRUE(clipboard.reading.empty());
    EXPECT_TRUE(clipboard.itemReads.empty());

    // A paste reads it from the owner, in pieces as they come, and keeps none of it; how much came
    // is counted whatever the owner says, and nothing is heard after the end.
    std::string pieces;
    std::optional<Pasteboard::ReadEnd> ended;
    board.setTextLimit(100);
    board.requestText({[&](std::string piece) { pieces += piece + "|"; }, [&](Pasteboard::ReadEnd end) { ended = end; }});
    ASSERT_EQ(clipboard.reading.size(), 1u);
    EXPECT_EQ(clipboard.limit, 100u);
    clipboard.reading[0].piece("la");
    EXPECT_EQ(pieces, "la|");
    clipboard.reading[0].piece("ter");
    clipboard.reading[0].end({Pasteboard::ReadEnd::How::gone, 0, 9});
    clipboard.reading[0].piece("more");
    clipboard.reading[0].end({});
    EXPECT_EQ(pieces, "la|ter|");
    EXPECT_EQ(ended, (Pasteboard::ReadEnd{Pasteboard::ReadEnd::How::gone, 5, 9}));
    EXPECT_EQ(board.string(), std::nullopt);
    // A read given up lets the transfer go and ends at once with what came; nothing after, and a
    // second cancel does nothing.
    pieces.clear();
    Pasteboard::CancelRead cancel =
        board.requestText({[&](std::string piece) { pieces += piece; }, [&](Pasteboard::ReadEnd end) { ended = end; }});
    clipboard.reading.back().piece("abc");
    cancel();
    cancel();
    clipboard.reading.back().piece("more");
    clipboard.reading.back().end({});
    EXPECT_EQ(clipboard.abandoned, 1);
    EXPECT_EQ(pieces, "abc");
    EXPECT_EQ(ended, (Pasteboard::ReadEnd{Pasteboard::ReadEnd::How::cancelled, 3, std::nullopt}));
    clipboard.reading.pop_back();
    // The whole text at once, even when the owner broke off; none when there was none.
    got.reset();
    board.requestString([&](std::optional<std::string> text) { got = std::move(text); });
    clipboard.reading[1].piece("a");
    clipboard.reading[1].piece("b");
    EXPECT_EQ(got, std::nullopt);
    clipboard.reading[1].end({Pasteboard::ReadEnd::How::stopped});
    EXPECT_EQ(got, "ab");
    got = "before";
    board.requestString([&](std::optional<std::string> text) { got = std::move(text); });
    clipboard.reading[2].end({});
    EXPECT_EQ(got, std::nullopt);
    // The items likewise.
    Pasteboard::Items items;
    board.requestItems({[&](Pasteboard::Items read, Pasteboard::ReadEnd) { items = std::move(read); }});
    ASSERT_EQ(clipboard.itemReads.size(), 1u);
    clipboard.itemReads[0]({{"file:///tmp/a"}, {}, {}}, {});
    EXPECT_EQ(items.uris, std::vector<std::string>{"file:///tmp/a"});
    EXPECT_EQ(board.items(), Pasteboard::Items{});

    // Emptied by us: known to be empty, no read.
    board.clearContents();
    EXPECT_EQ(board.string(), std::nullopt);
    EXPECT_EQ(clipboard.held, std::nullopt);
    got = "before";
    board.requestString([&](std::optional<std::string> text) { got = std::move(text); });
    EXPECT_EQ(got, std::nullopt);
    EXPECT_EQ(clipboard.reading.size(), 3u);
}
