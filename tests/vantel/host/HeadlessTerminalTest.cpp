#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/GLibMainLoop.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "support/HostTestSupport.h"
#include "support/TerminalTestSupport.h"
#include "vantel/core/Base64.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/host/HeadlessTerminal.h"

namespace vantel {
namespace {

using namespace std::chrono_literals;
using platform::runtime::GLibMainLoop;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using testing::testChild;
using testing::waitFor;

// Keeps a copy of what the child wrote before the terminal parses it.
class RecordingHeadless : public HeadlessTerminal {
public:
    using HeadlessTerminal::HeadlessTerminal;
    void dataReceived(std::span<const uint8_t> slice) override {
        output.append(slice.begin(), slice.end());
        HeadlessTerminal::dataReceived(slice);
    }
    bool saw(const std::string& text) const { return output.find(text) != std::string::npos; }
    std::string output;
};

TerminalOptions sized(int cols, int rows) {
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    return options;
}

class HeadlessTerminalTest : public ::testing::Test {
protected:
    bool runUntil(const std::function<bool()>& done) { return waitFor(loop, done); }

    GLibMainLoop loop;
    ScopedMainLoop scope{loop};
    std::vector<std::optional<int32_t>> ends;
    RecordingHeadless headless{nullptr, sized(100, 30), [this](std::optional<int32_t> code) { ends.push_back(code); }};
};

TEST_F(HeadlessTerminalTest, ChildOutputReachesTheEngineAndTheEndIsReportedOnce) {
    headless.process().startProcess("/bin/sh", {"-c", "printf '\\033]2;headless title\\007first line\\nsecond'"});
    ASSERT_TRUE(runUntil([&] { return !ends.empty() && headless.saw("second"); }));
    loop.runUntil([] { return false; }, 100ms);
    EXPECT_EQ(ends, std::vector<std::optional<int32_t>>{0});
    EXPECT_EQ(headless.terminal().terminalTitle, "headless title");
    auto row = [&](int y) {
        return headless.terminal().getLine(y)->translateToString(
            true, 0, -1, true, [&](const CharData& c) { return headless.terminal().getCharacter(c); });
    };
    EXPECT_EQ(row(0), "first line");
    EXPECT_EQ(row(1), "second");
}

TEST_F(HeadlessTerminalTest, ChildSeesTheTerminalsSizeAndItsChanges) {
    const winsize size = headless.getWindowSize();
    EXPECT_EQ(std::tie(size.ws_row, size.ws_col, size.ws_xpixel, size.ws_ypixel), std::tuple(30, 100, 16, 16));
    headless.process().startProcess("/bin/sh", {"-c", "stty size; read line; stty size"});
    ASSERT_TRUE(runUntil([&] { return headless.saw("30 100"); }));
    headless.resize(120, 40);
    EXPECT_EQ(headless.terminal().cols(), 120);
    EXPECT_EQ(headless.terminal().rows(), 40);
    headless.send("\r");
    ASSERT_TRUE(runUntil([&] { return headless.saw("40 120"); }));
}

TEST(HeadlessTerminalRepliesTest, StatusQueriesAreAnsweredStraightToTheChild) {
    struct Case {
        std::string query;
        std::string replyHex;
    };
    const std::vector<Case> cases = {
        {"\x1b[5n", "1b5b306e"},          // device status: ok
        {"\x1b[6n", "1b5b313b3152"},      // cursor position 1;1
        {"\x1b]5555;ping\x07", "1b5d353535353b706f6e6707"},  // a host's own OSC reply
    };
    GLibMainLoop loop;
    ScopedMainLoop scope(loop);
    for (const Case& c : cases) {
        RecordingHeadless headless(nullptr, sized(80, 25), [](std::optional<int32_t>) {});
        headless.terminal().registerOscHandler(5555, [&](std::span<const uint8_t>) {
            headless.terminal().sendResponse("\x1b]5555;pong\x07");
        });
        const std::string length = std::to_string(c.replyHex.size() / 2);
        headless.process().startProcess(testChild, {"ask", c.query, length});
        ASSERT_TRUE(waitFor(loop, [&] { return headless.saw("END"); })) << c.replyHex;
        EXPECT_TRUE(headless.saw("reply:" + c.replyHex + "\r")) << headless.output;
    }
}

// A child that asks and never reads: its replies stop at the limit, counted in
// the log, while the user's keys still go in and an oversized paste is refused.
TEST_F(HeadlessTerminalTest, UnreadRepliesStopAtTheLimitUserInputStillQueues) {
    headless.process().startProcess(testChild, {"flood", "2000000"});
    ASSERT_TRUE(runUntil([&] { return headless.saw("END"); }));
    const auto figures = headless.process().writeFigures();
    EXPECT_LE(figures.peakQueuedBytes, LocalProcess::writeQueueLimit);
    EXPECT_GT(figures.droppedReplies, 0u);
    EXPECT_GE(figures.queuedBytes, LocalProcess::writeQueueLimit - 64);

    LocalProcess& process = headless.process();
    const int sends = process.sendCount();
    EXPECT_TRUE(process.send(std::vector<uint8_t>{'q'}));
    EXPECT_FALSE(process.send(std::vector<uint8_t>(LocalProcess::writeQueueLimit, 'p')));
    EXPECT_TRUE(process.send(std::vector<uint8_t>(LocalProcess::writeQueueLimit - 1, 'p')));
    EXPECT_TRUE(process.send(std::vector<uint8_t>{'k'})) << "a key goes in past the limit";
    EXPECT_EQ(process.sendCount(), sends + 3);
    EXPECT_EQ(process.writeFigures().refusedInputs, 1u);
    headless.process().terminate();
}

// Colour queries fill the queue as DA does and stop at the same limit; the log tells of the
// drops when they begin and counts them when the child's queue closes.
TEST_F(HeadlessTerminalTest, UnreadColourRepliesStopAtTheLimitAndAreCountedInTheLog) {
    ::testing::internal::CaptureStdout();
    headless.process().startProcess(testChild, {"flood", "400000", "osc4"});
    const bool ended = runUntil([&] { return headless.saw("END"); });
    const auto figures = headless.process().writeFigures();
    headless.process().terminate();
    const std::string log = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended);
    EXPECT_LE(figures.peakQueuedBytes, LocalProcess::writeQueueLimit);
    EXPECT_GT(figures.droppedReplies, 0u);
    EXPECT_NE(log.find("Dropping replies to the child: it leaves its input unread"), std::string::npos) << log;
    EXPECT_NE(log.find("Dropped " + std::to_string(figures.droppedReplies) + " replies ("), std::string::npos) << log;
}

TEST_F(HeadlessTerminalTest, UserInputReachesTheChild) {
    headless.process().startProcess("/bin/sh", {"-c", "read line; echo \"got:$line\""});
    headless.send("hello\r");
    ASSERT_TRUE(runUntil([&] { return headless.saw("got:hello"); }));
}

TEST_F(HeadlessTerminalTest, SignalledChildPassesTheRawStatus) {
    headless.process().startProcess(testChild, {"wait"});
    ::kill(headless.process().shellPid(), SIGTERM);
    ASSERT_TRUE(runUntil([&] { return !ends.empty(); }));
    EXPECT_EQ(ends, std::vector<std::optional<int32_t>>{SIGTERM});
}

TEST_F(HeadlessTerminalTest, SubmittedInputMovesAnArmedPromptToSubmitted) {
    headless.process().startProcess(testChild, {"wait"});
    headless.terminal().buffer().semanticInput = SemanticInputState::armed;
    headless.send("ls\r");
    // The scan runs on the loop, after the bytes have gone to the child.
    EXPECT_EQ(headless.terminal().buffer().semanticInput, SemanticInputState::armed);
    ASSERT_TRUE(runUntil([&] { return headless.terminal().buffer().semanticInput == SemanticInputState::submitted; }));
    headless.process().terminate();
}

// In pieces the size of the host's reads.
void feedChild(HeadlessTerminal& headless, const std::string& output) {
    for (size_t at = 0; at < output.size(); at += LocalProcess::readSize) {
        headless.dataReceived(
            {reinterpret_cast<const uint8_t*>(output.data()) + at, std::min(LocalProcess::readSize, output.size() - at)});
    }
}

std::string link(int n) { return "\x1b]8;;https://h/" + std::to_string(n) + "\x1b\\x\x1b]8;;\x1b\\\r\n"; }

// A tile full of distinct links leaves the other tiles theirs: it stays within
// its quota, and the host hands back the codes of links gone from its lines.
TEST(HeadlessTerminalPayloadTest, ManyLinksInOneTerminalLeaveOthersTheirs) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    HeadlessTerminal flooded(nullptr, sized(80, 25), [](std::optional<int32_t>) {});
    std::string output;
    for (int n = 0; n < 70'000; ++n) output += link(n);
    feedChild(flooded, output);
    EXPECT_LE(flooded.terminal().payloadCodes().size(), flooded.terminal().options().maximumPayloadCodes);
    EXPECT_NE(flooded.terminal().getCharData(0, 23)->payload.code, 0) << "the newest links still have theirs";

    testing::TestTerminal other;
    other.feed(link(1));
    EXPECT_NE(other.cell(0, 0).payload.code, 0);
}

TEST(HeadlessTerminalPayloadTest, CodesOfLinksGoneAreCollectedOnATimer) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    HeadlessTerminal headless(nullptr, sized(80, 25), [](std::optional<int32_t>) {});
    std::string output;
    // Each link overwrites the one before: one stays on the lines.
    for (int n = 0; n < 100; ++n) output += link(n) + "\x1b[H";
    feedChild(headless, output);
    EXPECT_EQ(headless.terminal().payloadCodes().size(), 100u);
    loop.advance(HeadlessTerminal::payloadCollectionInterval);
    EXPECT_EQ(headless.terminal().payloadCodes().size(), 1u);
}

