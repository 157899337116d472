#include "platform/ui/RichText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "platform/gfx/ApplicationFonts.h"

using namespace platform::ui;
using platform::gfx::FontWeight;
using platform::gfx::InterfaceFont;

namespace {

TextAttributes plain(double size = 13, FontWeight weight = FontWeight::regular) {
    TextAttributes a;
    a.font = InterfaceFont::system(size, weight);
    return a;
}

TextAttributes hanging(double stop) {
    TextAttributes a = plain();
    a.paragraph.tabStops = {stop};
    a.paragraph.headIndent = stop;
    return a;
}

const std::string words = "the quick brown fox jumps over the lazy dog and keeps running far away";

}  // namespace

TEST(RichText, EmptyTextTakesNoRoom) {
    EXPECT_EQ(RichText().measure(), (platform::gfx::Size{0, 0}));
    EXPECT_TRUE(RichText("", plain()).empty());
}

TEST(RichText, RunsWithEqualAttributesMergeAndInvalidBytesAreReplaced) {
    RichText text("ab", plain());
    text.append("c\xff", plain());
    text.append("d", plain(13, FontWeight::bold));
    ASSERT_EQ(text.runs().size(), 2u);
    EXPECT_EQ(text.string(), "abc\xEF\xBF\xBD" "d");
}

TEST(RichText, ParagraphsTakeTheStyleOfTheirFirstRun) {
    TextAttributes heading = plain(15, FontWeight::semibold);
    heading.paragraph.spacingBefore = 18;
    RichText text("Title\n", heading);
    text.append("body\n", plain());
    const auto paragraphs = text.paragraphs();
    ASSERT_EQ(paragraphs.size(), 3u);  // the line feed at the end opens an empty one
    EXPECT_EQ(paragraphs[0].style.spacingBefore, 18);
    EXPECT_EQ(paragraphs[1].style.spacingBefore, 0);
    EXPECT_EQ(paragraphs[2].begin, paragraphs[2].end);
}

// Wrapping, spacing and line limits, each against the same text measured on one line.
TEST(RichText, MeasuresWrappedSpacedAndCutText) {
    const RichText line(words, plain());
    const auto one = line.measure();
    ASSERT_GT(one.width, 200);
    ASSERT_GT(one.height, 10);
    const double lineHeight = one.height;

    const auto wrapped = line.measure(150.0);
    EXPECT_LE(wrapped.width, 150);
    EXPECT_GE(wrapped.height, 3 * lineHeight - 2);

    // A height limit keeps whole lines only.
    const auto cut = line.measure(150.0, 2.5 * lineHeight);
    EXPECT_NEAR(cut.height, 2 * lineHeight, 2);

    TextAttributes spaced = plain();
    spaced.paragraph.spacingBefore = 10;
    spaced.paragraph.spacingAfter = 6;
    EXPECT_NEAR(RichText("a\nb", spaced).measure().height, 2 * (lineHeight + 16), 2);

    TextLayoutOptions twoLines;
    twoLines.width = 150;
    twoLines.maximumLines = 2;
    EXPECT_NEAR(line.measure(twoLines).height, 2 * lineHeight, 2);
    twoLines.truncation = Truncation::tail;
    EXPECT_NEAR(line.measure(twoLines).height, 2 * lineHeight, 2);
    // A line a paragraph: the long first one cut on its own line, the second still shown.
    twoLines.linesPerParagraph = 1;
    const RichText paragraphs(std::string(words) + "\nb", plain());
    const auto frames = paragraphs.layout(twoLines);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].lineStarts.size(), 1u);
    EXPECT_EQ(frames[1].lineStarts.size(), 1u);
    EXPECT_NEAR(paragraphs.measure(twoLines).height, 2 * lineHeight, 2);

    TextLayoutOptions tail;
    tail.width = 80;
    tail.wraps = false;
    tail.truncation = Truncation::middle;
    const auto truncated = line.measure(tail);
    EXPECT_LE(truncated.width, 80);
    EXPECT_NEAR(truncated.height, lineHeight, 1);
}

TEST(RichText, NegativeKernTightens) {
    TextAttributes tight = plain();
    tight.kern = -0.5;
    EXPECT_LT(RichText("Quiltdeck", tight).measure().width, RichText("Quiltdeck", plain()).measure().width);
}

// A key column: the description after the tab starts at the stop, and its wrapped lines start
// there too, not at the left edge.
TEST(RichText, WrappedLinesOfAHangingParagraphStartAtTheHeadIndent) {
    RichText text("Ctrl+Shift+N\t" + words, hanging(200));
    TextLayoutOptions options;
    options.width = 360;
    const auto frames = text.layout(options);
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_GE(frames[0].lineStarts.size(), 2u);
    EXPECT_NEAR(frames[0].lineStarts[0], 0, 0.5);
    for (size_t i = 1; i < frames[0].lineStarts.size(); ++i) EXPECT_NEAR(frames[0].lineStarts[i], 200, 0.5) << i;
}

TEST(RichText, FindsTheLinkUnderAPoint) {
    TextAttributes link = plain();
    link.link = "https://example.org";
    RichText text("see ", plain());
    text.append("here", link);
    const double before = RichText("see ", plain()).measure().width;
    EXPECT_EQ(text.linkAt({before + 5, 5}, {}), "https://example.org");
    EXPECT_EQ(text.linkAt({2, 5}, {}), "");
    EXPECT_EQ(text.linkAt({before + 5, 500}, {}), "");
}

TEST(RichText, TabularDigitsShareOneWidth) {
    // Inter draws proportional digits unless asked for its tabular ones.
    const std::filesystem::path inter = "/usr/share/fonts/opentype/inter/Inter-Regular.otf";
    ASSERT_TRUE(platform::gfx::ApplicationFonts::add(inter));
    platform::gfx::ApplicationFonts::changed();
    TextAttributes a;
    a.font = InterfaceFont{"Inter", FontWeight::regular, 15, std::nullopt};
    const double ones = RichText("1111", a).measure().width, zeros = RichText("0000", a).measure().width;
    EXPECT_LT(ones + 2, zeros);
    a.tabularDigits = true;
    EXPECT_EQ(RichText("1111", a).measure().width, RichText("0000", a).measure().width);
}
