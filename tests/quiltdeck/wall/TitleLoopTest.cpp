#include "quiltdeck/wall/TitleLoop.h"

#include <gtest/gtest.h>

#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::runtime::TimePoint;

// Written out here rather than taken from the code, so a changed byte shows.
const std::string rules =
    ": 2 to 4 words, like a label on a folder, naming the product or company and the topic, for example \"Shop "
    "E-mails\", \"Northwind Rent\", \"Studio CV\", \"Quiltdeck App\". Keep proper names as they are. Title Case. "
    "Answer ONLY with lines of the form \"<number>: <name>\", one per line, same order. No quotes, no period, no "
    "explanations, no emoji, no em dashes or en dashes.\n";

TEST(TitleLoop, TakesOnlyDirtyUnpinnedAssistantTilesWithSomethingToNameAfterTheGap) {
    const TimePoint now = TimePoint(1000s);
    TitleLoop::Tile ready;
    ready.titleDirty = true;
    ready.lastPrompt = "fix the invoices";
    struct Case {
        const char* name;
        std::function<void(TitleLoop::Tile&)> change;
        bool taken;
    };
    const Case cases[] = {
        {"ready", [](auto&) {}, true},
        {"shell", [](auto& t) { t.isShell = true; }, false},
        {"exited", [](auto& t) { t.status = SessionStatus::exited; }, false},
        {"busy", [](auto& t) { t.status = SessionStatus::busy; }, true},
        {"waiting", [](auto& t) { t.status = SessionStatus::waiting; }, true},
        {"clean", [](auto& t) { t.titleDirty = false; }, false},
        {"pinned", [](auto& t) { t.pinnedTitle = true; }, false},
        {"no prompt, no resume id", [](auto& t) { t.lastPrompt = ""; }, false},
        {"resumed without a prompt", [](auto& t) { t.lastPrompt = "", t.hasResumeId = true; }, true},
        {"asked exactly 30 s ago", [&](auto& t) { t.lastTitleAt = now - 30s; }, false},
        {"asked 30.001 s ago", [&](auto& t) { t.lastTitleAt = now - 30001ms; }, true},
        {"asked 29 s ago", [&](auto& t) { t.lastTitleAt = now - 29s; }, false},
        {"never asked", [](auto& t) { t.lastTitleAt = TimePoint::min(); }, true},
        {"named by the assistant", [](auto& t) { t.lastTitleAt = TimePoint::max(); }, false},
        {"failed on this prompt",
         [&](auto& t) { t.failedPrompt = "fix the invoices", t.lastTitleAt = now - 1h; }, false},
        {"failed on an earlier prompt", [&](auto& t) { t.failedPrompt = "fix", t.lastTitleAt = now - 1h; }, true},
        {"failed, then its title reset", [](auto& t) { t.failedPrompt = "fix the invoices"; }, true},
        {"resumed, failed without a prompt",
         [&](auto& t) { t.lastPrompt = "", t.hasResumeId = true, t.failedPrompt = "", t.lastTitleAt = now - 1h; },
         false},
    };
    for (const Case& c : cases) {
        TitleLoop::Tile tile = ready;
        c.change(tile);
        EXPECT_EQ(TitleLoop::isCandidate(tile, now), c.taken) << c.name;
    }
    // A clock that starts at its epoch: the distant past is still long ago.
    ready.lastTitleAt = TimePoint::min();
    EXPECT_TRUE(TitleLoop::isCandidate(ready, TimePoint{}));
}

TEST(TitleLoop, DescribesATileByItsPromptElseByTheEndOfItsScreen) {
    int screenReads = 0;
    const std::string screen = "HEAD\n" + std::string(1800, 'x');
    auto screenText = [&] {
        ++screenReads;
        return screen;
    };
    EXPECT_EQ(TitleLoop::candidateText("  fix\tthe\n\ninvoices ", screenText), "fix the invoices");
    EXPECT_EQ(screenReads, 0);
    EXPECT_EQ(TitleLoop::candidateText("", screenText), std::string(1800, 'x'));
    EXPECT_EQ(screenReads, 1);
    // A paste stands for its text; one without any leaves it to the screen.
    EXPECT_EQ(TitleLoop::candidateText("<pasted_content id=\"f1ad\">\nthe\ninvoices\n</pasted_content>", screenText),
              "the invoices");
    EXPECT_EQ(TitleLoop::candidateText("<pasted_content id=\"f1ad\"/>", screenText), std::string(1800, 'x'));
    EXPECT_EQ(screenReads, 2);
    // Counted in user-perceived characters: a family emoji is one.
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    std::string wide = "cut";
    for (int i = 0; i < 1800; ++i) wide += family;
    std::string allFamilies;
    for (int i = 0; i < 1800; ++i) allFamilies += family;
    EXPECT_EQ(TitleLoop::candidateText("", [&] { return wide; }), allFamilies);

    // 2000 characters: 1799 kept, the cut punctuation trimmed, then the ellipsis.
    const std::string prompt = std::string(1797, 'a') + ", " + std::string(201, 'b');
    EXPECT_EQ(TitleLoop::candidateText(prompt, screenText), std::string(1797, 'a') + "\u2026");
    EXPECT_EQ(characterCount(TitleLoop::candidateText(std::string(2000, 'z'), screenText)), 1800u);
}

