#include "quiltdeck/shell/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <csignal>
#include <sstream>
#include <thread>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/LogWriter.h"

namespace quiltdeck {
namespace {

using testing::readFile;
using testing::runChild;
using testing::TempFolder;
using testing::writeFile;

TEST(LogWriter, EntryIsUtcStampTwoSpacesMessageNewline) {
    const std::string entry = LogWriter::entry("hello");
    std::string shape = entry;
    for (char& c : shape) c = std::isdigit(static_cast<unsigned char>(c)) ? '9' : c;
    EXPECT_EQ(shape, "9999-99-99T99:99:99Z  hello\n");
}

// An entry is one line whatever its message holds: every control character is written escaped.
TEST(LogWriter, ControlCharactersAreEscapedSoAnEntryIsOneLine) {
    struct Case {
        std::string_view message;
        const char* written;
    } cases[] = {
        {"tile open 1234 shell in /tmp/two\nlines", "tile open 1234 shell in /tmp/two\\nlines"},
        {"a\r\tb", "a\\r\\tb"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {std::string_view("nul\0here", 8), "nul\\x00here"},
        {"del\x7f", "del\\x7f"},
        {"next line\xc2\x85" "and csi\xc2\x9b", "next line\\u0085and csi\\u009b"},
        {"caf\xc3\xa9 \xc2\xa0 \xe4\xb8\xad \\ plain", "caf\xc3\xa9 \xc2\xa0 \xe4\xb8\xad \\ plain"},
        {"ends in a lone \xc2", "ends in a lone \\xc2"},
        // Bytes that are no UTF-8, each told: a stray, an overlong '/', a surrogate, a cut emoji.
        {"a\xff b\xc0\xaf c\xed\xa0\x80 d\xf0\x9f\x98", "a\\xff b\\xc0\\xaf c\\xed\\xa0\\x80 d\\xf0\\x9f\\x98"},
        // Marks that turn the text around them, and the Unicode line separators; the rest stays.
        {"txt.\u202Eexe \u2066x\u2069 \u200F\u061C", "txt.\\u202eexe \\u2066x\\u2069 \\u200f\\u061c"},
        {"one\u2028two\u2029 \u200D\U0001F600", "one\\u2028two\\u2029 \u200D\U0001F600"},
    };
    for (const Case& c : cases) {
        const std::string entry = LogWriter::entry(c.message);
        EXPECT_EQ(entry.substr(entry.find("  ") + 2), std::string(c.written) + "\n") << c.written;
    }
    // Lines that follow the message (a call stack) keep their own lines, each escaped.
    const std::vector<std::string> frames = {"frame one", "frame\ttwo"};
    const std::string entry = LogWriter::entry("first", frames);
    EXPECT_EQ(entry.substr(entry.find("  ") + 2), "first\nframe one\nframe\\ttwo\n");
}

TEST(LogWriter, TrimsInPlaceOnlyAboveOneMillionBytes) {
    for (size_t size : {size_t(0), size_t(1'000'000), size_t(1'000'001), size_t(2'345'678)}) {
        TempFolder dir;
        std::string old(size, 'a');
        for (size_t i = 0; i < size; i += 997) old[i] = static_cast<char>('b' + i % 20);
        writeFile(dir / "log.txt", old);
        const int appendFd = ::open((dir / "log.txt").c_str(), O_WRONLY | O_APPEND);  // as the crash capture holds it
        {
            LogWriter writer(dir / "log.txt");
            writer.append("next\n");
        }
        const std::string kept = size > 1'000'000 ? old.substr(size - 500'000) : old;
        EXPECT_EQ(readFile(dir / "log.txt"), kept + "next\n") << size;
        // Trimming never replaced the file: the other descriptor still appends to it.
        EXPECT_EQ(::write(appendFd, "X", 1), 1);
        ::close(appendFd);
        EXPECT_EQ(readFile(dir / "log.txt"), kept + "next\nX");
    }
}

// A state folder that is a link to a folder not made yet (a dotfiles checkout still to come): the
// log's first write makes that folder and writes there, the link left a link.
TEST(LogWriter, WritesThroughAStateFolderLinkedAheadOfItsFolder) {
    TempFolder dir;
    std::filesystem::create_symlink("dotfiles/qd", dir / "state");
    {
        LogWriter writer(dir / "state" / "log.txt");
        writer.append("first\n");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "state"));
    EXPECT_EQ(readFile(dir / "dotfiles" / "qd" / "log.txt"), "first\n");
}

// A log left in the user's own folder by a run as root, which the user cannot write: kept under a
// name of its own, whole, and a log of the user's begun, which says so; not the user's folder: no log.
TEST(LogWriter, AnotherUsersLogInTheUsersFolderIsKeptAsideAndANewOneBegun) {
    if (::geteuid() != 0) return;  // needs another user to be
    TempFolder dir;
    ::chown(dir.path().c_str(), testing::FilesAsNobody::nobody, testing::FilesAsNobody::nobody);
    writeFile(dir / "log.txt", "root's line\n");
    ::chmod((dir / "log.txt").c_str(), 0600);
    {
        testing::FilesAsNobody asUser;
        LogWriter writer(dir / "log.txt");
        writer.append("the user's line\n");
        writer.flush();
    }
    const std::string log = readFile(dir / "log.txt");
    EXPECT_NE(log.find("log: log.txt was another user's and could not be written; it is kept as log.txt.0-"), std::string::npos);
    EXPECT_TRUE(log.ends_with("the user's line\n"));
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().starts_with("log.txt.0-")) kept.push_back(readFile(entry.path()));
    EXPECT_EQ(kept, std::vector<std::string>{"root's line\n"});
}

TEST(LogWriter, EightThreadsKeepEntriesWholeAndInOrder) {
    TempFolder dir;
    LogWriter writer(dir / "log.txt");
    constexpr int threads = 8, perThread = 2000;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i)
                writer.append("thread " + std::to_string(t) + " entry " + std::to_string(i) + std::string(40, '.') + "\n");
        });
    for (auto& w : writers) w.join();
    writer.flush();
    std::istringstream lines(readFile(dir / "log.txt"));
    std::vector<int> next(threads, 0);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d entry %d", &t, &i), 2) << line;
        ASSERT_EQ(line.size(), line.find('.') + 40) << line;
        EXPECT_EQ(i, next[t]++);
        ++count;
    }
    EXPECT_EQ(count, threads * perThread);
}

