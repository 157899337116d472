#include "vantel/view/PasteQueue.h"

#include <gtest/gtest.h>

#include <random>

#include "vantel/view/TerminalView.h"

using namespace vantel;

// Taken in pieces of any size, a paste comes out as the whole filtered at once would: no
// character, valid or broken, is cut differently; what is not pasted passes as it is, in order.
TEST(PasteQueue, PiecesAddUpToTheWholeFiltered) {
    std::mt19937 random(7);
    std::string text;
    const char* parts[] = {"abc", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\x1b[201~", "\xc2\x9b",
                           "\xff", "\x80\x80\x80\x80\x80", "\xe2\x82", "\r\n\t", "\x03"};
    for (int i = 0; i < 4000; ++i) text += parts[random() % std::size(parts)];
    const std::string expected = "<" + TerminalView::filterPastedText(text) + ">";
    for (size_t limit : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{64}, size_t{4096}, size_t{1} << 20}) {
        PasteQueue queue;
        queue.push("<", false);
        queue.push(text, true);
        queue.push(">", false);
        EXPECT_EQ(queue.waitingBytes(), text.size() + 2);
        std::string out;
        while (!queue.empty()) out += queue.take(limit);
        EXPECT_EQ(out, expected) << "pieces of " << limit;
        EXPECT_EQ(queue.waitingBytes(), 0u);
    }
    // The same text arriving in pieces cut anywhere, a key pushed while it comes: the key follows
    // the whole, which comes out as if it had been pushed at once.
    for (size_t cut : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}}) {
        PasteQueue queue;
        queue.push("<", false);
        const PasteQueue::Stream stream = queue.open();
        queue.push(">", false);
        std::string out;
        for (size_t at = 0; at < text.size(); at += cut) {
            queue.append(stream, text.substr(at, cut), true);
            while (queue.ready()) out += queue.take(5);
        }
        EXPECT_FALSE(queue.empty()) << "the key waits for the close";
        queue.close(stream);
        while (!queue.empty()) out += queue.take(5);
        EXPECT_EQ(out, expected) << "arriving in pieces of " << cut;
    }
}
