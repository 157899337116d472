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
    // Each stream counts its own text: what waits, what was taken, what was dropped; the start of
    // a character cut at a piece's end (at most 3 bytes) counts once it is whole or closed.
    for (size_t cut : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}}) {
        PasteQueue queue;
        queue.push("<", false);
        const PasteQueue::Stream stream = queue.open();
        const PasteQueue::Stream behind = queue.open();
        queue.push(">", false);
        std::string out;
        for (size_t at = 0; at < text.size(); at += cut) {
            queue.append(stream, text.substr(at, cut), true);
            queue.append(behind, text.substr(at, cut), true);
            while (queue.ready()) out += queue.take(5);
            const PasteQueue::Count count = queue.count(stream), waits = queue.count(behind);
            const size_t came = std::min(at + cut, text.size());
            EXPECT_LE(came - (count.waiting + count.taken), 3u) << cut;
            EXPECT_EQ(waits.taken, 0u) << "the stream behind waits whole";
            EXPECT_LE(came - waits.waiting, 3u) << cut;
        }
        EXPECT_FALSE(queue.empty()) << "the key waits for the close";
        queue.close(stream);
        const size_t dropped = queue.count(behind).waiting;
        EXPECT_EQ(queue.dropPastedText(), dropped);
        EXPECT_EQ(queue.count(behind).dropped, dropped);
        queue.close(behind);
        while (!queue.empty()) out += queue.take(5);
        const std::string whole = TerminalView::filterPastedText(text), rest = TerminalView::filterPastedText(text.substr(dropped));
        EXPECT_EQ(out, "<" + whole + rest + ">") << "arriving in pieces of " << cut;
        EXPECT_EQ(queue.count(stream).taken, text.size());
        EXPECT_EQ(queue.count(stream).waiting, 0u);
        EXPECT_EQ(queue.count(behind).taken + dropped, text.size());
        queue.forget(stream);
        EXPECT_EQ(queue.count(stream).taken, 0u);
    }
}
