#include <gtest/gtest.h>

#include <set>

#include "vantel/core/CharData.h"

using namespace vantel;
using C = Attribute::Color;

TEST(CharDataTest, CharacterOfInvalidCodesIsSpace) {
    for (int32_t code : {0xD800, 0xDFFF, 0x110000, 0x400001}) {
        CharData cell(Attribute(), code, 1);
        EXPECT_EQ(cell.getCharacter(), U" ") << std::hex << code;
    }
    EXPECT_EQ(CharData(Attribute(), 'A', 1).getCharacter(), U"A");
    EXPECT_EQ(CharData(Attribute(), 0x1F600, 2).getCharacter(), U"\U0001F600");
    EXPECT_EQ(CharData(Attribute(), 0xD800, 1).debugDescription(), "CharData: 55296 ?");
    EXPECT_EQ(CharData(Attribute(), 'x', 1).debugDescription(), "CharData: 120 x");
}

TEST(CharDataTest, SemanticContentCodes) {
    struct Case {
        uint8_t code;
        const char* text;
    } cases[] = {{0, "none"}, {1, "prompt(initial)"}, {2, "prompt(right)"}, {3, "prompt(continuation)"},
                 {4, "prompt(secondary)"}, {5, "input"}, {6, "output"}, {7, "none"}, {9, "none"}, {255, "none"}};
    for (auto c : cases) {
        CharData cell;
        cell.semanticContentCode = c.code;
        EXPECT_EQ(cell.semanticContent().description(), c.text) << int(c.code);
        if (c.code <= 6) {
            EXPECT_EQ(cell.semanticContent().code(), c.code);
        }
    }
}

TEST(CharDataTest, UnderlineStyleAndStyleFromRaw) {
    EXPECT_FALSE(underlineStyleFromRaw(6).has_value());
    EXPECT_EQ(underlineStyleFromRaw(5), UnderlineStyle::dashed);
    EXPECT_EQ(CharacterStyle::fromAttribute(0x7F << 18).rawValue, 0x7F);
    EXPECT_EQ(CharacterStyle::fromAttribute(static_cast<int32_t>(0xFFFC0000u)).rawValue, 0xFF);
}

TEST(AttributeTest, ToSgr) {
    struct Case {
        Attribute attribute;
        const char* sgr;
    } cases[] = {
        {Attribute(C::ansi256(1), C::defaultColor(), CharacterStyle(CharacterStyle::bold)), "0;1;31m"},
        {Attribute(C::ansi256(12), C::ansi256(200), CharacterStyle()), "0;94;48;5;200m"},
        {Attribute(), "0m"},
        {Attribute(C::trueColor(255, 128, 0), C::defaultColor(), CharacterStyle()), "0;38;2;255;128;0m"},
        {Attribute(C::ansi256(16), C::defaultColor(), CharacterStyle()), "0;38;5;16m"},
        {Attribute(C::ansi256(7), C::ansi256(8), CharacterStyle()), "0;37;100m"},
        {Attribute(C::defaultInvertedColor(), C::trueColor(1, 2, 3),
                   CharacterStyle(CharacterStyle::underline | CharacterStyle::blink | CharacterStyle::inverse |
                                  CharacterStyle::invisible | CharacterStyle::italic | CharacterStyle::dim)),
         "0;4;5;7;8;48;2;1;2;3m"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.attribute.toSgr(), c.sgr);
}

TEST(AttributeTest, EqualityCoversEveryField) {
    Attribute a;
    Attribute b = a;
    b.setUnderlineColor(C::defaultColor());
    EXPECT_NE(a, b) << "an absent underline colour equals only an absent one";
    EXPECT_NE(C::defaultColor(), C::defaultInvertedColor());
    EXPECT_NE(C::ansi256(0), C::defaultColor());
    EXPECT_NE(C::trueColor(1, 2, 3), C::trueColor(1, 2, 4));
    b = a;
    b.underlineStyle = UnderlineStyle::curly;
    EXPECT_NE(a, b);
    std::set<size_t> hashes{a.hash(), b.hash(), Attribute::empty.hash()};
    EXPECT_EQ(hashes.size(), 3u);
}

// Each test runs in its own process, so exhausting the table here affects no other test.
TEST(TinyAtomTest, HandsOutFreshCodesThenReusesReleasedOnes) {
    auto first = TinyAtom::lookup(std::string("https://a"));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(std::any_cast<std::string>(first->target()), "https://a");
    CharData cell;
    cell.setPayload(*first);
    EXPECT_TRUE(cell.hasPayload());
    EXPECT_EQ(std::any_cast<std::string>(cell.getPayload()), "https://a");
    first->release();
    EXPECT_FALSE(first->target().has_value());
    EXPECT_FALSE(TinyAtom().target().has_value());

    std::optional<TinyAtom> last;
    for (int i = first->code; i < 65534; ++i) {
        last = TinyAtom::lookup(i);
        ASSERT_TRUE(last.has_value());
    }
    EXPECT_EQ(last->code, 65534);
    // Every code is in use except the first one, which was released.
    auto reused = TinyAtom::lookup(std::string("again"));
    ASSERT_TRUE(reused.has_value());
    EXPECT_EQ(reused->code, first->code);
    EXPECT_EQ(std::any_cast<std::string>(reused->target()), "again");
    EXPECT_FALSE(TinyAtom::lookup(1).has_value());
    // Releasing an unknown or already released code must not hand it out twice.
    TinyAtom::release(std::vector<uint16_t>{last->code, last->code, 0});
    EXPECT_EQ(TinyAtom::lookup(2)->code, last->code);
    EXPECT_FALSE(TinyAtom::lookup(3).has_value());
    // Hand every code back, so tests run after this one in the same process still get payloads.
    for (int code = first->code; code <= 65534; ++code) TinyAtom::release(static_cast<uint16_t>(code));
}
