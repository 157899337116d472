// The wall's automatic titles on the virtual clock: when a tick asks, whom it asks about, what
// the answer does; and the Suggest button's question.
#include <gtest/gtest.h>

#include "quiltdeck/panels/ScriptedSetupProbe.h"
#include "quiltdeck/panels/Setup.h"
#include "quiltdeck/sessions/ClaudeCLI.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/wall/TitleLoop.h"
#include "quiltdeck/wall/WallTestSupport.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using Done = std::function<void(std::optional<std::string>)>;
using platform::runtime::TimePoint;
using testing::FakeTile;

class GridTitles : public testing::WallTest {
protected:
    GridTitles() {
        Store::shared().setAiTitles(true);
        // One setup for the grid's life: the empty card keeps it.
        Setup::setShared(Setup::make(std::make_unique<testing::ScriptedProbe>(script)));
        setupAnswers(true);
        makeGrid();
        grid->runOneShot = [this](std::string prompt, ClaudeCLI::Done done) {
            prompts.push_back(std::move(prompt));
            failures.push_back(done);
            replies.push_back(std::move(done));
        };
    }
    ~GridTitles() override {
        grid.reset();
        loop.runUntil([] { return !Setup::shared().checking(); }, 10s);
        Setup::setShared(nullptr);
    }

    // The setup as its poll finds it: the CLI found, and signed in or not.
    void setupAnswers(bool signedIn) {
        // A probe in flight would answer the old way, and the new one would be dropped.
        ASSERT_TRUE(loop.runUntil([] { return !Setup::shared().checking(); }, 10s));
        {
            std::lock_guard lock(script->mutex);
            script->last = {{true, signedIn, std::nullopt, std::nullopt}, true};
        }
        Setup::shared().start();
        const Setup::Stage wanted = signedIn ? Setup::Stage::ready : Setup::Stage::needsLogin;
        ASSERT_TRUE(loop.runUntil([&] { return !Setup::shared().checking() && Setup::shared().stage() == wanted; }, 10s));
    }

    // An assistant tile with a prompt, dirty and never asked about.
    FakeTile& asking(const std::string& name, const std::string& prompt = "fix the invoices") {
        FakeTile& tile = open(name);
        tile.prompt = prompt;
        tile.titles->dirty = true;
        tile.titles->lastTitleAt = StatusMachine::Title::distantPast;
        return tile;
    }
    std::string language() { return std::string(Lang::current().promptLanguage()); }

    testing::FakeClaudeHome home;  // HOME for the CLI's first-run answers
    std::shared_ptr<testing::ScriptedProbe::Script> script = std::make_shared<testing::ScriptedProbe::Script>();
    std::vector<std::string> prompts;
    std::vector<Done> replies;
    // The same, for replies that say why they have no answer.
    std::vector<ClaudeCLI::Done> failures;
};

