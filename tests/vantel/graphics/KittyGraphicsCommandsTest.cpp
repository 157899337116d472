#include <gtest/gtest.h>

#include "KittyTestSupport.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

KittyGraphicsControl parse(std::string_view text) {
    return parseKittyGraphicsControl({reinterpret_cast<const uint8_t*>(text.data()), text.size()}).control;
}

TEST(KittyGraphicsControl, ParsesKeysAndFallsBack) {
    EXPECT_EQ(parse("i=4294967296").imageId, std::nullopt);
    EXPECT_EQ(parse("i=4294967295").imageId, 4294967295u);
    EXPECT_EQ(parse("i=+7").imageId, 7u);
    EXPECT_EQ(parse("i=-7").imageId, std::nullopt);
    EXPECT_EQ(parse("q=abc").suppressResponses, 0);
    EXPECT_EQ(parse("f=24,f=100").format, 100);
    EXPECT_EQ(parse("f=24,f=").format, 32);
    EXPECT_EQ(parse("a=,t=").action, 't');
    EXPECT_EQ(parse("a=,t=").transmission, 'd');
    EXPECT_EQ(parse("s,v=3,,=5,x=1=2").height, 3);
    EXPECT_EQ(parse("x=1=2").cropX, 0);
    EXPECT_EQ(parse("H=-9223372036854775808").offsetH, INT64_MIN);
    EXPECT_EQ(parse("H=9223372036854775808").offsetH, 0);
    EXPECT_EQ(parse("i=5,i=\xc3\xa9").imageId, 5u);  // a non-ASCII piece is skipped whole
    EXPECT_EQ(parse("ab=3,o=zlib").compression, 'z');
    EXPECT_EQ(parse("m=1,t=f").more, 0);
    EXPECT_EQ(parse("m=1").more, 1);
    EXPECT_EQ(parse("d=").deleteMode, std::nullopt);
}

TEST(KittyGraphicsControl, ReplyTexts) {
    EXPECT_EQ(kittyOkReplyText(5, 7, std::nullopt), "Gi=5,I=7;OK");
    EXPECT_EQ(kittyOkReplyText(std::nullopt, std::nullopt, std::nullopt), "G;OK");
    EXPECT_EQ(kittyOkReplyText(std::nullopt, std::nullopt, 3), "Gp=3;OK");
    EXPECT_EQ(kittyErrorReplyText(parse("i=1,I=2,p=3"), "EX: y"), "Gi=1;EX: y");
    EXPECT_EQ(kittyErrorReplyText(parse("I=2,p=3"), "EX: y"), "GI=2;EX: y");
}

struct CommandCase {
    const char* name;
    std::vector<std::string> input;
    std::string expectedReplies;
};

class KittyCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(KittyCommands, Replies) {
    KittyTerminal t;
    for (const auto& chunk : GetParam().input) t.feed(chunk);
    EXPECT_EQ(t.replies(), GetParam().expectedReplies);
}

const std::string png1x1 = base64(makePng(1, 1, solidPixels(1, 1)));

