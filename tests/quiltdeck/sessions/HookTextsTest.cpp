#include "quiltdeck/sessions/HookTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "quiltdeck/sessions/ProcessCapture.h"
#include "support/FakeClaudeHome.h"
#include "support/TestHookListener.h"

extern char** environ;

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr const char* tileId = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";

TEST(HookTextsTest, SettingsHoldSixEventsWithMatchersOnlyOnToolEvents) {
    const json settings = json::parse(HookTexts::hookSettings(tileId, 4711));
    ASSERT_EQ(settings.size(), 1u);
    const json& hooks = settings["hooks"];
    EXPECT_EQ(hooks.size(), 6u);
    for (const char* event : {"UserPromptSubmit", "Notification", "Stop", "SessionStart", "PreToolUse", "PostToolUse"}) {
        SCOPED_TRACE(event);
        const bool matched = std::string(event).ends_with("ToolUse");
        ASSERT_TRUE(hooks.contains(event));
        ASSERT_EQ(hooks[event].size(), 1u);
        const json& entry = hooks[event][0];
        EXPECT_EQ(entry.size(), matched ? 2u : 1u);
        EXPECT_EQ(entry.contains("matcher"), matched);
        EXPECT_EQ(entry.value("matcher", "*"), "*");
        EXPECT_EQ(entry["hooks"], json::array({{{"type", "command"},
                                                {"command", HookTexts::hookCommand(event, tileId, 4711)}}}));
    }
    EXPECT_EQ(HookTexts::hookCommand("Stop", "abc-1", 4711),
              "f=$(mktemp); cat >\"$f\"; (curl -s -m 2 -X POST -H 'content-type: application/json' --data-binary "
              "@\"$f\" http://127.0.0.1:4711/hook/abc-1/Stop >/dev/null 2>&1; rm -f \"$f\") </dev/null >/dev/null "
              "2>&1 & exit 0");
}

TEST(HookTextsTest, IdsOutsideTheUuidAlphabetGetNoTexts) {
    for (const std::string& id : std::vector<std::string>{"", "a b", "a'b", "x;rm -rf ~", "$(id)", "\xc3\xa9", std::string(65, 'a')}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(HookTexts::hookSettings(id, 1), "{}");
        EXPECT_EQ(HookTexts::tilePrompt(id, 1), "");
    }
    EXPECT_NE(HookTexts::hookSettings(std::string(64, 'a'), 1), "{}");
}

TEST(HookTextsTest, PromptNamesTheThreePathsAndHasTwoLineFeeds) {
    const std::string prompt = HookTexts::tilePrompt(tileId, 51234);
    EXPECT_TRUE(prompt.starts_with("QUILTDECK. This session runs inside a tile"));
    for (const char* route : {"/rename/", "/metrics/", "/feed/"}) {
        EXPECT_NE(prompt.find(std::string("http://127.0.0.1:51234") + route + tileId), std::string::npos) << route;
    }
    EXPECT_EQ(std::count(prompt.begin(), prompt.end(), '\n'), 2);
    EXPECT_NE(prompt.find(std::string("/rename/") + tileId + "\nLIVE NUMBERS."), std::string::npos);
    EXPECT_NE(prompt.find("what is now shown.\nHEADLINES."), std::string::npos);
    EXPECT_TRUE(prompt.ends_with("{\"clear\":true} removes the feed."));
    EXPECT_NE(HookTexts::browserBinding("dev-1", "Work").find("deviceId dev-1 (Work). Before"), std::string::npos);
}

// The fake runs every hook of the settings like the real CLI: each posts its
// event's exact body, and none holds the CLI up while the server is slow.
TEST(HookTextsTest, TheFakePostsEveryEventToTheListenerWithoutWaiting) {
    testing::FakeClaudeHome home;
    testing::TestHookListener listener;
    listener.hold();
    platform::runtime::ChildProcess::Options process;
    process.arguments = {home.claudePath(), "-p", "--settings", HookTexts::hookSettings(tileId, listener.port())};
    process.environment = std::vector<std::string>(environ, environ + std::char_traits<char*>::length(environ));
    process.environment->push_back("FAKE_CLAUDE_NOTIFY=idle_prompt");
    const auto result = ProcessCapture::run(process, 60s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 0);
    EXPECT_EQ(listener.abandoned(), 0u);
    listener.release();
    ASSERT_TRUE(listener.waitForRequests(6));

    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].hooks.size(), 6u);
    auto requests = listener.requests();
    for (const auto& hook : calls[0].hooks) {
        SCOPED_TRACE(hook.event);
        EXPECT_EQ(hook.exitCode, 0);
        const std::string path = std::string("/hook/") + tileId + "/" + hook.event;
        auto request = std::find_if(requests.begin(), requests.end(), [&](const auto& r) { return r.path == path; });
        ASSERT_NE(request, requests.end());
        EXPECT_EQ(request->method, "POST");
        EXPECT_EQ(request->body, hook.input);
    }
}

}  // namespace
}  // namespace quiltdeck
