#include "platform/ui/LinkPolicy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace platform::ui {
namespace {

using Action = LinkDecision::Action;
using Kind = LinkedFile::Kind;
constexpr LinkOrigin T = LinkOrigin::terminal;
constexpr LinkOrigin W = LinkOrigin::webPage;

// A file system of a few files, as the inspector would describe them.
LinkedFile fakeFile(const std::string& path) {
    static const std::map<std::string, LinkedFile> files = {
        {"/home/u/notes.txt", {Kind::regular, false, "/home/u/notes.txt"}},
        {"/home/u/run.sh", {Kind::regular, true, "/home/u/run.sh"}},
        {"/home/u/link-to-tool", {Kind::regular, true, "/usr/bin/tool"}},
        {"/home/u", {Kind::directory, false, "/home/u"}},
        {"/home/u/fifo", {Kind::other, false, "/home/u/fifo"}},
        {"/tmp/../etc/passwd", {Kind::regular, false, "/etc/passwd"}},
    };
    const auto found = files.find(path);
    return found == files.end() ? LinkedFile{} : found->second;
}

// Every link a program's output or a page can hold, and what following it does.
TEST(LinkPolicy, WhatEachLinkGets) {
    struct Case {
        const char* link;
        LinkOrigin origin;
        Action action;
        const char* target;
        const char* scheme;
    } cases[] = {
        // Pages, mail and file transfer open directly, in any case, spaces around them dropped.
        {"  HTTPS://Example.org/a?b#c", T, Action::open, "HTTPS://Example.org/a?b#c", "https"},
        {"ftp://ftp.example.org/pub", W, Action::open, "ftp://ftp.example.org/pub", "ftp"},
        {"mailto:someone@example.org", T, Action::open, "mailto:someone@example.org", "mailto"},
        // A mail link never names a file to attach, however the parameter is spelt.
        {"mailto:a@example.org?subject=Hi&attach=/etc/passwd&body=x", T, Action::open,
         "mailto:a@example.org?subject=Hi&body=x", "mailto"},
        {"MAILTO:a@example.org?ATTACHMENT=~/.ssh/id_rsa&Attach=a&subject=Hi", W, Action::open,
         "MAILTO:a@example.org?subject=Hi", "mailto"},
        {"mailto:a@example.org?%61ttach=/etc/passwd&%41TTACHMENT%20=x&body=x?attach=y", T, Action::open,
         "mailto:a@example.org?body=x", "mailto"},
        {"mailto:a@example.org?subject=attach&attached=1&attach", T, Action::open,
         "mailto:a@example.org?subject=attach&attached=1", "mailto"},
        {"http:///etc/passwd", T, Action::refuse, "", "http"},  // no host
        {"https://example.org/%zz", T, Action::refuse, "", "https"},
        // Scripts and inline data never, however they are spelt; a scheme is spelt out or none.
        {"   JavaScript:alert(1)", W, Action::refuse, "", "javascript"},
        {"data:text/html,<script>alert(1)</script>", T, Action::refuse, "", "data"},
        {"VBSCRIPT:msgbox(1)", T, Action::refuse, "", "vbscript"},
        {"%6Aavascript:alert(1)", T, Action::refuse, "", ""},
        // Control characters, reordering marks and broken UTF-8 anywhere.
        {"java\tscript:alert(1)", T, Action::refuse, "", ""},
        {"https://example.org/\x1b[2J", T, Action::refuse, "", "https"},
        {"https://example.org/\xc2\x9b" "31m", T, Action::refuse, "", "https"},
        {"evil://\xe2\x80\xaegnp.exe", T, Action::refuse, "", "evil"},
        {"https://example.org/\xff", T, Action::refuse, "", "https"},
        // Another application's scheme asks first.
        {"Evil://payload", T, Action::ask, "Evil://payload", "evil"},
        {"quiltdeck-custom:open", W, Action::ask, "quiltdeck-custom:open", "quiltdeck-custom"},
        // Local files: plain files and folders open, what could run is shown in its folder.
        {"/home/u/notes.txt", T, Action::open, "file:///home/u/notes.txt", "file"},
        {"file:///home/u", T, Action::open, "file:///home/u", "file"},
        {"file:///home/u/run.sh", T, Action::reveal, "/home/u/run.sh", "file"},
        {"FILE://localhost/home/u/link-to-tool", T, Action::reveal, "/usr/bin/tool", "file"},
        {"file:///tmp/%2e%2e/etc/passwd", T, Action::open, "file:///etc/passwd", "file"},
        {"file:///home/u/fifo", T, Action::refuse, "", "file"},
        {"file:///home/u/missing", T, Action::refuse, "", "file"},
        {"file://elsewhere.example/home/u/notes.txt", T, Action::refuse, "", "file"},
        {"file:///home/u/notes.txt%2F..%2Frun.sh", T, Action::refuse, "", "file"},
        // A page never reaches a local file.
        {"file:///home/u/notes.txt", W, Action::refuse, "", "file"},
        {"/home/u/notes.txt", W, Action::refuse, "", ""},
        {"relative/notes.txt", T, Action::refuse, "", ""},
    };
    for (const Case& c : cases) {
        const LinkDecision decision = LinkPolicy::decide(c.link, c.origin, fakeFile);
        EXPECT_EQ(decision, (LinkDecision{c.action, c.target, c.scheme})) << c.link;
    }
}

// The file system's own answers: what could run, by its bit, its name, its content or its
// type, also behind a link or an encoded "..", and what is no file.
TEST(LinkPolicy, TheFileSystemSaysWhatCouldRun) {
    char folderTemplate[] = "/tmp/link-policy-XXXXXX";
    ASSERT_TRUE(mkdtemp(folderTemplate));
    const std::filesystem::path folder = std::filesystem::canonical(folderTemplate);
    for (const char* name : {"notes.txt", "tool", "entry.desktop", "entry", "script.sh"})
        std::ofstream(folder / name) << (name == std::string("entry") ? "# first\n[Desktop Entry]\n" : "x\n");
    chmod((folder / "tool").c_str(), 0755);
    std::filesystem::copy_file("/bin/true", folder / "program");
    chmod((folder / "program").c_str(), 0644);
    std::filesystem::create_symlink(folder / "tool", folder / "innocent.txt");
    mkfifo((folder / "fifo").c_str(), 0644);
    std::filesystem::create_directory(folder / "sub");
    const std::pair<const char*, Kind> kinds[] = {{"notes.txt", Kind::regular}, {"sub/..", Kind::directory},
                                                 {"fifo", Kind::other}, {"missing", Kind::missing}};
    for (const auto& [name, kind] : kinds) EXPECT_EQ(LinkPolicy::inspectFile((folder / name).string()).kind, kind) << name;
    EXPECT_FALSE(LinkPolicy::inspectFile((folder / "notes.txt").string()).launches);
    for (const char* name : {"tool", "entry.desktop", "entry", "script.sh", "program", "innocent.txt"})
        EXPECT_TRUE(LinkPolicy::inspectFile((folder / name).string()).launches) << name;
    const LinkDecision revealed = LinkPolicy::decide("file://" + folder.string() + "/sub/%2E%2E/innocent.txt", T);
    EXPECT_EQ(revealed, (LinkDecision{Action::reveal, (folder / "tool").string(), "file"}));
    std::filesystem::remove_all(folder);
}

// A dialog shows the whole link, with every character that would not show spelt out.
TEST(LinkPolicy, DisplayTextShowsWhatWouldHide) {
    const std::pair<std::string, std::string> cases[] = {
        {"evil://a\x1b[31m\x7f", "evil://a\xe2\x90\x9b[31m\xe2\x90\xa1"},
        {"evil://\xe2\x80\xaeg\xe2\x80\x8bo\xc2\x9b", "evil://<U+202E>g<U+200B>o<U+009B>"},
        {"evil://\xff\xfe!caf\xc3\xa9", "evil://\\xFF\\xFE!caf\xc3\xa9"},
        {std::string(LinkPolicy::displayLimit, 'a'), std::string(LinkPolicy::displayLimit, 'a')},
    };
    for (const auto& [link, shown] : cases) EXPECT_EQ(LinkPolicy::displayText(link), shown) << link;
    // An enormous one keeps its start and its end, cut in the middle.
    const std::string enormous = "evil://" + std::string(5000, 'a') + "\xc3\xa9nd";
    const std::string shown = LinkPolicy::displayText(enormous);
    const size_t half = LinkPolicy::displayLimit / 2;
    EXPECT_EQ(shown, "evil://" + std::string(half - 7, 'a') + " \xe2\x80\xa6 " + std::string(half - 3, 'a') + "\xc3\xa9nd");
}

}  // namespace
}  // namespace platform::ui
