#include "platform/runtime/SystemLog.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"

using namespace platform::runtime;
using namespace std::chrono_literals;

// A kind of refusal is said a few times, then summed up at most once a minute, at the end of the
// minute whether more come or not; each kind counts on its own.
TEST(SystemLog, RefusalsAreSaidAFewTimesThenSummedUpOnceAMinute) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    ScopedLogCapture capture;
    auto refuse = [](const char* kind, int n) {
        SystemLog::writeRefusal(LogLevel::error, "images", kind, std::string(kind) + " " + std::to_string(n));
    };
    for (int i = 0; i < 10'000; ++i) refuse("undecodable", i);
    for (int i = 0; i < 200; ++i) refuse("oversized", i);
    std::vector<std::string> said = capture.messages("images");
    ASSERT_EQ(said.size(), 10u);
    EXPECT_EQ(said[4], "undecodable 4");
    EXPECT_EQ(said[5], "oversized 0");
    loop.advance(1min);
    said = capture.messages("images");
    ASSERT_EQ(said.size(), 12u);
    EXPECT_EQ(said[10], "and 9995 more: undecodable");
    EXPECT_EQ(said[11], "and 195 more: oversized");
    // Two more minutes of them, one every 10 ms: a line a minute each.
    for (int i = 0; i < 12'000; ++i) {
        refuse("undecodable", i);
        loop.advance(10ms);
    }
    said = capture.messages("images");
    EXPECT_LE(said.size(), 15u);
    EXPECT_EQ(said.back().rfind("and ", 0), 0u);
    // Quiet for a minute: nothing more to say; then a new one waits for the minute's end.
    loop.advance(2min);
    const size_t quiet = capture.messages("images").size();
    refuse("undecodable", 1);
    EXPECT_EQ(capture.messages("images").size(), quiet + 1);
    EXPECT_EQ(capture.messages("images").back(), "and 1 more: undecodable");
}
