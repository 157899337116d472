// COMPOUND_TEXT made UTF-8 as an owner's parts arrive: every row gives the same text whole and cut
// into parts of one, two and three bytes, so a part may end anywhere.
#include <gtest/gtest.h>

#include <string>

#include "platform/ui/gtk/CompoundText.h"

using platform::ui::gtk::CompoundText;

namespace {

std::string decodedInParts(const std::string& bytes, size_t part) {
    CompoundText text;
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += part) out += text.add(std::string_view(bytes).substr(at, part));
    return out + text.finish();
}

}  // namespace

TEST(CompoundText, DecodesTheSameWhereverThePartsEnd) {
    struct Row {
        const char* name;
        std::string bytes;
        std::string utf8;
    };
    const Row rows[] = {
        {"ASCII, tab and line feed", "plain\ttext\n", "plain\ttext\n"},
        {"the right half is Latin-1 from the start", "caf\xe9", "caf\xc3\xa9"},
        {"an ISO 8859 set and back", "\x1b-L\xbf\xe0\x1b-Ad\xe9", "\xd0\x9f\xd1\x80" "d\xc3\xa9"},
        {"a two-byte set on the left", "\x1b$(B\x30\x21\x30\x22\x1b(Bok", "\xe4\xba\x9c\xe5\x94\x96ok"},
        {"a two-byte set on the right", "ab\x1b$)A\xb0\xa1", "ab\xe5\x95\x8a"},
        {"a UTF-8 segment", "x\x1b%G\xe2\x82\xac\x1b%@\xe9", "x\xe2\x82\xac\xc3\xa9"},
        {"a set it does not know", "\x1b(Zab\x1b(Bc", "\xef\xbf\xbd\xef\xbf\xbd" "c"},
        {"controls and direction marks dropped", "a\x01\x7f\x85\x9b" "1]b\x9b]", "ab"},
        {"a segment of a named encoding skipped", "\x1b%/1\x80\x83" "abcX", "X"},
        {"a character the text ends inside", "ok\x1b$(B\x30", "ok\xef\xbf\xbd"},
        {"a broken escape sequence", "a\x1b\x01" "b", "ab"},
    };
    for (const Row& row : rows) {
        for (const size_t part : {row.bytes.size(), size_t{1}, size_t{2}, size_t{3}}) {
            EXPECT_EQ(decodedInParts(row.bytes, part), row.utf8) << row.name << ", in parts of " << part;
        }
    }
}