TEST_F(GridTitles, ATickThatMayNotAskChangesNothing) {
    struct Case {
        const char* name;
        std::function<void()> gate;
    };
    const Case cases[] = {
        {"titles off", [] { Store::shared().setAiTitles(false); }},
        {"signed out", [this] { setupAnswers(false); }},
        {"a batch still out",
         [this] {
             asking("first");
             grid->tickTitles();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store::shared().setAiTitles(true);
        setupAnswers(true);
        for (WallTile* s : grid->sessions()) grid->close(s->id());
        prompts.clear();
        replies.clear();
        c.gate();
        const size_t asked = prompts.size();
        FakeTile& tile = asking("second");
        tile.titles->lastTitleAt = loop.now() - 1h;
        const TimePoint stamped = tile.titles->lastTitleAt;
        grid->tickTitles();
        EXPECT_EQ(prompts.size(), asked);
        EXPECT_TRUE(tile.titles->dirty);
        EXPECT_EQ(tile.titles->lastTitleAt, stamped);
        EXPECT_EQ(tile.titles->text, "second");
        for (Done& done : replies) done(std::nullopt);
    }
}

TEST_F(GridTitles, TheLoopTicksEveryFiveSecondsOnTheMainLoop) {
    asking("shop");
    loop.advance(4999ms);
    EXPECT_TRUE(prompts.empty());
    loop.advance(1ms);
    ASSERT_EQ(prompts.size(), 1u);
    replies[0](std::nullopt);
    asking("rent");
    loop.advance(5s);
    EXPECT_EQ(prompts.size(), 2u);
    // Gone with the controller: later ticks find nothing to do.
    replies[1](std::nullopt);
    grid.reset();
    loop.advance(30s);
    EXPECT_EQ(prompts.size(), 2u);
}

TEST_F(GridTitles, TakesATileMoreThanThirtySecondsAfterItWasLastAsked) {
    FakeTile& tile = asking("shop");
    tile.titles->lastTitleAt = loop.now() - 30s;
    grid->tickTitles();
    EXPECT_TRUE(prompts.empty());
    loop.skipTime(1ms);
    grid->tickTitles();
    ASSERT_EQ(prompts.size(), 1u);
    // Stamped and cleaned before the call.
    EXPECT_FALSE(tile.titles->dirty);
    EXPECT_EQ(tile.titles->lastTitleAt, loop.now());
    EXPECT_TRUE(grid->titleBusy());
}

TEST_F(GridTitles, TilesThatAreNeverTaken) {
    struct Case {
        const char* name;
        std::function<void(FakeTile&)> make;
    };
    const Case cases[] = {
        {"exited", [](FakeTile& t) { t.setStatus(SessionStatus::exited); }},
        {"pinned", [](FakeTile& t) { t.titles->pinned = true; }},
        {"clean", [](FakeTile& t) { t.titles->dirty = false; }},
        {"no prompt, no resume id", [](FakeTile& t) { t.prompt.clear(); }},
        {"named by the assistant", [](FakeTile& t) { t.titles->lastTitleAt = StatusMachine::Title::distantFuture; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTile& tile = asking(c.name);
        c.make(tile);
    }
    TileRequest shell = request("shell");
    shell.isShell = true;
    grid->open(shell);
    made.back()->prompt = "ls";
    grid->tickTitles();
    EXPECT_TRUE(prompts.empty());
    EXPECT_FALSE(grid->titleBusy());
}

TEST_F(GridTitles, AResumedTileWithoutAPromptSendsTheEndOfItsScreen) {
    TileRequest resumed = request("resumed");
    resumed.resume = "5b1e0c6e-0000-4000-8000-000000000001";
    grid->open(resumed);
    FakeTile& tile = *made.back();
    tile.titles->dirty = true;
    // 1800 characters of two code points each after a head that must not be sent.
    std::string tail;
    for (int i = 0; i < 1800; ++i) tail += "e\u0301";
    tile.screen = std::string(300, 'H') + tail;
    grid->tickTitles();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], TitleLoop::batchPrompt({tail}, language()));
    EXPECT_EQ(prompts[0].find("HH"), std::string::npos);
}

TEST_F(GridTitles, OneRunAsksAboutEveryCandidateInWallOrder) {
    asking("shop", "mails of the shop");
    open("plain");
    asking("rent", "the rent table");
    grid->tickTitles();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], TitleLoop::batchPrompt({"mails of the shop", "the rent table"}, language()));
}

