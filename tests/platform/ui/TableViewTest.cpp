#include <gtest/gtest.h>

#include "platform/ui/TableView.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;

namespace {

std::vector<TableView::Row> rows(int count) {
    std::vector<TableView::Row> made;
    for (int i = 0; i < count; ++i) made.push_back({RichText("row " + std::to_string(i), TextAttributes{}), 1, Truncation::tail});
    return made;
}

KeyEvent key(Key which) {
    KeyEvent event;
    event.key = which;
    return event;
}

}  // namespace

// Arrows move one row and stop at the ends; with nothing selected Down takes the first row and
// Up the last. Each move the user makes is told; a selection by the program is not.
TEST(TableView, ArrowsMoveWithinTheRowsAndTellOfUserChanges) {
    struct Case {
        int start, delta, expected;
        bool told;
    } cases[] = {
        {-1, +1, 0, true}, {-1, -1, 4, true}, {0, -1, 0, false}, {4, +1, 4, false}, {2, +1, 3, true}, {2, -1, 1, true},
    };
    for (const Case& c : cases) {
        TableView table({0, 0, 200, 100});
        table.setRows(rows(5));
        table.selectRow(c.start);
        int told = 0;
        table.onSelectionChange = [&](TableView&) { ++told; };
        table.keyDown(key(c.delta > 0 ? Key::down : Key::up));
        EXPECT_EQ(table.selectedRow(), c.expected) << c.start << " " << c.delta;
        EXPECT_EQ(told, c.told ? 1 : 0) << c.start << " " << c.delta;
    }
    TableView empty;
    EXPECT_FALSE(empty.moveSelection(1));
    EXPECT_EQ(empty.selectedRow(), -1);
}

// A reload keeps the selection while its index is still a row; outside indexes select none.
TEST(TableView, ReloadKeepsOrDropsTheSelection) {
    TableView table;
    table.setRows(rows(5));
    table.selectRow(3);
    table.setRows(rows(4));
    EXPECT_EQ(table.selectedRow(), 3);
    table.setRows(rows(3));
    EXPECT_EQ(table.selectedRow(), -1);
    for (int outside : {-2, 3, 100}) {
        table.selectRow(outside);
        EXPECT_EQ(table.selectedRow(), -1) << outside;
    }
}

// A click selects; the second press of a double click runs the double action with that row, and
// so does Return on a selected row. Return with nothing selected goes on up the chain.
TEST(TableView, DoubleClickAndReturnActivate) {
    headless::HeadlessWindow window({200, 200}, 1);
    View content({0, 0, 200, 200});
    window.setContentView(&content);
    TableView table({0, 0, 200, 200});
    table.setRowHeight(20);
    table.setRows(rows(5));
    content.addSubview(&table);
    std::vector<int> activated;
    table.setAction([&](Control& sender) { activated.push_back(static_cast<TableView&>(sender).clickedRow()); });

    MouseEvent press;
    press.type = MouseEvent::Type::down;
    press.locationInWindow = {10, 200 - 45};  // the third row from the top
    window.sendMouseEvent(press);
    press.type = MouseEvent::Type::up;
    window.sendMouseEvent(press);
    EXPECT_EQ(table.selectedRow(), 2);
    EXPECT_TRUE(activated.empty());
    EXPECT_EQ(window.firstResponder(), &table);
    press.type = MouseEvent::Type::down;
    window.sendMouseEvent(press);
    EXPECT_EQ(activated, std::vector<int>{2});

    table.selectRow(4);
    window.sendKeyEvent(key(Key::keypadEnter));
    EXPECT_EQ(activated, (std::vector<int>{2, 4}));
    table.selectRow(-1);
    table.keyDown(key(Key::returnKey));
    EXPECT_EQ(activated.size(), 2u);
    // The owner's key handler comes first.
    table.onKeyDown = [](const KeyEvent& event) { return event.key == Key::down; };
    table.selectRow(0);
    table.keyDown(key(Key::down));
    EXPECT_EQ(table.selectedRow(), 0);
    window.setContentView(nullptr);
}

// Scrolling stays within the rows; a row scrolled to is whole in view; points map to rows with
// the scroll counted, and outside the view to none.
TEST(TableView, ScrollsRowsIntoViewAndMapsPoints) {
    TableView table({0, 0, 100, 50});
    table.setRowHeight(20);
    table.setRows(rows(10));
    EXPECT_EQ(table.contentHeight(), 200);
    table.scrollRowToVisible(9);
    EXPECT_EQ(table.scrollOffset(), 150);
    EXPECT_EQ(table.rowAt({5, 49}), 9);
    table.scrollRowToVisible(2);
    EXPECT_EQ(table.scrollOffset(), 40);
    EXPECT_EQ(table.rowAt({5, 0}), 2);
    EXPECT_EQ(table.rowAt({5, -1}), -1);
    EXPECT_EQ(table.rowAt({100, 10}), -1);
    table.scrollTo(1e9);
    EXPECT_EQ(table.scrollOffset(), 150);
    table.scrollTo(std::nan(""));
    EXPECT_EQ(table.scrollOffset(), 0);
    table.setRows(rows(1));
    EXPECT_EQ(table.rowAt({5, 30}), -1);
    table.setRowHeight(0);
    table.setRowHeight(std::numeric_limits<double>::infinity());
    EXPECT_EQ(table.rowHeight(), 20);
}
