// Large pictures load in steps on the scheduler while the output after them waits: each step
// does a bounded amount of work (so no pass of the loop is long), and what follows the command
// is parsed after it, in order, replies included.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <functional>
#include <thread>

#include "KittyTestSupport.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

// A host that stops feeding while the terminal holds its input.
struct SteppingDelegate : CellSizeDelegate {
    bool steps = true;
    int releases = 0;
    bool feedsInSteps(Terminal&) override { return steps; }
    void inputReleased(Terminal&) override { ++releases; }
};

struct SteppingTerminal : TestTerminalOf<SteppingDelegate> {
    SteppingTerminal()
        : TestTerminalOf<SteppingDelegate>((installGraphicsProtocols(), 40), 6, [](TerminalOptions& options) {
              options.kittyImageCacheLimitBytes = 512 * 1024 * 1024;
          }) {}
    KittyGraphics& kitty() { return *kittyGraphicsOf(*terminal); }
};

// A file under the test's temporary folder, removed with the object.
struct TempFile {
    explicit TempFile(const std::string& name, const std::function<void(const std::string&)>& fill)
        : path(::testing::TempDir() + name + "-" + std::to_string(::getpid())) {
        fill(path);
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

// `side` x `side` f=32 pixels of zeros, compressed: 0.5 MB of base64 for 10000 x 10000.
std::string zlibZeros(int side) { return base64(zlibCompress(std::string(size_t(side) * side * 4, '\0'))); }

// The terminal's answer to DA, as a terminal without pictures gives it.
std::string deviceAttributes() {
    TestTerminal plain;
    plain.feed("\x1b[c");
    return plain.delegate.replies();
}

// The screen's rows, one after the other.
std::string screenText(SteppingTerminal& t) {
    std::string text;
    for (const std::string& row : t.rows()) text += row + "|";
    return text;
}

TEST(KittyLoadStepsTest, LargePicturesLoadInBoundedStepsWhileLaterOutputWaits) {
    const std::string bomb = zlibZeros(10000);
    ASSERT_LT(bomb.size(), 600'000u);
    const std::string smaller = zlibZeros(3000);
    const TempFile large("kitty-steps-large", [](const std::string& path) {
        std::ofstream(path, std::ios::binary).close();
        std::filesystem::resize_file(path, 400'000'000);
    });
    const TempFile rgb("kitty-steps-rgb", [](const std::string& path) {
        std::ofstream(path, std::ios::binary) << std::string(3000 * 3000 * 3, '\x40');
    });
    const struct {
        const char* name;
        std::string command;
        std::string reply;
        size_t leastSteps;
        size_t readAside;  // bytes read on a thread of their own
    } cases[] = {
        {"0.5 MB of zlib that inflates to 400 MB, shown", kittyApc("a=T,f=32,o=z,s=10000,v=10000,c=2,r=1,i=1", bomb),
         reply("Gi=1;OK"), 400'000'000 / KittyPayloadLoader::stepWork, 0},
        {"a 400 MB file, read aside", kittyApc("a=t,t=f,f=32,s=10000,v=10000,i=2", base64(large.path)),
         reply("Gi=2;OK"), 1, 400'000'000},
        {"a file of three-byte pixels, read aside and widened in steps",
         kittyApc("a=t,t=f,f=24,s=3000,v=3000,i=3", base64(rgb.path)), reply("Gi=3;OK"),
         3000 * 3000 * 4 / (KittyPayloadLoader::stepWork * KittyPayloadLoader::cheapWorkPerByte), 3000 * 3000 * 3},
        {"a query with a zlib stream", kittyApc("a=q,f=32,o=z,s=3000,v=3000,i=4", smaller), reply("Gi=4;OK"),
         36'000'000 / KittyPayloadLoader::stepWork, 0},
        {"a stream cut short", kittyApc("a=t,f=32,o=z,s=3000,v=3000,i=5", smaller.substr(0, smaller.size() / 2)),
         reply("Gi=5;EINVAL: bad payload"), 10'000'000 / KittyPayloadLoader::stepWork, 0},
    };
    for (const auto& c : cases) {
        SteppingTerminal t;
        t.feed(c.command + "after\x1b[c" + "more");
        EXPECT_TRUE(t->holdsInput()) << c.name;
        EXPECT_EQ(t.kitty().loadFigures().steps, 1u) << "one step in the feed: " << c.name;
        EXPECT_EQ(t.delegate.replies(), "") << c.name;
        EXPECT_EQ(screenText(t).find("after"), std::string::npos) << "the text after the command waits: " << c.name;

        // Steps come at once, or every 2 ms while a thread reads: the virtual clock runs them as
        // fast as the reading goes.
        while (t->holdsInput()) {
            t.scheduler.advance(0.002);
            if (t->holdsInput() && t.kitty().loading()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_FALSE(t->holdsInput()) << c.name;
        EXPECT_FALSE(t.kitty().loading()) << c.name;
        EXPECT_EQ(t.delegate.releases, 1) << c.name;
        EXPECT_GE(t.kitty().loadFigures().steps, c.leastSteps) << c.name;
        EXPECT_LE(t.kitty().loadFigures().largestStepWork, KittyPayloadLoader::stepWork) << c.name;
        EXPECT_EQ(t.kitty().loadFigures().bytesReadAside, c.readAside) << c.name;
        EXPECT_EQ(t.delegate.replies(), c.reply + deviceAttributes()) << "the load's reply first: " << c.name;
        EXPECT_NE(screenText(t).find("aftermore"), std::string::npos) << screenText(t) << ": " << c.name;
    }
}

// The same picture for a host that feeds as output comes, and for one that goes on feeding while
// the input is held: loaded at once, as the command comes or once the held output passes the limit.
TEST(KittyLoadStepsTest, HostsThatDoNotWaitGetTheLoadDoneAtOnce) {
    const std::string command = kittyApc("a=t,f=32,o=z,s=2000,v=2000,i=7", zlibZeros(2000));
    SteppingTerminal atOnce;
    atOnce.delegate.steps = false;
    atOnce.feed(command + "after");
    EXPECT_FALSE(atOnce->holdsInput());
    EXPECT_GT(atOnce.kitty().loadFigures().steps, 1u);
    EXPECT_EQ(atOnce.delegate.replies(), reply("Gi=7;OK"));
    EXPECT_EQ(atOnce.row(0), "after");

    SteppingTerminal feeding;
    feeding.feed(command);
    ASSERT_TRUE(feeding->holdsInput());
    const std::string flood(EscapeSequenceParser::heldInputLimit / 2, 'x');
    feeding.feed(flood);
    EXPECT_TRUE(feeding->holdsInput()) << "below the limit, output still waits";
    feeding.feed(flood + "y");
    EXPECT_FALSE(feeding->holdsInput()) << "past the limit, the load is finished at once";
    EXPECT_EQ(feeding.delegate.replies(), reply("Gi=7;OK"));
    EXPECT_EQ(feeding.scheduler.pending(), 0u) << "no step left behind";
    EXPECT_EQ(feeding.row(5).back(), 'y');
}

}  // namespace
