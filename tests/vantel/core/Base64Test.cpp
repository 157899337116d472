#include <gtest/gtest.h>

#include "vantel/core/Base64.h"

using namespace vantel;

namespace {

std::vector<uint8_t> bytes(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace

TEST(Base64Test, EncodesWithPadding) {
    struct Case {
        std::string_view plain;
        std::string_view encoded;
    } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"hi", "aGk="},
        {"\xff\xfe\xfd", "//79"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Base64::encode(bytes(c.plain)), c.encoded) << c.plain;
        auto decoded = Base64::decode(c.encoded);
        ASSERT_TRUE(decoded) << c.encoded;
        EXPECT_EQ(decoded.bytes, bytes(c.plain));
    }
}

TEST(Base64Test, StrictDecodingRefusesMalformedText) {
    using E = Base64::Error;
    struct Case {
        std::string_view text;
        E error;
    } cases[] = {
        {"Zg", E::invalidLength},         {"Zm8", E::invalidLength},         {"Z", E::invalidLength},
        {"Zg=", E::invalidLength},        {"Z===", E::misplacedPadding},     {"Zg=a", E::misplacedPadding},
        {"=Zm9", E::misplacedPadding},    {"Zm9v\n", E::invalidLength},      {"Zm 9", E::invalidCharacter},
        {"Zm9-", E::invalidCharacter},    {"Zm9_", E::invalidCharacter},     {"Zm9v=", E::invalidLength},
        {"Zg==Zg==", E::misplacedPadding}, {"\xc3\xa9\xc3\xa9", E::invalidCharacter},
    };
    for (const auto& c : cases) {
        auto decoded = Base64::decode(c.text);
        EXPECT_FALSE(decoded) << c.text;
        EXPECT_EQ(decoded.error, c.error) << c.text;
        EXPECT_TRUE(decoded.bytes.empty());
    }
}

TEST(Base64Test, MissingPaddingOnlyWhenAllowed) {
    Base64::DecodeOptions lenient;
    lenient.allowMissingPadding = true;
    EXPECT_EQ(Base64::decode("Zm8", lenient).bytes, bytes("fo"));
    EXPECT_EQ(Base64::decode("Zg", lenient).bytes, bytes("f"));
    EXPECT_FALSE(Base64::decode("Z", lenient));
    EXPECT_EQ(Base64::decode("Zg==", lenient).bytes, bytes("f"));
}

TEST(Base64Test, RoundTripsEveryByteValue) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    for (size_t n = 0; n <= all.size(); n += 37) {
        std::vector<uint8_t> part(all.begin(), all.begin() + n);
        auto decoded = Base64::decode(Base64::encode(part));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded.bytes, part);
    }
}

TEST(Base64Test, SkippingForeignCharacters) {
    Base64::DecodeOptions lenient;
    lenient.skipForeignCharacters = true;
    struct Case {
        const char* text;
        std::optional<std::string> expected;
    } cases[] = {
        {"aGk=", "hi"},   {"aG\nk=", "hi"}, {"aGk", "hi"},        {" a G k ", "hi"},
        {"aGk=aGk=", {}}, {"a", {}},        {"aGk=\r\n", "hi"},   {"", ""},
    };
    for (const auto& c : cases) {
        auto decoded = Base64::decode(std::string_view(c.text), lenient);
        if (!c.expected) {
            EXPECT_FALSE(decoded) << c.text;
            continue;
        }
        ASSERT_TRUE(decoded) << c.text;
        EXPECT_EQ(std::string(decoded.bytes.begin(), decoded.bytes.end()), *c.expected) << c.text;
    }
}
