// How fast the COMPOUND_TEXT decoder makes UTF-8 of an owner's text: 100 MB of each kind of text
// (as Xlib encodes it), fed in parts of 64 KiB as a clipboard read hands them over.
//   compound_text_bench [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ui/gtk/CompoundText.h"

namespace {

// Xlib's COMPOUND_TEXT of a few lines in many scripts.
const char* const latin =
    "The quick brown fox jumps over the lazy dog; caf\xe9" ", na\xef" "ve, Za\x1b" "-B\xbf" "\x1b" "-A\xf3" "\x1b"
    "-B\xb3" "\xe6" " g\xea" "\xb6" "l\xb1" " ja\xbc" "\xf1" ". ";
const char* const cyrillicGreek =
    "\x1b" "-L\xc1" "\xea" "\xd5" "\xe8" "\xec" " \xd6" "\xd5" " \xd5" "\xe9" "\xf1" " \xed" "\xe2" "\xd8" "\xe5" " \xdc"
    "\xef" "\xd3" "\xda" "\xd8" "\xe5" " \xe4" "\xe0" "\xd0" "\xdd" "\xe6" "\xe3" "\xd7" "\xe1" "\xda" "\xd8" "\xe5" " \xd1"
    "\xe3" "\xdb" "\xde" "\xda" ". \x1b" "-F\xce" "\xe5" "\xf3" "\xea" "\xe5" "\xf0" "\xdc" "\xe6" "\xf9" " \xf4" "\xe7"
    "\xed" " \xf8" "\xf5" "\xf7" "\xef" "\xf6" "\xe8" "\xfc" "\xf1" "\xe1" ". ";
const char* const cjk =
    "\x1b" "$(BF|K\x5c" "8l$N%F%-%9%H$H\x1b" ")I\xb6" "\xc0" "\xb6" "\xc5" "!\x22" "\x1b" "$(CGQ19>n\x1b" "(B \x1b"
    "$(CEX=:F.\x1b" "(B, \x1b" "$(BCfJ8\x1b" "$(A<r\x1b" "$(BBNJ8K\x5c" "\x1b" "(B. ";
const char* const utf8Segments =
    "emoji \x1b" "%G\xf0" "\x9f" "\x98" "\x80" "\xf0" "\x9f" "\x91" "\x8d" "\x1b" "%@ and \x1b" "%G\xd7" "\xa2" "\xd7"
    "\x91" "\xd7" "\xa8" "\xd7" "\x99" "\xd7" "\xaa" "\x1b" "%@ \x1b" "%G\xe0" "\xb8" "\x81" "\x1b" "%@ \x1b" "-b\xa4"
    " \x1b" "-A\xa5" "\x1b" "(J~\x1b" "(B\x0a";

void run(const char* name, const std::string& sample, size_t megabytes) {
    std::string text;
    while (text.size() < megabytes * 1000 * 1000) text += sample;
    constexpr size_t part = 64 * 1024;
    platform::ui::gtk::CompoundText decoder;
    size_t made = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t at = 0; at < text.size(); at += part) made += decoder.add(std::string_view(text).substr(at, part)).size();
    made += decoder.finish().size();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-14s %6.1f MB in %6.3f s: %7.1f MB/s, %.1f MB of UTF-8\n", name, text.size() / 1e6, seconds,
                text.size() / 1e6 / seconds, made / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    run("ASCII", "The quick brown fox jumps over the lazy dog.\n", megabytes);
    run("Latin", latin, megabytes);
    run("Cyrillic/Greek", cyrillicGreek, megabytes);
    run("CJK", cjk, megabytes);
    run("UTF-8 segments", utf8Segments, megabytes);
    run("mixed", std::string(latin) + cyrillicGreek + cjk + utf8Segments, megabytes);
    return 0;
}