TEST_F(GridTitles, TheAnswerNamesItsTiles) {
    struct Case {
        const char* name;
        std::vector<std::string> prompts;
        std::optional<std::string> reply;
        std::vector<std::string> titles;
    };
    const std::string name89(89, 'n');
    const Case cases[] = {
        {"one", {"a"}, "1: Shop E-mails\n", {"Shop E-mails"}},
        {"one, numbered 2", {"a"}, "2: X", {"a0"}},
        {"one, first line wins", {"a"}, "1: First\n1: Second", {"First"}},
        // Taken, then cut as every automatic title is.
        {"one, 89 characters", {"a"}, "1: " + name89, {std::string(67, 'n') + "\u2026"}},
        {"two", {"a", "b"}, "2: Northwind Rent\n1: Shop E-mails", {"Shop E-mails", "Northwind Rent"}},
        {"two, one named", {"a", "b"}, "0: X\nx: Y\n2: 'Studio CV.'\n1:", {"a0", "Studio CV"}},
        {"two, no answer", {"a", "b"}, std::nullopt, {"a0", "b1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (WallTile* s : grid->sessions()) grid->close(s->id());
        replies.clear();
        std::vector<FakeTile*> tiles;
        for (size_t i = 0; i < c.prompts.size(); ++i) tiles.push_back(&asking(c.prompts[i] + std::to_string(i), c.prompts[i]));
        grid->tickTitles();
        ASSERT_EQ(replies.size(), 1u);
        replies[0](c.reply);
        EXPECT_FALSE(grid->titleBusy());
        for (size_t i = 0; i < tiles.size(); ++i) EXPECT_EQ(tiles[i]->titles->text, c.titles[i]);
    }
}

TEST_F(GridTitles, AFailedRunIsNotRetriedUntilTheTileIsDirtyAgain) {
    FakeTile& tile = asking("shop");
    grid->tickTitles();
    replies[0](std::nullopt);
    EXPECT_FALSE(grid->titleBusy());
    loop.advance(60s);
    EXPECT_EQ(prompts.size(), 1u);
    tile.titles->dirty = true;
    tile.prompt = "and the refunds";
    loop.advance(5s);
    EXPECT_EQ(prompts.size(), 2u);
}

// Every end of a turn makes a tile dirty again: after an answer that did not name it, only a new
// prompt (or a title reset by the session) brings another run, so the runs stay bounded.
TEST_F(GridTitles, AFailedAnswerIsNotAskedForAgainUntilThePromptChanges) {
    struct Case {
        const char* name;
        std::optional<std::string> reply;
        std::function<void(FakeTile&)> then;
        bool askedAgain;
    };
    const Case cases[] = {
        {"no answer, dirty again", std::nullopt, [](FakeTile&) {}, false},
        {"no usable line, dirty again", "I cannot name that.", [](FakeTile&) {}, false},
        {"the other tile named, dirty again", "2: Northwind Rent", [](FakeTile&) {}, false},
        {"no answer, a new prompt", std::nullopt, [](FakeTile& t) { t.prompt = "now the refunds"; }, true},
        {"no answer, unpinned",
         std::nullopt, [](FakeTile& t) { t.titles->lastTitleAt = StatusMachine::Title::distantPast; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (WallTile* s : grid->sessions()) grid->close(s->id());
        prompts.clear();
        replies.clear();
        FakeTile& shop = asking("shop", "answer the mails");
        asking("rent", "sum up the rent");
        grid->tickTitles();
        ASSERT_EQ(replies.size(), 1u);
        replies[0](c.reply);
        for (int turn = 0; turn < 20; ++turn) {
            shop.titles->dirty = true;
            loop.advance(35s);
        }
        EXPECT_EQ(prompts.size(), 1u);
        c.then(shop);
        shop.titles->dirty = true;
        loop.advance(35s);
        EXPECT_EQ(prompts.size(), c.askedAgain ? 2u : 1u);
        for (size_t i = 1; i < replies.size(); ++i) replies[i](std::nullopt);
    }
}

TEST_F(GridTitles, AnAnswerAfterTheWallIsGoneStillNamesItsTiles) {
    FakeTile& tile = asking("shop");
    auto titles = tile.titles;
    grid->tickTitles();
    ASSERT_EQ(replies.size(), 1u);
    grid.reset();
    replies[0]("1: Shop E-mails");
    EXPECT_EQ(titles->text, "Shop E-mails");
    EXPECT_TRUE(titles->pinned);
}

// Without a name the editor is told why, in the user's words.
TEST_F(GridTitles, SuggestAsksForOneNameAndChangesNothing) {
    using Failure = ClaudeCLI::Failure;
    struct Case {
        const char* name;
        ClaudeCLI::Reply reply;
        std::optional<std::string> suggested;
        const char* why = nullptr;  // the key of what the editor's note says
        bool signedIn = true;
    };
    const Case cases[] = {
        {"after prose", ClaudeCLI::Reply("Here is a name.\n1: Studio CV\n"), "Studio CV"},
        {"blank lines", ClaudeCLI::Reply("\n  \n\t\n"), std::nullopt, "suggest_empty"},
        {"no colon", ClaudeCLI::Reply("Studio CV"), "Studio CV"},
        {"no answer", ClaudeCLI::Reply(), std::nullopt, "suggest_failed"},
        {"no CLI", ClaudeCLI::Reply::failing(Failure::missing), std::nullopt, "suggest_missing"},
        {"timed out", ClaudeCLI::Reply::failing(Failure::timedOut), std::nullopt, "suggest_timed_out"},
        {"signed out", ClaudeCLI::Reply::failing(Failure::failed), std::nullopt, "suggest_signed_out", false},
        {"signed out, no CLI", ClaudeCLI::Reply::failing(Failure::missing), std::nullopt, "suggest_missing", false},
    };
    FakeTile& tile = asking("cv", "my curriculum");
    const TimePoint stamped = tile.titles->lastTitleAt;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setupAnswers(c.signedIn);
        prompts.clear();
        failures.clear();
        std::optional<TileView::Suggestion> got;
        card("cv").onSuggestName([&](TileView::Suggestion suggestion) { got = std::move(suggestion); });
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0], TitleLoop::suggestionPrompt("my curriculum", language()));
        EXPECT_EQ(prompts[0].substr(prompts[0].size() - 2), "m\n");
        failures[0](c.reply);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->name, c.suggested);
        EXPECT_EQ(got->why, c.why ? t(c.why) : "");
        EXPECT_TRUE(tile.titles->dirty);
        EXPECT_EQ(tile.titles->lastTitleAt, stamped);
        EXPECT_EQ(tile.titles->text, "cv");
        EXPECT_FALSE(grid->titleBusy());
    }
    // A tile that is gone gets no name, at once.
    const std::string id = tile.id();
    auto handler = card("cv").onSuggestName;
    grid->close(id);
    std::optional<TileView::Suggestion> got;
    handler([&](TileView::Suggestion suggestion) { got = std::move(suggestion); });
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->name, std::nullopt);
    EXPECT_EQ(got->why, "");
}