class LogRunTest : public ::testing::Test {
protected:
    TempFolder state;
    std::map<std::string, std::string> env() const { return {{"QUILTDECK_STATE_DIR", state.path().string()}}; }
    std::string log() const { return readFile(state / "log.txt"); }
};

TEST_F(LogRunTest, MarkerTellsTheNextLaunchOfAnUncleanRun) {
    EXPECT_EQ(runChild({"begin"}, env()).output, "clean\n");
    EXPECT_TRUE(std::filesystem::exists(state / "running"));
    EXPECT_EQ(log().find("previous run"), std::string::npos);
    EXPECT_EQ(runChild({"run"}, env()).output, "unclean\n");
    EXPECT_FALSE(std::filesystem::exists(state / "running"));
    EXPECT_NE(log().find("launch Quiltdeck "), std::string::npos);
    EXPECT_NE(log().find("  [previous run did not quit cleanly]\n"), std::string::npos) << log();
    EXPECT_TRUE(log().ends_with("  quit\n"));
    EXPECT_EQ(runChild({"run"}, env()).output, "clean\n");
}

// A run as root with a user's home (sudo keeping HOME), as the program begins one, its crash
// handlers installed: the log it makes is the user's, whichever of its writers made it first, in
// a fresh home or in the user's own folder with no log yet.
TEST(LogRunAsRoot, TheLogARootRunMakesIsTheHomeOwners) {
    if (::geteuid() != 0) return;  // needs root, and another user to give the log to
    constexpr uid_t user = testing::FilesAsNobody::nobody;
    for (const bool folderThere : {false, true}) {
        SCOPED_TRACE(folderThere ? "the user's folder, no log" : "a fresh home");
        for (int run = 0; run < 5; ++run) {
            TempFolder home;
            ASSERT_EQ(::chown(home.path().c_str(), user, user), 0);
            ::chmod(home.path().c_str(), 0755);
            if (folderThere) {
                std::filesystem::create_directory(home / ".quiltdeck");
                ASSERT_EQ(::chown((home / ".quiltdeck").c_str(), user, user), 0);
            }
            EXPECT_EQ(runChild({"begin"}, {{"HOME", home.path().string()}, {"QUILTDECK_STATE_DIR", (home / ".quiltdeck").string()}}).output,
                      "clean\n");
            struct stat info {};
            ASSERT_EQ(::stat((home / ".quiltdeck" / "log.txt").c_str(), &info), 0);
            EXPECT_EQ(info.st_uid, user);
        }
    }
}