TEST(TitleLoop, PromptsByteForByte) {
    const std::string one = "Below is one Claude Code terminal session. For each one write a SHORT NAME in English" + rules +
                            "### 1\nfix the invoices\n\n";
    EXPECT_EQ(TitleLoop::batchPrompt({"fix the invoices"}, Lang(Lang::en).promptLanguage()), one);

    const std::string two =
        "Below are several Claude Code terminal sessions, each marked with a line ### <number>. For each one write a "
        "SHORT NAME in German" +
        rules + "### 1\nfix the invoices\n\n### 2\nrent table\n\n";
    EXPECT_EQ(TitleLoop::batchPrompt({"fix the invoices", "rent table"}, Lang(Lang::de).promptLanguage()), two);

    const std::string suggestion = "Below is one Claude Code terminal session. For each one write a SHORT NAME in "
                                   "Chinese" +
                                   rules + "### 1\nmy CV\n";
    EXPECT_EQ(TitleLoop::suggestionPrompt("my CV", Lang(Lang::zh).promptLanguage()), suggestion);
}

TEST(TitleLoop, BatchRepliesNameTheirCandidates) {
    using Names = std::vector<TitleLoop::Name>;
    const std::string name89(89, 'n'), name90(90, 'n');
    std::string accented89;
    for (int i = 0; i < 89; ++i) accented89 += "e\u0301";
    struct Case {
        std::string reply;
        size_t candidates;
        Names expected;
    };
    const Case cases[] = {
        {"1: Shop E-mails", 1, {{0, "Shop E-mails"}}},
        {"1: Shop E-mails\n", 2, {{0, "Shop E-mails"}}},
        {"2: X", 1, {}},
        {"2: X", 2, {{1, "X"}}},
        {"0: X", 2, {}},
        {"-1: X", 2, {}},
        {"x: Y", 2, {}},
        {"1 2: Y", 2, {}},
        {"no colon here", 1, {}},
        {"1:", 1, {}},
        {"1:   ", 1, {}},
        {"1: '.'", 1, {}},
        {":1: Shop", 1, {{0, "Shop"}}},
        {"::1:: Shop", 1, {{0, ": Shop"}}},
        {" 1 : 'Studio CV.'", 1, {{0, "Studio CV"}}},
        {"\t1\u3000: `\"Studio\"`", 1, {{0, "Studio"}}},
        {"1: A\u2014B\u2013C", 1, {{0, "A-B-C"}}},
        // What would hide or reorder the name never reaches the tile.
        {"1: invoice_\u202Egpj.exe\u200B", 1, {{0, "invoice_gpj.exe"}}},
        {"1: \u2066\u200F", 1, {}},
        {"1: a: b", 1, {{0, "a: b"}}},
        {"1: " + name89, 1, {{0, name89}}},
        {"1: " + name90, 1, {}},
        {"1: " + accented89, 1, {{0, accented89}}},
        {"1: " + accented89 + "e", 1, {}},
        {"1: First\n1: Second", 1, {{0, "First"}, {0, "Second"}}},
        {"+1: A", 1, {{0, "A"}}},
        {"99999999999999999999: A", 1, {}},
        {"-99999999999999999999: A", 1, {}},
        {"+: A", 1, {}},
        {"2: Northwind Rent\n\n\nbla\n1: Shop E-mails\n3: Too far", 2, {{1, "Northwind Rent"}, {0, "Shop E-mails"}}},
        {"", 2, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(TitleLoop::parseBatchReply(c.reply, c.candidates), c.expected) << c.reply;
}

TEST(TitleLoop, SuggestionsTakeTheLastLineThatIsNotBlank) {
    struct Case {
        std::string reply;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"Here is a name for it.\nIt works on a CV.\n1: Studio CV\n", "Studio CV"},
        {"1: Studio CV\n  \t \n\n", "Studio CV"},
        {"\n\n  \n\t\n", std::nullopt},
        {"", std::nullopt},
        {"Studio CV", "Studio CV"},
        {"'Studio CV.'", "Studio CV"},
        {"7: A\u2014B", "A\u2014B"},
        {"1: Lab: Notes", "Lab: Notes"},
        {":Shop", "Shop"},
        {"1:", "1"},
        {"1: \"\"", std::nullopt},
        {"1: Shop\u202E Notes", "Shop Notes"},
        {"1: \u202E", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(TitleLoop::parseSuggestion(c.reply), c.expected) << c.reply;
}

}  // namespace
}  // namespace quiltdeck
