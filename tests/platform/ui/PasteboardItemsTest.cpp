#include <gtest/gtest.h>

#include "platform/ui/Pasteboard.h"

namespace platform::ui {
namespace {

TEST(PasteboardItemsTest, KeptBesideTheTextUntilTheContentChanges) {
    Pasteboard board;
    Pasteboard::Items items;
    items.uris = {"file:///tmp/a.txt"};
    items.png = std::vector<uint8_t>{1, 2, 3};
    items.tiff = std::vector<uint8_t>(Pasteboard::itemBytesLimit + 1, 0);
    board.itemsDidChange(items);
    EXPECT_EQ(board.items().uris, items.uris);
    EXPECT_EQ(board.items().png, items.png);
    EXPECT_FALSE(board.items().tiff) << "too large to keep";
    const int count = board.changeCount();
    board.itemsDidChange(board.items());
    EXPECT_EQ(board.changeCount(), count);
    // Without a backend a paste's read answers from memory at once.
    std::optional<Pasteboard::Items> read;
    board.requestItems({[&](Pasteboard::Items got, Pasteboard::ReadEnd) { read = std::move(got); }});
    EXPECT_EQ(read, board.items());

    // Our own copy replaces everything on the clipboard.
    board.setString("copied");
    EXPECT_EQ(board.items(), Pasteboard::Items{});
    board.itemsDidChange(items);
    board.clearContents();
    EXPECT_EQ(board.items(), Pasteboard::Items{});
    EXPECT_FALSE(board.string());
}

}  // namespace
}  // namespace platform::ui