TEST_F(LogRunTest, FatalSignalsLeaveACrashLineAndKillByTheSameSignal) {
    struct Case {
        const char* kind;
        int signal;
        const char* line;
    };
    const Case cases[] = {
        {"segv", SIGSEGV, "\nCRASH signal 11\n"},
        {"bus", SIGBUS, "\nCRASH signal 7\n"},
        {"stack", SIGSEGV, "\nCRASH signal 11\n"},
        {"throw", SIGABRT, "  CRASH uncaught exception std::runtime_error: boom\n"},
        {"term", SIGTERM, nullptr},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const auto result = runChild({"crash", c.kind}, {{"QUILTDECK_STATE_DIR", folder.path().string()}});
        EXPECT_TRUE(WIFSIGNALED(result.status) && WTERMSIG(result.status) == c.signal) << c.kind;
        const std::string text = readFile(folder / "log.txt");
        if (c.line) EXPECT_NE(text.find(c.line), std::string::npos) << c.kind << ":\n" << text;
        else EXPECT_EQ(text.find("CRASH"), std::string::npos) << text;
        if (c.signal == SIGABRT) {
            const std::string stack = text.substr(text.find("boom\n") + 5);
            const auto frames = std::count(stack.begin(), stack.end(), '\n') - 1;  // and the abort's own line
            EXPECT_TRUE(frames >= 1 && frames <= 12) << stack;
        }
    }
}

// The launch's view of the store: first language, and the log line of a broken document.
TEST_F(LogRunTest, LaunchReadsTheStoredLanguageAndLogsABrokenDocument) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"language":"zh"})", "运行中 readOnly=0 held=0\n"},
        {R"({"language":"xx"})", "working readOnly=0 held=0\n"},
        {R"([1])", "working readOnly=0 held=0\n"},
    };
    for (const auto& [document, output] : cases) {
        writeFile(state / "state.json", document);
        EXPECT_EQ(runChild({"launch"}, env()).output, output) << document;
    }
    const size_t line = log().find("  state.json failed to decode (");
    ASSERT_NE(line, std::string::npos) << log();
    EXPECT_LT(log().find("); copy set aside as state.json.broken-", line), log().find('\n', line));
}

// The log's path comes from the state folder; a store built first logs through
// a log that is made while the store is still being built.
TEST_F(LogRunTest, StoreBuiltBeforeTheLogLogsItsBrokenDocument) {
    writeFile(state / "state.json", "[]");
    const auto result = runChild({"store"}, env());
    EXPECT_EQ(result.output, "readOnly=0\n");
    EXPECT_NE(log().find("  state.json failed to decode ("), std::string::npos) << log();
}