// Sixel images are bounded one by one, not in number: the host keeps only what its budget holds.
TEST(HeadlessTerminalImageTest, KeptBitmapsStayWithinTheImageBudget) {
    installGraphicsProtocols();
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    HeadlessTerminal headless(nullptr, sized(80, 25), [](std::optional<int32_t>) {});
    headless.setImageBudgetBytes(1 << 20);
    std::string output;
    for (int i = 0; i < 100; ++i) output += "\x1bPq\"1;1;9999;9999#1!9999~\x1b\\";
    output += "\x1bPq#1!7~\x1b\\";
    feedChild(headless, output);
    size_t kept = 0;
    for (const auto& image : headless.images()) kept += image.bytes.size();
    EXPECT_LE(kept, size_t{1} << 20);
    EXPECT_LE(headless.imageBytes(), 1 << 20);
    ASSERT_FALSE(headless.images().empty());
    EXPECT_EQ(headless.images().back().width, 7) << "the newest image is kept, the oldest go";
    // A smaller budget applies at once; none at all keeps nothing.
    headless.setImageBudgetBytes(0);
    EXPECT_TRUE(headless.images().empty());
    EXPECT_EQ(headless.imageBytes(), 0);
}

// A large picture loads in steps between the host's deliveries: the host stops delivering while
// the terminal holds the output after it, so no delivery does more than the one step the
// command's arrival starts, and the output after the picture reaches the screen after it.
class SteppedHeadless : public HeadlessTerminal {
public:
    using HeadlessTerminal::HeadlessTerminal;
    void dataReceived(std::span<const uint8_t> slice) override {
        if (terminal().holdsInput()) ++fedWhileHeld;
        const size_t before = kittyGraphicsOf(terminal())->loadFigures().steps;
        HeadlessTerminal::dataReceived(slice);
        mostStepsInADelivery = std::max(mostStepsInADelivery, kittyGraphicsOf(terminal())->loadFigures().steps - before);
    }
    int fedWhileHeld = 0;
    size_t mostStepsInADelivery = 0;
};