INSTANTIATE_TEST_SUITE_P(
    Table, KittyCommands,
    ::testing::Values(
        CommandCase{"transmit", {kittyApc("a=t,f=24,s=1,v=1,i=31", onePixel)}, reply("Gi=31;OK")},
        CommandCase{"transmitWithPlacementId", {kittyApc("f=24,s=1,v=1,i=31,p=4", onePixel)}, reply("Gi=31,p=4;OK")},
        CommandCase{"numberGetsFirstId", {kittyApc("f=24,s=1,v=1,I=7", onePixel)}, reply("Gi=1,I=7;OK")},
        CommandCase{"bothIds", {kittyApc("f=24,s=1,v=1,i=1,I=2", onePixel)},
                    reply("Gi=1;EINVAL: i and I are mutually exclusive")},
        CommandCase{"noIdsNoReply", {kittyApc("f=24,s=1,v=1", onePixel)}, ""},
        CommandCase{"noIdsLoadErrorReplied", {kittyApc("f=24,s=2,v=1", onePixel)}, reply("G;EINVAL: bad payload")},
        CommandCase{"unsupportedAction", {kittyApc("a=x")}, reply("G;EINVAL: unsupported action")},
        CommandCase{"quietOkStillReportsErrors", {kittyApc("a=x,q=1")}, reply("G;EINVAL: unsupported action")},
        CommandCase{"quietUnsupportedAction", {kittyApc("a=x,q=2")}, ""},
        CommandCase{"quietOkTransmit", {kittyApc("f=24,s=1,v=1,i=3,q=1", onePixel)}, ""},
        CommandCase{"quietOk", {kittyApc("f=24,s=1,v=1,i=3,q=2", onePixel)}, ""},
        CommandCase{"unsupportedMedium", {kittyApc("t=x,i=3", onePixel)}, reply("Gi=3;ENOTSUP: unsupported transmission")},
        CommandCase{"queryOk", {kittyApc("a=q,i=3,f=24,s=1,v=1", onePixel)}, reply("Gi=3;OK")},
        CommandCase{"queryBad", {kittyApc("a=q,i=3,f=24,s=1,v=1", "AAAAAAAA")}, reply("Gi=3;EINVAL: bad payload")},
        CommandCase{"queryIgnoresMedium", {kittyApc("a=q,t=f,i=3,f=24,s=1,v=1", onePixel)}, reply("Gi=3;OK")},
        CommandCase{"putMissing", {kittyApc("a=p,i=9")}, reply("Gi=9;ENOENT: image not found")},
        CommandCase{"chunks",
                    {kittyApc("a=T,f=100,i=5,m=1", png1x1.substr(0, 8)), kittyApc("m=1", png1x1.substr(8, 8)),
                     kittyApc("m=0,q=2", png1x1.substr(16))},
                    reply("Gi=5;OK")},
        CommandCase{"lastChunkWithFileMedium",
                    {kittyApc("f=24,s=1,v=1,i=6,m=1", onePixel.substr(0, 2)), kittyApc("t=f,m=1", onePixel.substr(2))},
                    reply("Gi=6;OK")},
        CommandCase{"deleteDropsPending",
                    {kittyApc("f=24,s=1,v=1,i=6,m=1", onePixel.substr(0, 2)), kittyApc("a=d"),
                     kittyApc("f=24,s=1,v=1,i=7", onePixel)},
                    reply("Gi=7;OK")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KittyCommands, EightBitFraming) {
    KittyTerminal t;
    t->cc.send8bit = true;
    t.feed(kittyApc("f=24,s=1,v=1,i=31", onePixel));
    EXPECT_EQ(t.replies(), "\x9fGi=31;OK\x9c");
}

TEST(KittyCommands, TransmitStoresPixels) {
    KittyTerminal t;
    t.feed(kittyApc("a=t,f=24,s=1,v=1,i=31", onePixel));
    const auto& payload = *t.state().imagesById.at(31).payload;
    EXPECT_EQ(payload.bytes, (std::vector<uint8_t>{10, 20, 30, 255}));
    EXPECT_EQ(t.state().totalImageBytes, 4);
}

// Assigned ids skip 0 and every id in use, so a numbered image never replaces another.
TEST(KittyCommands, NumberedIdsAdvanceWrapAndSkipIdsInUse) {
    KittyTerminal t;
    t.state().nextImageId = 4294967295u;
    t.feed(kittyApc("f=24,s=1,v=1,I=1", onePixel) + kittyApc("f=24,s=1,v=1,I=2", onePixel));
    EXPECT_EQ(t.replies(), reply("Gi=4294967295,I=1;OK") + reply("Gi=1,I=2;OK"));
    t.feed(kittyApc("a=p,I=2"));
    EXPECT_EQ(t.replies(), reply("Gi=1,I=2;OK"));

    t.feed(kittyApc("q=1,f=24,s=1,v=1,i=5", onePixel) + kittyApc("q=1,f=24,s=1,v=1,i=6", onePixel));
    t.state().nextImageId = 5;
    t.feed(kittyApc("f=24,s=1,v=1,I=3", onePixel));
    EXPECT_EQ(t.replies(), reply("Gi=7,I=3;OK"));
    EXPECT_EQ(t.state().imagesById.size(), 5u);
    EXPECT_EQ(t.state().nextImageId, 8u);
}

// A transfer may not gather without bound: past the limit it is refused once and
// its remaining chunks are dropped unread.
TEST(KittyCommands, OversizedTransferIsRefused) {
    KittyTerminal t(20, 10, [](TerminalOptions& o) { o.kittyImageCacheLimitBytes = 0; });
    const size_t limit = t.kitty().maximumPendingBytes();
    const std::string chunk(4 * 1024 * 1024, 'A');
    t.feed(kittyApc("i=8,f=24,s=1,v=1,m=1", chunk));
    for (size_t sent = chunk.size(); sent <= limit; sent += chunk.size()) t.feed(kittyApc("m=1", chunk));
    EXPECT_EQ(t.replies(), reply("Gi=8;EFBIG: payload too large"));
    EXPECT_FALSE(t.state().pending);
    t.feed(kittyApc("m=1", chunk) + kittyApc("m=0", onePixel));
    EXPECT_EQ(t.replies(), "");
    t.feed(kittyApc("f=24,s=1,v=1,i=9", onePixel));
    EXPECT_EQ(t.replies(), reply("Gi=9;OK"));
}

}  // namespace