TEST_F(LogRunTest, SecondProcessGetsAReadOnlyStore) {
    auto holder = testing::startChild({"launch", "wait"}, env());
    EXPECT_EQ(holder.readLine(), "working readOnly=0 held=0");
    EXPECT_EQ(runChild({"launch"}, env()).output, "working readOnly=1 held=1\n");
    EXPECT_EQ(Store::decode(readFile(state / "state.json"))->recents.size(), 1u);  // the holder's change alone
    // Children must not inherit the descriptors on the log and on the locked folder.
    int onStateFolder = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(holder.pid) + "/fd")) {
        std::error_code error;
        if (!std::filesystem::read_symlink(fd.path(), error).string().starts_with(state.path().string())) continue;
        const std::string info = readFile("/proc/" + std::to_string(holder.pid) + "/fdinfo/" + fd.path().filename().string());
        const unsigned long flags = std::stoul(info.substr(info.find("flags:") + 6), nullptr, 8);
        EXPECT_TRUE(flags & O_CLOEXEC) << fd.path();
        ++onStateFolder;
    }
    EXPECT_EQ(onStateFolder, 2);  // the crash descriptor on log.txt and the folder lock
    holder.wait();
    EXPECT_NE(log().find("is in use by another process; changes will not be saved"), std::string::npos);
    EXPECT_EQ(runChild({"launch"}, env()).output, "working readOnly=0 held=0\n");
}

TEST_F(LogRunTest, KilledInTheMiddleOfSavesLeavesADecodableDocument) {
    for (int round = 0; round < 15; ++round) {
        auto child = testing::startChild({"save-loop"}, env());
        ASSERT_EQ(child.readLine(), "ready");
        std::this_thread::sleep_for(std::chrono::microseconds(500 + 1700 * round));
        ::kill(child.pid, SIGKILL);
        child.wait();
        const std::string document = readFile(state / "state.json");
        EXPECT_TRUE(Store::decode(document)) << round << ": " << document;
    }
    // The next launch clears what the killed saves left half written.
    runChild({"launch"}, env());
    for (const auto& entry : std::filesystem::directory_iterator(state.path()))
        EXPECT_FALSE(entry.path().filename().string().find("state.json.") != std::string::npos) << entry.path();
}

TEST_F(LogRunTest, UnreadableDocumentIsLoggedAndKept) {
    std::filesystem::create_directory(state / "state.json");
    EXPECT_EQ(runChild({"launch"}, env()).output, "working readOnly=1 held=0\n");
    EXPECT_NE(log().find("  state.json unreadable (Is a directory); changes will not be saved\n"), std::string::npos)
        << log();
    EXPECT_TRUE(std::filesystem::is_directory(state / "state.json"));
}

// The log and the run marker are written only as regular files of their own:
// what a link points to stays as it is, and a FIFO holds nothing up.
TEST_F(LogRunTest, LogAndMarkerAreWrittenOnlyAsRegularFiles) {
    struct Case {
        const char* name;
        const char* at;   // in the state folder
        bool link;        // else a FIFO
        const char* said;
    };
    const Case cases[] = {
        {"linked log", "log.txt", true, "log.txt is not a regular file; running without a log file\n"},
        {"linked marker", "running", true, "running is not a regular file; running without a run marker\n"},
        {"log FIFO", "log.txt", false, "log.txt is not a regular file; running without a log file\n"},
    };
    for (const Case& c : cases) {
        TempFolder folder, elsewhere;
        const auto target = elsewhere / "kept";
        const std::string content(2'700'000, 'k');
        writeFile(target, content);
        if (c.link) std::filesystem::create_symlink(target, folder / c.at);
        else ASSERT_EQ(::mkfifo((folder / c.at).c_str(), 0600), 0);
        const auto result =
            testing::runChildWithin({"run"}, {{"QUILTDECK_STATE_DIR", folder.path().string()}}, std::chrono::seconds(20));
        EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << c.name;
        EXPECT_NE(result.output.find(c.said), std::string::npos) << c.name << ": " << result.output;
        EXPECT_TRUE(readFile(target) == content) << c.name << ": the target changed";
        if (std::string_view(c.at) != "log.txt") {
            EXPECT_NE(readFile(folder / "log.txt").find("  quit\n"), std::string::npos) << c.name;
        }
        EXPECT_EQ(std::filesystem::symlink_status(folder / c.at).type(),
                  c.link ? std::filesystem::file_type::symlink : std::filesystem::file_type::fifo) << c.name;
    }
}

