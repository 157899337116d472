#include "quiltdeck/sessions/ClaudeCapabilities.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Defaults.h"
#include "quiltdeck/shell/Log.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::set<std::string> allFlags(ClaudeCapabilities::knownFlags.begin(), ClaudeCapabilities::knownFlags.end());

void setModified(const std::string& path, time_t seconds, long nanoseconds = 0) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::string cacheKey() { return "claude.flags." + ClaudeCapabilities::binaryKey().value_or("none"); }

class ClaudeCapabilitiesTest : public ::testing::Test {
protected:
    ClaudeCapabilitiesTest() {
        ClaudeCapabilities::reset();
        logStart = logged().size();
    }
    ~ClaudeCapabilitiesTest() override { ClaudeCapabilities::reset(); }

    std::string logged() {
        Log::flush();
        return testing::readFile(Log::url()).substr(logStart);
    }
    // Probes; waits for `done` and for the log line that ends every probe.
    void probeAndWait(const std::function<void()>& onDone = [] {}) {
        bool done = false;
        ClaudeCapabilities::probe([&] { onDone(), done = true; });
        ASSERT_TRUE(loop.runUntil([&] { return done && logged().find("  claude ") != std::string::npos; }, 60s));
    }

    size_t logStart = 0;
    testing::FakeClaudeHome home;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
};

TEST_F(ClaudeCapabilitiesTest, KeyResolvesLinksSkipsBrokenOnesAndTruncatesSeconds) {
    if (fs::exists("/opt/homebrew/bin/claude") || fs::exists("/usr/local/bin/claude")) GTEST_SKIP();
    const std::string version = home.path() + "/versions/2.1/claude", npm = home.path() + "/.npm-global/bin/claude";
    home.installClaude(version);
    home.installClaude(npm);
    setModified(version, 1700000000, 999999999);
    setModified(npm, -3, 500000000);
    setModified(home.claudePath(), 1234);
    EXPECT_EQ(ClaudeCapabilities::binaryKey(), home.claudePath() + "@1234");
    fs::remove(home.claudePath());
    fs::create_symlink(version, home.claudePath());
    EXPECT_EQ(ClaudeCapabilities::binaryKey(), version + "@1700000000");
    fs::remove(version);
    EXPECT_EQ(ClaudeCapabilities::binaryKey(), npm + "@-2");
    fs::remove(npm);
    EXPECT_EQ(ClaudeCapabilities::binaryKey(), std::nullopt);
}

TEST_F(ClaudeCapabilitiesTest, CachedKeyAnswersBeforeAnyProcessThenRefreshes) {
    Defaults::standard().setStringArray(cacheKey(), {"--settings"});
    probeAndWait([&] {
        EXPECT_TRUE(home.calls().empty());
        EXPECT_EQ(ClaudeCapabilities::flags(), std::set<std::string>{"--settings"});
        EXPECT_TRUE(ClaudeCapabilities::installed());
    });
    EXPECT_EQ(ClaudeCapabilities::flags(), allFlags);
    EXPECT_EQ(Defaults::standard().stringArray(cacheKey())->size(), allFlags.size());
}

TEST_F(ClaudeCapabilitiesTest, NewModificationTimeProbesBeforeDone) {
    setModified(home.claudePath(), 1000);
    Defaults::standard().setStringArray(cacheKey(), {"--settings"});
    setModified(home.claudePath(), 2000);
    probeAndWait([&] {
        ASSERT_EQ(home.calls().size(), 1u);
        EXPECT_EQ(home.calls()[0].arguments, std::vector<std::string>{"--help"});
        EXPECT_EQ(ClaudeCapabilities::flags(), allFlags);
    });
}

TEST_F(ClaudeCapabilitiesTest, FlagsMissingFromTheHelpAreLeftOutAndLoggedSorted) {
    home.setVariable("FAKE_CLAUDE_HELP_DROP", "--continue");
    probeAndWait();
    EXPECT_TRUE(ClaudeCapabilities::snapshot().allows("--resume"));
    EXPECT_FALSE(ClaudeCapabilities::snapshot().allows("--continue"));
    EXPECT_NE(logged().find("  claude found, flags: --allowedTools --append-system-prompt --chrome "
                            "--disable-slash-commands --disallowedTools --model --name --no-session-persistence "
                            "--permission-mode --resume --settings --strict-mcp-config --tools -n\n"),
              std::string::npos);
    EXPECT_EQ(ClaudeCapabilities::flagsIn("use -n or --model"), (std::set<std::string>{"-n", "--model"}));
    // One flag's name inside another's is not that flag.
    EXPECT_EQ(ClaudeCapabilities::flagsIn("  --disallowedTools <tools...>"), std::set<std::string>{"--disallowedTools"});
}

TEST_F(ClaudeCapabilitiesTest, MissingCliIsLoggedAndAllowsNothing) {
    home.removeClaude();
    probeAndWait();
    EXPECT_NE(logged().find("  claude not found\n"), std::string::npos);
    EXPECT_TRUE(ClaudeCapabilities::probed());
    EXPECT_FALSE(ClaudeCapabilities::installed() || ClaudeCapabilities::snapshot().allows("--settings"));
}

TEST_F(ClaudeCapabilitiesTest, HangingHelpTimesOutAndLeavesEveryFlagAllowed) {
    home.setVariable("FAKE_CLAUDE_HELP_HANG", "1");
    ClaudeCapabilities::setProbeTimeout(300ms);
    probeAndWait();
    EXPECT_NE(logged().find("  claude probe timed out\n"), std::string::npos);
    EXPECT_FALSE(ClaudeCapabilities::probed());
    EXPECT_TRUE(ClaudeCapabilities::snapshot().allows("--settings"));
    EXPECT_TRUE(Defaults::standard().value(cacheKey()).is_null());
}

}  // namespace
}  // namespace quiltdeck
