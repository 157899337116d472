// vantel-run as a user runs it: programs found on PATH, the caller's environment passed on,
// and one clear line for a program that cannot be started.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/ShellWord.h"

namespace {

using vantel::testing::shellWord;

struct ToolRun {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs vantel-run through the shell with `arguments` (already quoted) and `environment`
// assignments in front.
ToolRun runTool(const std::string& environment, const std::string& arguments) {
    // Tests run as processes side by side: a file of this process's own.
    static int calls = 0;
    const std::string errFile =
        ::testing::TempDir() + "vantel-run-stderr-" + std::to_string(::getpid()) + "-" + std::to_string(++calls);
    const std::string command = environment + " " + shellWord(VANTEL_RUN) + " --cols 40 --rows 3 --timeout 20 " +
                                arguments + " 2>" + shellWord(errFile) + "; echo \"status=$?\"";
    ToolRun run;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
        ::pclose(pipe);
    }
    const size_t at = run.out.rfind("status=");
    if (at != std::string::npos) {
        run.status = std::atoi(run.out.c_str() + at + 7);
        run.out.erase(at);
    }
    std::ifstream err(errFile);
    std::stringstream text;
    text << err.rdbuf();
    run.err = text.str();
    std::remove(errFile.c_str());
    return run;
}

}  // namespace

TEST(VantelRunTest, StartsProgramsFromPathWithTheCallersEnvironment) {
    const ToolRun run = runTool("VANTEL_RUN_PROBE=seen TERM=dumb COLORTERM=no",
                            "-- sh -c 'echo \"$VANTEL_RUN_PROBE $TERM $COLORTERM\"; exit 3'");
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "seen xterm-256color truecolor");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 3) << "the program's own status";
}

TEST(VantelRunTest, AProgramThatCannotStartGetsOneLineAndTheShellsStatus) {
    struct Case {
        const char* arguments;
        const char* line;
        int status;
    } cases[] = {
        {"-- vantel-run-no-such-program", "vantel-run: vantel-run-no-such-program: command not found\n", 127},
        {"-- /nonexistent/program", "vantel-run: /nonexistent/program: No such file or directory\n", 127},
        {"-- /", "vantel-run: /: Is a directory\n", 126},
        {"-- NOT_EXECUTABLE", "vantel-run: NOT_EXECUTABLE: Permission denied\n", 126},
    };
    const std::string plainFile = ::testing::TempDir() + "vantel-run-plain-file-" + std::to_string(::getpid());
    std::ofstream(plainFile) << "echo never\n";
    ASSERT_EQ(::chmod(plainFile.c_str(), 0644), 0);
    // The plain file's path: quoted on the command line, as it stands in the message.
    auto expand = [&](std::string text, const std::string& file) {
        if (const size_t at = text.find("NOT_EXECUTABLE"); at != std::string::npos) text.replace(at, 14, file);
        return text;
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool("", expand(c.arguments, shellWord(plainFile)));
        EXPECT_EQ(run.err, expand(c.line, plainFile)) << c.arguments;
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_EQ(run.out, "") << "no screen for a program that never ran: " << c.arguments;
    }
    std::remove(plainFile.c_str());
    const ToolRun empty = runTool("PATH=", "-- ls");
    EXPECT_EQ(empty.err, "vantel-run: ls: command not found\n") << "an empty PATH searches only the current directory";
}

// The exit can be reported while the host still holds the end of a flood: the screen is printed
// only after all of it reached the engine, every time. The flood ends in letters loaded with
// combining marks, which keep the engine busier than the terminal, so that output still waits in
// the host when the program ends.
TEST(VantelRunTest, TheEndOfALargeOutputIsOnThePrintedScreen) {
    const std::string flood = ::testing::TempDir() + "vantel-run-flood-" + std::to_string(::getpid());
    {
        std::string plain;
        for (int i = 0; i < 6; ++i) {
            plain += "\x1b[1;3" + std::to_string(i + 1) + "m";
            plain.push_back(static_cast<char>('a' + i));
            plain += "\x1b[0m ";
        }
        plain += "\r\n";
        std::string marked;
        for (int i = 0; i < 8; ++i) {
            marked += static_cast<char>('a' + i);
            for (int mark = 0; mark < 30; ++mark) {
                marked.push_back('\xcc');
                marked.push_back(static_cast<char>(0x80 + (i + mark) % 0x30));
            }
        }
        marked += "\r\n";
        constexpr size_t total = 20'000'000, markedBytes = 1'000'000;
        std::ofstream out(flood, std::ios::binary);
        size_t written = 0;
        for (; written < total - markedBytes; written += plain.size()) out << plain;
        for (; written < total; written += marked.size()) out << marked;
    }
    constexpr int runs = 10;
    int seen = 0;
    for (int run = 0; run < runs; ++run) {
        const std::string marker = "end of output " + std::to_string(run);
        const ToolRun result = runTool("", "-- sh -c 'cat \"$0\"; echo \"$1\"' " + shellWord(flood) + " " + shellWord(marker));
        EXPECT_EQ(result.status, 0) << result.err;
        const bool shown = result.out.find(marker) != std::string::npos;
        EXPECT_TRUE(shown) << "run " << run << " printed:\n" << result.out;
        seen += shown;
    }
    EXPECT_EQ(seen, runs);
    std::remove(flood.c_str());
}

// A child of the program that keeps the terminal open gives the host no end to read to: the
// screen is printed once the output stops, not when the tool's time runs out.
TEST(VantelRunTest, AChildKeepingTheTerminalOpenDoesNotHoldThePrint) {
    const ToolRun result = runTool("", "--timeout 10 -- sh -c '(trap \"\" HUP; exec sleep 2) & echo started'");
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "started");
    EXPECT_EQ(result.status, 0) << "not stopped at the time limit (124): " << result.err;
}