// A SIGTERM the main thread does not take in time ends the process all the same; with the last
// change saved by the store's writer meanwhile, the run counts as a clean quit.
TEST_F(LogRunTest, ASignalEndsAHeldProgramCleanlyWhenTheStateIsSaved) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* line;
        bool clean;
    };
    const Case cases[] = {
        {"saved", {"held"}, "the process ends now with the state saved\n", true},
        {"disk full", {"held", "full"}, "the process ends now, the state not saved\n", false},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::map<std::string, std::string> env = {{"QUILTDECK_STATE_DIR", folder.path().string()}};
        const auto result = testing::runChildWithin(c.args, env, std::chrono::seconds(20));
        EXPECT_TRUE(WIFSIGNALED(result.status) && WTERMSIG(result.status) == SIGTERM) << c.name;
        EXPECT_NE(readFile(folder / "log.txt").find(c.line), std::string::npos) << c.name << ": " << readFile(folder / "log.txt");
        EXPECT_EQ(std::filesystem::exists(folder / "state.json"), c.clean) << c.name;
        EXPECT_EQ(runChild({"run"}, env).output, c.clean ? "clean\n" : "unclean\n") << c.name;
    }
}

// What the program writes in the state folder is the user's alone, also what an earlier version
// left open: a launch mends it, and follows no link out of the folder.
TEST_F(LogRunTest, TheStateFolderIsTheUsersAlone) {
    struct Case {
        const char* name;
        const char* path;  // in the state folder; made as an earlier version made it
        mode_t made;       // a file, or a folder (S_IFDIR)
        mode_t after;
    };
    const Case cases[] = {
        {"the folder", "", S_IFDIR | 0755, 0700},
        {"log", "log.txt", 0644, 0600},
        {"run marker", "running", 0644, 0600},
        {"document", "state.json", 0644, 0600},
        {"damaged copy", "state.json.broken-1700000000", 0644, 0600},
        {"drops", "drops", S_IFDIR | 0755, 0700},
        {"pasted picture", "drops/1700000000-dropped.png", 0644, 0600},
        {"a one-shot run's folder", "drops/.claude", S_IFDIR | 0775, 0700},
        {"a file in it", "drops/.claude/settings.json", 0664, 0600},
        {"a script keeps its own bits", "drops/run.sh", 0755, 0700},
        {"not the program's", "notes.txt", 0644, 0644},
    };
    const auto modeOf = [](const std::filesystem::path& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : mode_t{0};
    };
    for (const bool earlier : {false, true}) {
        TempFolder state;
        if (earlier) {
            for (const Case& c : cases) {
                const auto path = state.path() / c.path;
                if (c.made & S_IFDIR) std::filesystem::create_directories(path);
                else writeFile(path, c.path == std::string_view("state.json") ? "{}" : "x");
                ::chmod(path.c_str(), c.made & 07777);
            }
        }
        // Links in drops to what is elsewhere: a file and a folder, both open to others.
        TempFolder elsewhere;
        writeFile(elsewhere / "file", "x");
        ::chmod((elsewhere / "file").c_str(), 0644);
        ::chmod(elsewhere.path().c_str(), 0755);
        std::filesystem::create_directories(state / "drops");
        std::filesystem::create_symlink(elsewhere / "file", state / "drops/linked-file");
        std::filesystem::create_symlink(elsewhere.path(), state / "drops/linked-folder");
        runChild({"launch"}, {{"QUILTDECK_STATE_DIR", state.path().string()}});
        for (const Case& c : cases) {
            const auto path = state.path() / c.path;
            if (!earlier && !std::filesystem::exists(path)) continue;  // a fresh folder has only some
            EXPECT_EQ(modeOf(path), c.after) << (earlier ? "earlier version's " : "fresh ") << c.name;
        }
        EXPECT_EQ(modeOf(elsewhere / "file"), 0644u);
        EXPECT_EQ(modeOf(elsewhere.path()), 0755u);
        for (const char* made : {"log.txt", "running", "state.json", "drops"})
            EXPECT_TRUE(std::filesystem::exists(state / made)) << made;
    }
}

}  // namespace
}  // namespace quiltdeck
