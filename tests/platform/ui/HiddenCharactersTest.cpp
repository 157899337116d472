#include "platform/ui/HiddenCharacters.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::ui {
namespace {

// A text someone else wrote, as a label shows it (spelt out) and as a program's title keeps it
// (dropped): a character that hides or reorders what is shown never acts.
TEST(HiddenCharacters, SpeltOutOrDropped) {
    const struct {
        const char* name;
        std::string text, spelt, dropped;
    } cases[] = {
        {"plain", "Fix the build", "Fix the build", "Fix the build"},
        {"right-to-left override", "invoice_\u202Egpj.exe", "invoice_<U+202E>gpj.exe", "invoice_gpj.exe"},
        {"isolates and marks", "a\u2066b\u2069\u200Fc", "a<U+2066>b<U+2069><U+200F>c", "abc"},
        {"NUL and escape", std::string("a\0b\x1b[31m", 8), "a\u2400b\u241B[31m", "ab[31m"},
        {"line breaks and tabs", "one\ntwo\tthree\u2028four", "one\u240Atwo\u2409three<U+2028>four", "one two three four"},
        {"zero widths", "in\u200Bvo\uFEFFice", "in<U+200B>vo<U+FEFF>ice", "invoice"},
        {"broken bytes", "caf\xC3 \xFF!", "caf\\xC3 \\xFF!", "caf !"},
        {"emoji joined", "\U0001F469\u200D\U0001F4BB team", "\U0001F469\u200D\U0001F4BB team", "\U0001F469\u200D\U0001F4BB team"},
        {"joiner between letters", "a\u200Db", "a<U+200D>b", "ab"},
        {"joiner at the end", "\U0001F469\u200D", "\U0001F469<U+200D>", "\U0001F469"},
        {"accents and scripts", "caf\u00E9 \u041C\u0438\u0440 \u4E16", "caf\u00E9 \u041C\u0438\u0440 \u4E16",
         "caf\u00E9 \u041C\u0438\u0440 \u4E16"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HiddenCharacters::spelledOut(c.text), c.spelt) << c.name;
        EXPECT_EQ(HiddenCharacters::dropped(c.text), c.dropped) << c.name;
    }
}

}  // namespace
}  // namespace platform::ui