TEST(HeadlessTerminalImageTest, ALargePictureLoadsInStepsBetweenDeliveries) {
    installGraphicsProtocols();
    GLibMainLoop loop;
    ScopedMainLoop scope(loop);
    TerminalOptions options = sized(80, 25);
    options.kittyImageCacheLimitBytes = 512 * 1024 * 1024;
    SteppedHeadless headless(nullptr, options, [](std::optional<int32_t>) {});
    const std::string zeros(size_t{4000} * 4000 * 4, '\0');
    uLongf size = compressBound(zeros.size());
    std::string compressed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(compressed.data()), &size, reinterpret_cast<const Bytef*>(zeros.data()),
              zeros.size(), 9);
    compressed.resize(size);
    const std::string path = ::testing::TempDir() + "headless-picture-" + std::to_string(::getpid());
    std::ofstream(path, std::ios::binary)
        << "before\r\n\x1b_Ga=t,q=2,f=32,o=z,s=4000,v=4000,i=9;"
        << Base64::encode({reinterpret_cast<const uint8_t*>(compressed.data()), compressed.size()})
        << "\x1b\\after the picture\r\n";
    headless.process().startProcess("/bin/sh", {"-c", "cat \"$0\"; exec sleep 1000", path});
    auto row = [&](int y) {
        return headless.terminal().getLine(y)->translateToString(
            true, 0, -1, true, [&](const CharData& c) { return headless.terminal().getCharacter(c); });
    };
    ASSERT_TRUE(waitFor(loop, [&] { return row(1) == "after the picture"; }));
    std::remove(path.c_str());
    const KittyGraphics& kitty = *kittyGraphicsOf(headless.terminal());
    EXPECT_TRUE(kitty.state().imagesById.contains(9));
    EXPECT_GT(kitty.loadFigures().steps, 64'000'000 / KittyPayloadLoader::stepWork);
    EXPECT_LE(kitty.loadFigures().largestStepWork, KittyPayloadLoader::stepWork);
    EXPECT_EQ(headless.mostStepsInADelivery, 1u);
    EXPECT_EQ(headless.fedWhileHeld, 0);
    EXPECT_EQ(row(0), "before");
    headless.process().terminate();
}

}  // namespace
}  // namespace vantel
