// Linked into the engine's test programs: with VANTEL_PARSER_BYTE_AT_A_TIME set (to anything but
// 0) in the environment, every parser they make walks its input one byte at a time through the
// table, so the same binaries test the table alone, without a build of their own.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "vantel/core/EscapeSequenceParser.h"

namespace {

const bool byteAtATime = [] {
    const char* value = std::getenv("VANTEL_PARSER_BYTE_AT_A_TIME");
    if (!value || !*value || std::string_view(value) == "0") return false;
    vantel::EscapeSequenceParser::setByteAtATimeByDefault(true);
    std::fprintf(stderr, "every parser walks its input one byte at a time through the table\n");
    return true;
}();

}  // namespace