// The real one-shot run, of the fake CLI.
class GridTitlesCli : public GridTitles {
protected:
    GridTitlesCli() {
        ClaudeCapabilities::reset();
        grid->runOneShot = nullptr;
        home.setVariable("FAKE_CLAUDE_ANSWER", "1: Shop E-mails\n2: Northwind Rent");
    }
    ~GridTitlesCli() override { ClaudeCapabilities::reset(); }
};

TEST_F(GridTitlesCli, TwoTilesAreNamedAtTheNextTick) {
    FakeTile& shop = asking("shop", "answer the shop's customer mails");
    FakeTile& rent = asking("rent", "sum up the rent payments");
    loop.advance(5s);
    ASSERT_TRUE(grid->titleBusy());
    ASSERT_TRUE(loop.runUntil([&] { return !grid->titleBusy(); }, 60s));
    EXPECT_EQ(shop.titles->text, "Shop E-mails");
    EXPECT_EQ(rent.titles->text, "Northwind Rent");
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input,
              TitleLoop::batchPrompt({"answer the shop's customer mails", "sum up the rent payments"}, language()));
}

TEST_F(GridTitlesCli, SuggestGivesTheLastLine) {
    asking("shop", "answer the shop's customer mails");
    std::optional<TileView::Suggestion> got;
    card("shop").onSuggestName([&](TileView::Suggestion suggestion) { got = std::move(suggestion); });
    ASSERT_TRUE(loop.runUntil([&] { return got.has_value(); }, 60s));
    EXPECT_EQ(got->name, "Northwind Rent");
}

TEST_F(GridTitlesCli, ACliThatLeavesWithoutReadingItsPromptIsAFailedRun) {
    home.setVariable("FAKE_CLAUDE_UNREAD", "0.3");
    // 60 tiles of 1800 characters: a prompt of more than 100 KiB, longer than a pipe holds.
    std::vector<FakeTile*> tiles;
    for (int i = 0; i < 60; ++i) {
        std::string name = "t";
        name += std::to_string(i);
        tiles.push_back(&asking(name, std::string(1800, static_cast<char>('a' + i % 26))));
    }
    grid->tickTitles();
    ASSERT_TRUE(grid->titleBusy());
    ASSERT_TRUE(loop.runUntil([&] { return !grid->titleBusy(); }, 60s));
    ASSERT_EQ(home.calls().size(), 1u);
    EXPECT_GT(TitleLoop::batchPrompt(std::vector<std::string>(60, std::string(1800, 'a')), language()).size(),
              100u * 1024);
    for (FakeTile* tile : tiles) EXPECT_FALSE(tile->titles->pinned);
    // Still here, and the next dirty tile with a new prompt is asked about again.
    tiles[0]->titles->dirty = true;
    tiles[0]->prompt = "a new question";
    loop.advance(35s);
    EXPECT_TRUE(grid->titleBusy());
    ASSERT_TRUE(loop.runUntil([&] { return !grid->titleBusy(); }, 60s));
}

}  // namespace
}  // namespace quiltdeck
