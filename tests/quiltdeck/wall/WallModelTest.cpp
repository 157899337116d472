#include "quiltdeck/wall/WallModel.h"

#include <gtest/gtest.h>

namespace quiltdeck {
namespace {

using Tile = WallModel::Tile;
using Strings = std::vector<std::string>;

Tile T(std::string id, std::string wall = "", SessionStatus status = SessionStatus::idle, bool finished = false) {
    return Tile{std::move(id), std::move(wall), status, finished};
}

WallModel modelOf(const std::vector<Tile>& tiles) {
    WallModel model;
    for (const Tile& tile : tiles) model.insert(tile);
    return model;
}

Strings ids(const WallModel& model) {
    Strings out;
    for (const Tile& tile : model.tiles()) out.push_back(tile.id);
    return out;
}

TEST(WallModel, InsertAtAPositionOrAppend) {
    struct Case {
        const char* name;
        std::optional<long> at;
        Strings order;
    };
    const Case cases[] = {{"NoPosition", std::nullopt, {"a", "b", "c", "n"}},
                          {"First", 0, {"n", "a", "b", "c"}},
                          {"Middle", 2, {"a", "b", "n", "c"}},
                          {"AtTheEnd", 3, {"a", "b", "c", "n"}},
                          {"PastTheEnd", 9, {"a", "b", "c", "n"}},
                          {"Negative", -1, {"a", "b", "c", "n"}}};
    for (const Case& c : cases) {
        WallModel model = modelOf({T("a"), T("b"), T("c")});
        model.insert(T("n"), c.at);
        EXPECT_EQ(ids(model), c.order) << c.name;
    }
}

TEST(WallModel, ReorderWithinAWall) {
    struct Case {
        const char* name;
        std::vector<Tile> tiles;
        std::string dragged;
        size_t slot;
        Strings order;
        bool moved = true;
    };
    const std::vector<Tile> four = {T("1"), T("2"), T("3"), T("4")};
    // Tiles of wall "x" lie between the Main ones.
    const std::vector<Tile> mixed = {T("1"), T("x1", "x"), T("2"), T("x2", "x"), T("3"), T("4")};
    const Case cases[] = {
        {"FirstOverTheThird", four, "1", 2, {"2", "3", "1", "4"}},
        {"LastOverTheFirst", four, "4", 0, {"4", "1", "2", "3"}},
        {"SecondOverTheLast", four, "2", 3, {"1", "3", "4", "2"}},
        {"SameSlot", four, "3", 2, {"1", "2", "3", "4"}, false},
        {"SlotPastTheWall", four, "1", 4, {"1", "2", "3", "4"}, false},
        {"UnknownTile", four, "9", 0, {"1", "2", "3", "4"}, false},
        {"OtherWallsKeepTheirOrder", mixed, "1", 2, {"x1", "2", "x2", "3", "1", "4"}},
        {"BackwardsAmongOtherWalls", mixed, "4", 1, {"1", "x1", "4", "2", "x2", "3"}},
    };
    for (const Case& c : cases) {
        WallModel model = modelOf(c.tiles);
        EXPECT_EQ(model.moveToSlot(c.dragged, "", c.slot), c.moved) << c.name;
        EXPECT_EQ(ids(model), c.order) << c.name;
        EXPECT_EQ(model.idsOnWall("x"), modelOf(c.tiles).idsOnWall("x")) << c.name;
    }
}

TEST(WallModel, SlotsAndPositions) {
    const WallModel model = modelOf({T("1"), T("x1", "x"), T("2"), T("x2", "x")});
    EXPECT_EQ(model.slotOf("2"), 1u);
    EXPECT_EQ(model.slotOf("x2"), 1u);
    EXPECT_EQ(model.slotOf("nope"), std::nullopt);
    EXPECT_EQ(model.atSlot("x", 1), "x2");
    EXPECT_EQ(model.atSlot("", 2), std::nullopt);
    EXPECT_EQ(model.atSlot("", -1), std::nullopt);
    EXPECT_EQ(model.atSlot("empty", 0), std::nullopt);
    EXPECT_EQ(model.countOnWall("x"), 2u);
}

TEST(WallModel, CyclingWalls) {
    struct Case {
        const char* name;
        std::string current;
        Strings walls;
        int delta;
        std::optional<std::string> next;
    };
    const Case cases[] = {
        {"OnlyMain", "", {}, 1, std::nullopt},
        {"Forwards", "", Strings{"a", "b"}, 1, "a"},
        {"BackwardsFromMainToTheLast", "", Strings{"a", "b"}, -1, "b"},
        {"ForwardsFromTheLastToMain", "b", Strings{"a", "b"}, 1, ""},
        {"LargeDelta", "a", Strings{"a", "b"}, 7, "b"},
        {"LargeNegativeDelta", "a", Strings{"a", "b"}, -8, "b"},
        {"UnknownCurrent", "gone", Strings{"a"}, 1, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(WallModel::nextWall(c.current, c.walls, c.delta), c.next) << c.name;
}

TEST(WallModel, RenamingAndRemovingWalls) {
    struct Case {
        const char* name;
        std::string old, renamed;
        std::optional<Strings> walls;
    };
    const Strings walls{"a", "b"};
    const Case cases[] = {{"Renamed", "a", "c", Strings{"c", "b"}},
                          {"OwnName", "a", "a", std::nullopt},
                          {"AnotherWallsName", "a", "b", std::nullopt},
                          {"Empty", "a", "", std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(WallModel::renamedWalls(walls, c.old, c.renamed), c.walls) << c.name;
    EXPECT_EQ(WallModel::withoutWall(walls, "a"), Strings{"b"});
    EXPECT_EQ(WallModel::withWall(walls, "c"), (Strings{"a", "b", "c"}));
    EXPECT_EQ(WallModel::withWall(walls, "a"), walls);
    EXPECT_EQ(WallModel::withWall(walls, ""), walls);
    EXPECT_TRUE(WallModel::wallExists("", {}));
    EXPECT_FALSE(WallModel::wallExists("c", walls));

    WallModel model = modelOf({T("1", "a"), T("2"), T("3", "a")});
    model.reassignWall("a", "");
    EXPECT_EQ(model.idsOnWall(""), (Strings{"1", "2", "3"}));
}

TEST(WallModel, ActiveTilePicks) {
    const WallModel model = modelOf({T("1"), T("x1", "x"), T("2")});
    EXPECT_EQ(model.activeFor("", std::string("2")), "2");
    EXPECT_EQ(model.activeFor("", std::string("x1")), "1");
    EXPECT_EQ(model.activeFor("x", std::nullopt), "x1");
    EXPECT_EQ(model.activeFor("empty", std::string("1")), std::nullopt);
    EXPECT_EQ(model.activeFor("", std::string("gone")), "1");
}

TEST(WallModel, AttentionPicks) {
    using S = SessionStatus;
    struct Case {
        const char* name;
        std::vector<Tile> tiles;
        std::string current;
        std::optional<std::string> zoomed;
        std::optional<std::string> pick;
    };
    const Case cases[] = {
        {"Nothing", {T("1", "", S::busy)}, "", std::nullopt, std::nullopt},
        {"WaitingHereWinsOverEarlierElsewhere", {T("x", "w", S::waiting), T("1", "", S::waiting)}, "", std::nullopt, "1"},
        {"WaitingElsewhere", {T("1", "", S::busy), T("x", "w", S::waiting)}, "", std::nullopt, "x"},
        {"WaitingWinsOverFinished", {T("1", "", S::idle, true), T("x", "w", S::waiting)}, "", std::nullopt, "x"},
        {"FinishedHere", {T("x", "w", S::idle, true), T("1", "", S::idle, true)}, "", std::nullopt, "1"},
        {"TheZoomedTileAlone", {T("1", "", S::waiting)}, "", "1", std::nullopt},
        {"TheOtherOfTwoWaiting", {T("1", "", S::waiting), T("2", "", S::waiting)}, "", "1", "2"},
        {"AndBack", {T("1", "", S::waiting), T("2", "", S::waiting)}, "", "2", "1"},
    };
    for (const Case& c : cases) EXPECT_EQ(modelOf(c.tiles).attentionPick(c.current, c.zoomed), c.pick) << c.name;
}

TEST(WallModel, CountsAndTabBadges) {
    using S = SessionStatus;
    const WallModel model = modelOf({T("1", "", S::busy),
                                     T("2", "", S::waiting),
                                     T("3", "w", S::waiting),
                                     T("4", "w", S::idle, true),
                                     T("5", "w", S::waiting),
                                     T("6", "", S::exited)});
    EXPECT_EQ(model.counts(), (WallModel::Counts{6, 1, 3, 1}));
    EXPECT_EQ(model.waitingByWall(), (std::map<std::string, int>{{"", 1}, {"w", 2}}));
    EXPECT_EQ(model.doneByWall(), (std::map<std::string, int>{{"w", 1}}));
}

TEST(WallModel, RecordMakers) {
    WallModel::Facts facts;
    facts.id = "tile-1";
    facts.title = "Fix the build";
    facts.cwd = "/home/u/shop/";
    facts.isShell = true;
    facts.browserId = "dev-1";
    facts.claudeSessionId = "conv";
    facts.userNamed = true;
    const Date now = Date::now();
    struct Case {
        const char* name;
        std::string wall;
        std::string lastPrompt;
        WallModel::Maker maker;
        std::optional<std::string> recordWall, tileId, prompt;
    };
    using M = WallModel::Maker;
    const Case cases[] = {
        {"Close", "w", "hi", M::close, std::nullopt, std::nullopt, "hi"},
        {"Exited", "w", "", M::exited, "w", std::nullopt, std::nullopt},
        {"Open", "w", "", M::open, "w", "tile-1", std::nullopt},
        {"OpenOnMain", "", "", M::open, std::nullopt, "tile-1", std::nullopt},
    };
    for (const Case& c : cases) {
        facts.wall = c.wall;
        facts.lastPrompt = c.lastPrompt;
        const Store::ClosedTile r = WallModel::record(facts, c.maker, now);
        EXPECT_EQ(r.wall, c.recordWall) << c.name;
        EXPECT_EQ(r.tileId, c.tileId) << c.name;
        EXPECT_EQ(r.lastPrompt, c.prompt) << c.name;
        EXPECT_EQ(r.name, "shop") << c.name;
        EXPECT_EQ(r.userNamed, true) << c.name;
        EXPECT_EQ(r.browserId, "dev-1") << c.name;
        EXPECT_EQ(r.closedAt, now) << c.name;
    }
}

TEST(WallModel, ReopenChoices) {
    struct Case {
        const char* name;
        Store::ClosedTile record;
        bool resume, restoring;
        std::optional<std::string> wall, resumeId, id;
        bool continueLatest = false;
    };
    auto rec = [](std::optional<std::string> wall, std::optional<std::string> conv, std::optional<std::string> prompt,
                  std::optional<std::string> id = std::nullopt) {
        Store::ClosedTile r;
        r.cwd = "/tmp";
        r.wall = std::move(wall);
        r.claudeSessionId = std::move(conv);
        r.lastPrompt = std::move(prompt);
        r.tileId = std::move(id);
        return r;
    };
    const Case cases[] = {
        {"ResumesItsConversation", rec("w", "c", "p"), true, false, "w", "c", std::nullopt},
        {"GoneWallGoesToTheWallShown", rec("gone", "c", "p"), true, false, std::nullopt, "c", std::nullopt},
        {"HistoryWithoutAWallGoesToTheWallShown", rec(std::nullopt, "c", "p"), true, false, std::nullopt, "c",
         std::nullopt},
        {"RestoreWithoutAWallIsMain", rec(std::nullopt, "c", "p"), true, true, "", "c", std::nullopt},
        {"RestoreGoneWallGoesToTheWallShown", rec("gone", "c", "p"), true, true, std::nullopt, "c", std::nullopt},
        {"NoConversationButAPromptContinues", rec("w", std::nullopt, "p"), true, false, "w", std::nullopt,
         std::nullopt, true},
        {"NoConversationNoPromptStartsAfresh", rec("w", std::nullopt, std::nullopt), true, false, "w", std::nullopt,
         std::nullopt},
        {"NotResumed", rec("w", "c", "p"), false, false, "w", std::nullopt, std::nullopt},
        {"FreeIdIsKept", rec("w", "c", "p", "free"), true, true, "w", "c", "free"},
        {"TakenIdIsNot", rec("w", "c", "p", "live"), true, true, "w", "c", std::nullopt},
    };
    const WallModel model = modelOf({T("live")});
    const std::vector<BrowserInfo> browsers = {{"dev-1", "Work"}, {"dev-2", "Home"}};
    for (const Case& c : cases) {
        const auto r = model.reopenChoices(c.record, c.resume, c.restoring, {"w"}, browsers);
        EXPECT_EQ(r.wall, c.wall) << c.name;
        EXPECT_EQ(r.resume, c.resumeId) << c.name;
        EXPECT_EQ(r.continueLatest, c.continueLatest) << c.name;
        EXPECT_EQ(r.id, c.id) << c.name;
        EXPECT_FALSE(r.userNamed) << c.name;
    }
    Store::ClosedTile bound = rec(std::nullopt, std::nullopt, std::nullopt);
    bound.browserId = "dev-2";
    bound.userNamed = true;
    EXPECT_EQ(model.reopenChoices(bound, true, false, {}, browsers).browser, (BrowserInfo{"dev-2", "Home"}));
    EXPECT_TRUE(model.reopenChoices(bound, true, false, {}, browsers).userNamed);
    bound.browserId = "gone";
    EXPECT_EQ(model.reopenChoices(bound, true, false, {}, browsers).browser, std::nullopt);
}

}  // namespace
}  // namespace quiltdeck
