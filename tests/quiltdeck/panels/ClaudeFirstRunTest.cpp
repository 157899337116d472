#include "quiltdeck/panels/ClaudeFirstRun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

namespace fs = std::filesystem;
using Outcome = ClaudeFirstRun::Outcome;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

struct AnswerCase {
    const char* name;
    std::optional<std::string> before;  // none: no file
    Outcome outcome;
    std::optional<std::string> after;  // none: the same bytes as before
    friend void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }
};

class ClaudeFirstRunAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ClaudeFirstRunAnswer, WritesOnlyWhatIsMissing) {
    const auto& c = GetParam();
    TempFolder folder;
    const fs::path file = folder / ".claude.json";
    if (c.before) {
        writeFile(file, *c.before);
        ::chmod(file.c_str(), 0640);
    }
    struct stat before {};
    ::stat(file.c_str(), &before);
    EXPECT_EQ(ClaudeFirstRun::answer(file), c.outcome);
    if (!c.after) {
        EXPECT_EQ(readFile(file), *c.before);
        struct stat after {};
        ::stat(file.c_str(), &after);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(after.st_ino, before.st_ino);
        return;
    }
    EXPECT_EQ(readFile(file), *c.after);
    EXPECT_EQ(modeOf(file), c.before ? 0640u : 0600u);
    EXPECT_EQ(fs::directory_iterator(folder.path())->path(), file) << "a temporary file stayed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClaudeFirstRunAnswer,
    ::testing::Values(
        AnswerCase{"NoFileGetsBothPrivately", std::nullopt, Outcome::written,
                   "{\n  \"hasCompletedOnboarding\": true,\n  \"theme\": \"dark\"\n}"},
        AnswerCase{"AnsweredFileUntouched", R"({"numStartups":3,"hasCompletedOnboarding":false})",
                   Outcome::alreadyAnswered, std::nullopt},
        AnswerCase{"NullCountsAsAnswered", R"({"hasCompletedOnboarding":null})", Outcome::alreadyAnswered, std::nullopt},
        AnswerCase{"OtherThemeGainsOnlyTheAnswer", R"({"theme":"light","userID":"u1"})", Outcome::written,
                   "{\n  \"hasCompletedOnboarding\": true,\n  \"theme\": \"light\",\n  \"userID\": \"u1\"\n}"},
        AnswerCase{"UnparsableUntouched", "{\"theme\": ", Outcome::unreadable, std::nullopt},
        AnswerCase{"ArrayUntouched", "[1, 2]", Outcome::unreadable, std::nullopt},
        AnswerCase{"DeepNestingUntouched", std::string(100000, '[') + std::string(100000, ']'), Outcome::unreadable,
                   std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClaudeFirstRunTest, ThroughASymbolicLinkTheLinkStays) {
    TempFolder folder;
    fs::create_directories(folder / "dotfiles");
    const fs::path real = folder / "dotfiles" / "claude.json", link = folder / ".claude.json";
    writeFile(real, R"({"theme":"dark"})");
    ::chmod(real.c_str(), 0604);
    fs::create_symlink("dotfiles/claude.json", link);
    EXPECT_EQ(ClaudeFirstRun::answer(link), Outcome::written);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "dotfiles/claude.json");
    EXPECT_EQ(readFile(real), "{\n  \"hasCompletedOnboarding\": true,\n  \"theme\": \"dark\"\n}");
    EXPECT_EQ(modeOf(real), 0604u);
}

// The CLI's file stays whose it was: another user's (a run as root with their home), or the user's
// own with a group of its own; one made new in another user's home by a run as root is theirs.
TEST(ClaudeFirstRunTest, TheFileKeepsItsOwnerAndGroup) {
    if (::geteuid() != 0) return;  // needs other users and groups to give files to
    constexpr uid_t nobody = testing::FilesAsNobody::nobody;
    struct Case {
        const char* name;
        std::optional<std::pair<uid_t, gid_t>> before;  // none: no file, in a home of user nobody's
        std::pair<uid_t, gid_t> after;
    };
    const Case cases[] = {
        {"another user's", std::pair<uid_t, gid_t>{nobody, nobody}, {nobody, nobody}},
        {"the user's, another group", std::pair<uid_t, gid_t>{0, 4}, {0, 4}},
        {"new in another user's home", std::nullopt, {nobody, nobody}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder home;
        ::chown(home.path().c_str(), nobody, nobody);
        testing::ScopedVariable homeVariable("HOME", home.path().string());
        const fs::path file = home / ".claude.json";
        if (c.before) {
            writeFile(file, R"({"theme":"light"})");
            ::chown(file.c_str(), c.before->first, c.before->second);
        }
        EXPECT_EQ(ClaudeFirstRun::answer(file), Outcome::written);
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, c.after.first);
        EXPECT_EQ(info.st_gid, c.after.second);
    }
}

// The CLI rewrites its file when it starts; what it wrote while we worked stays.
TEST(ClaudeFirstRunTest, WriterBetweenReadAndReplaceKeepsItsMembers) {
    TempFolder folder;
    const fs::path file = folder / ".claude.json";
    writeFile(file, R"({"numStartups":1})");
    int interruptions = 0;
    const auto outcome = ClaudeFirstRun::answer(file, [&] {
        if (++interruptions == 1) writeFile(file, R"({"numStartups":2,"projects":{"/w":{}}})");
    });
    EXPECT_EQ(outcome, Outcome::written);
    EXPECT_EQ(interruptions, 2);
    const auto document = nlohmann::json::parse(readFile(file));
    EXPECT_EQ(document, nlohmann::json::parse(
                            R"({"numStartups":2,"projects":{"/w":{}},"theme":"dark","hasCompletedOnboarding":true})"));
}

TEST(ClaudeFirstRunTest, WriterThatNeverStopsIsLeftAlone) {
    TempFolder folder;
    const fs::path file = folder / ".claude.json";
    int round = 0;
    writeFile(file, "{}");
    const auto outcome = ClaudeFirstRun::answer(file, [&] { writeFile(file, "{\"n\":" + std::to_string(++round) + "}"); });
    EXPECT_EQ(outcome, Outcome::failed);
    EXPECT_EQ(round, ClaudeFirstRun::attempts);
    EXPECT_EQ(readFile(file), "{\"n\":3}");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.path())) ++entries;
    EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace quiltdeck
