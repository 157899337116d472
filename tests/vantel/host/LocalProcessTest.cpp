#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/runtime/DescriptorLimit.h"
#include "platform/runtime/GLibMainLoop.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "support/HostTestSupport.h"
#include "vantel/host/LocalProcess.h"
#include "vantel/host/PseudoTerminalHelpers.h"

namespace vantel {
namespace {

using namespace std::chrono_literals;
using platform::runtime::Clock;
using platform::runtime::GLibMainLoop;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using testing::expectedPattern;
using testing::testChild;
using testing::waitFor;

// Collects what the process tells its owner.
class Collector : public LocalProcessDelegate {
public:
    void processTerminated(LocalProcess&, std::optional<int32_t> exitCode) override { exits.push_back(exitCode); }
    void dataReceived(std::span<const uint8_t> slice) override {
        output.append(slice.begin(), slice.end());
        if (onData) onData(slice);
    }
    winsize getWindowSize() override { return size; }

    bool saw(const std::string& text) const { return output.find(text) != std::string::npos; }
    // The lines the test child printed with `prefix`, without it.
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> result;
        std::istringstream in(output);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind(prefix, 0) == 0) result.push_back(line.substr(prefix.size()));
        }
        return result;
    }

    std::string output;
    std::vector<std::optional<int32_t>> exits;
    winsize size{25, 80, 0, 0};
    std::function<void(std::span<const uint8_t>)> onData;
};

class LocalProcessTest : public ::testing::Test {
protected:
    bool runUntil(const std::function<bool()>& done) { return waitFor(loop, done); }
    void settle() { loop.runUntil([] { return false; }, 200ms); }

    GLibMainLoop loop;
    ScopedMainLoop scope{loop};
    Collector collector;
    LocalProcess process{&collector};
};

TEST_F(LocalProcessTest, ArgumentsStartWithTheExecNameEnvironmentDefaultsToTheTerminals) {
    struct Case {
        std::string mode;
        std::optional<std::string> execName;
        std::optional<std::vector<std::string>> environment;
        std::vector<std::string> mustHave;
        std::optional<size_t> count;
    };
    const std::vector<Case> cases = {
        {"arg", std::nullopt, std::nullopt, {testChild, "argv", "two words"}, 3},
        {"arg", "-quiltdeck-login", std::nullopt, {"-quiltdeck-login", "argv", "two words"}, 3},
        {"env", std::nullopt, std::nullopt, {"TERM=xterm-256color", "COLORTERM=truecolor", "LANG=en_US.UTF-8"}, {}},
        {"env", std::nullopt, std::vector<std::string>{}, {}, 0},
        {"env", std::nullopt, std::vector<std::string>{"ONLY=this"}, {"ONLY=this"}, 1},
    };
    for (const Case& c : cases) {
        Collector out;
        LocalProcess child(&out);
        child.startProcess(testChild, {c.mode == "arg" ? "argv" : "env", "two words"}, c.environment, c.execName);
        ASSERT_TRUE(runUntil([&] { return out.saw("END") && !out.exits.empty(); }));
        EXPECT_EQ(out.exits, std::vector<std::optional<int32_t>>{0});
        const auto lines = out.lines(c.mode + ":");
        if (c.mode == "arg") {
            EXPECT_EQ(lines, c.mustHave) << "in order";
        }
        for (const auto& entry : c.mustHave) EXPECT_NE(std::find(lines.begin(), lines.end(), entry), lines.end()) << entry;
        if (c.count) {
            EXPECT_EQ(lines.size(), *c.count);
        }
    }
}

TEST_F(LocalProcessTest, ExitIsReportedAsTheRawWaitStatus) {
    struct Case {
        std::string executable;
        std::vector<std::string> args;
        int32_t rawStatus;
    };
    const std::vector<Case> cases = {
        {testChild, {"exit", "0"}, 0},
        {testChild, {"exit", "3"}, 768},
        {"/nonexistent/program", {}, 32512},
    };
    for (const Case& c : cases) {
        Collector out;
        LocalProcess child(&out);
        // No check of running() here: the reader may already have seen the end of a quick child.
        child.startProcess(c.executable, c.args);
        ASSERT_TRUE(runUntil([&] { return !out.exits.empty(); })) << c.executable;
        EXPECT_EQ(out.exits, std::vector<std::optional<int32_t>>{c.rawStatus});
        EXPECT_FALSE(child.running());
        // The pid stays for the owner to read.
        EXPECT_GT(child.shellPid(), 0);
    }
}

TEST_F(LocalProcessTest, TerminateSignalsReapsAndReportsNothing) {
    process.startProcess(testChild, {"wait"});
    const pid_t pid = process.shellPid();
    ASSERT_TRUE(process.running());
    process.terminate();
    EXPECT_FALSE(process.running());
    EXPECT_EQ(process.childfd(), -1);
    // The loop still reaps the child, so no zombie is left behind.
    ASSERT_TRUE(runUntil([&] { return loop.pendingReapCount() == 0; }));
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    settle();
    EXPECT_TRUE(collector.exits.empty());
    // Not running any more: sends are ignored and count nothing.
    process.send(std::vector<uint8_t>{'x'});
    EXPECT_EQ(process.sendCount(), 0);
}

TEST_F(LocalProcessTest, SecondStartWhileRunningIsIgnoredAfterTheEndItRunsANewChild) {
    process.startProcess(testChild, {"wait"});
    const pid_t first = process.shellPid();
    const int master = process.childfd();
    process.startProcess(testChild, {"exit", "5"});
    EXPECT_EQ(process.shellPid(), first);
    EXPECT_EQ(process.childfd(), master);
    settle();
    EXPECT_TRUE(collector.exits.empty());
    EXPECT_EQ(::kill(first, 0), 0) << "the first child must still run";
    process.terminate();

    process.startProcess(testChild, {"exit", "2"});
    ASSERT_TRUE(runUntil([&] { return collector.exits.size() == 1; }));
    EXPECT_NE(process.shellPid(), first);
    EXPECT_EQ(collector.exits, (std::vector<std::optional<int32_t>>{512}));
}

// Ctrl+C goes next, whatever the child reads: pasted text that waits to be written is taken back,
// a character begun is finished, keys and other input stay, and a terminal too full to take the
// next byte lets go of what it held unread, where the Ctrl+C would discard it once in: then
// nothing of a character it had begun to take is written. A child that reads slowly is no stalled
// one, and a raw reader (its keys make no signals) keeps what it held, keys typed before the paste.
TEST_F(LocalProcessTest, PastedTextWaitingToBeWrittenIsTakenBack) {
    // Each says READY once its terminal is set as it wants it.
    struct Case {
        const char* name;
        std::vector<std::string> child;
        bool flushed;
        // What it says once it read after the stop (before any Ctrl+C), and once the Ctrl+C came.
        std::string read = {};
        std::string interrupted = "GOT-INT";
        // Text of three-byte characters alone: a write is cut inside one.
        bool wide = false;
    } const cases[] = {
        {"a shell waiting for a command that reads nothing",
         {"/bin/sh", "-c", "stty -echo; trap 'echo GOT-INT; exit 0' INT; echo READY; sleep 60 & wait"}, true},
        // Its first byte after the flush (before any Ctrl+C) is the key behind the paste, not the
        // rest of a character.
        {"a child that stalls, then reads; text of three-byte characters",
         {"/bin/sh", "-c",
          "stty -icanon -echo; trap 'echo GOT-INT; exit 0' INT; echo READY; sleep 4; "
          "printf 'FIRST=%s\\n' \"$(head -c 1 | od -An -tx1 | tr -d ' ')\"; sleep 60 & wait"},
         true, "FIRST=6a", "GOT-INT", true},
        {"a child that reads slowly", {testChild, "slowreader", "4096", "10"}, false},
        {"a child that reads 4 KiB every 50 ms", {testChild, "slowreader", "4096", "50"}, false},
        // Its keys make no signals: the key typed before the paste is the first it reads.
        {"a raw reader that reads later", {"/bin/sh", "-c", "stty raw -echo; echo READY; sleep 1; printf 'FIRST=%s\\n' \"$(head -c 1)\""},
         false, "FIRST=k", ""},
    };
    for (const Case& c : cases) {
        Collector out;
        LocalProcess child(&out);
        child.startProcess(c.child[0], {c.child.begin() + 1, c.child.end()});
        ASSERT_TRUE(runUntil([&] { return out.saw("READY"); })) << c.name;
        // 1 MiB of pasted lines, each piece beginning with a 3-byte character, behind a key, and a key after it.
        child.send(std::vector<uint8_t>{'k'});
        std::vector<uint8_t> piece(65536, 'p');
        for (size_t at = 0; c.wide && at + 3 <= piece.size(); at += 3) {
            piece[at] = 0xE2, piece[at + 1] = 0x82, piece[at + 2] = 0xAC;
        }
        for (size_t line = 99; line < piece.size(); line += 100) piece[line] = '\n';
        piece[0] = 0xE2, piece[1] = 0x82, piece[2] = 0xAC;
        for (int i = 0; i < 16; ++i) ASSERT_TRUE(child.sendPaste(piece, 7)) << c.name;
        child.send(std::vector<uint8_t>{'j'});
        // Long enough for a terminal that takes nothing to count as full.
        std::this_thread::sleep_for(LocalProcess::stalledTerminal + 100ms);
        bool flushed = false;
        const auto taken = child.takeBackPastes(&flushed);
        ASSERT_EQ(taken.size(), 1u) << c.name;
        EXPECT_GT(taken.at(7), 900'000u) << c.name;
        // What is left is the key behind, and what was begun of one piece, to its character's end;
        // after a flush, the key alone (which the terminal, empty now, may have taken already).
        const size_t left = child.writeFigures().queuedBytes;
        EXPECT_LE(left, 65536u + 1) << c.name;
        EXPECT_EQ(flushed, c.flushed) << c.name;
        if (flushed) {
            EXPECT_LE(left, 1u) << c.name;
        }
        EXPECT_TRUE(child.takeBackPastes().empty()) << c.name;
        if (!c.read.empty()) {
            EXPECT_TRUE(runUntil([&] { return out.saw(c.read); })) << c.name << ": " << out.output.substr(0, 200);
        }
        child.send(std::vector<uint8_t>{'\x03'});
        if (!c.interrupted.empty()) {
            EXPECT_TRUE(runUntil([&] { return out.saw(c.interrupted); })) << c.name << ": " << out.output.substr(0, 200);
        }
        child.terminate();
    }
}

// Input sent to go when read waits until the child has read all the input before it and waits
// for more, where the terminal makes signals of keys: an interrupt key taken in earlier would
// discard what the child had not read, and one heard while it works goes unheard by a line editor.
// An editor that works past the bound on what it read (running all along: a loaded machine) is
// waited for; one that sleeps, reading nothing, gets the key at the bound. (Their text fits in the
// terminal at once: the key waits for them, not for room.)
TEST_F(LocalProcessTest, InputSentWhenReadWaitsForTheChildToReadAllBefore) {
    const struct {
        std::vector<std::string> pause;
        size_t size;
        std::string said;
        size_t pastLimit;
    } cases[] = {
        {{}, 64 << 10, "INT read=65536 waiting=1", 0},
        {{"busy", "4000"}, 2 << 10, "INT read=2048 waiting=1", 0},
        {{"asleep", "4000"}, 2 << 10, "INT read=1 waiting=0", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pause.empty() ? "reading" : c.pause[0]);
        Collector out;
        LocalProcess child(&out);
        std::vector<std::string> args{"editor"};
        args.insert(args.end(), c.pause.begin(), c.pause.end());
        child.startProcess(testChild, args);
        ASSERT_TRUE(runUntil([&] { return out.saw("READY"); }));
        ASSERT_TRUE(child.send(std::vector<uint8_t>(c.size, 'p')));
        ASSERT_TRUE(child.sendWhenRead(std::vector<uint8_t>{'\x03'}));
        EXPECT_TRUE(waitFor(loop, [&] { return out.saw("INT "); }, 30s));
        EXPECT_TRUE(out.saw(c.said)) << out.output;
        EXPECT_EQ(child.writeFigures().readerWaitsPastLimit, c.pastLimit);
        child.terminate();
    }
}

// Keys sent after an interrupt that waited for its reader wait as long as the program takes to act
// on the signal, and no longer: one slow to wake still shows blocked in the read the signal found
// it in, and would read the keys first (into the line the interrupt throws away); one that ignores
// the signal, or takes it quietly and reads on, has acted at once. One that holds the signal
// blocked for good gets them once the bound has passed, unless the user insists with another
// interrupt, which goes at once with what waits before it.
TEST_F(LocalProcessTest, KeysAfterAnInterruptWaitForTheProgramToActOnIt) {
    struct Case {
        const char* name;
        std::string how;
        std::string heard;
        bool insist = false;
        size_t pastLimit = 0;  // waits that ran to the bound
    };
    const Case cases[] = {
        {"slow to wake", "", "PROMPT\r\nKEY a after\r\nKEY b after\r\n"},
        {"ignores it", "ignore", "KEY a before\r\nKEY b before\r\n"},
        {"takes it quietly", "quiet", "KEY a before\r\nKEY b before\r\n"},
        {"holds it blocked", "deaf", "KEY a before\r\nKEY b before\r\n", false, 1},
        // The second key discards what the program has not read, as the terminal does.
        {"holds it blocked, the user insists", "deaf", "KEY b before\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Collector out;
        LocalProcess child(&out);
        child.startProcess(testChild, {"lateint", c.how});
        ASSERT_TRUE(runUntil([&] { return out.saw("READY"); }));
        ASSERT_TRUE(child.sendWhenRead(std::vector<uint8_t>{'\x03'}));
        const auto sent = Clock::now();
        ASSERT_TRUE(child.send(std::vector<uint8_t>{'a'}));
        if (c.insist) {
            ASSERT_TRUE(child.sendInsisting(std::vector<uint8_t>{'\x03'}));
        }
        ASSERT_TRUE(child.send(std::vector<uint8_t>{'b'}));
        // The bound is a second: ten times that on a loaded machine, never twenty.
        EXPECT_TRUE(waitFor(loop, [&] { return out.saw("KEY b"); }, 10s)) << out.output;
        EXPECT_NE(out.output.find(c.heard), std::string::npos) << out.output;
        EXPECT_EQ(child.writeFigures().interruptWaitsPastLimit, c.pastLimit);
        EXPECT_EQ(child.writeFigures().readerWaitsPastLimit, 0u);
        if (c.pastLimit) {
            EXPECT_GE(Clock::now() - sent, LocalProcess::interruptActLimit);
        }
        child.send(std::vector<uint8_t>{'q'});
        child.terminate();
    }
}

// Whether the child waits for input looks at what its terminal holds unread: a program waiting for
// another descriptor (blocked, as a reader looks) has not read what was written to it yet, and a
// byte written just now counts at once, though the kernel hands it in on a worker of its own. Also
// by the child side's name, as on a kernel that cannot reach it through the master.
TEST_F(LocalProcessTest, AChildWithInputUnreadIsNoReaderThatWaits) {
    for (const bool byName : {false, true}) {
        SCOPED_TRACE(byName ? "by name" : "through the master");
        PseudoTerminalHelpers::setPeerByNameOnly(byName);
        Collector out;
        LocalProcess child(&out);
        child.startProcess(testChild, {"elsewhere"});
        ASSERT_TRUE(runUntil([&] { return out.saw("READY"); }));
        ASSERT_TRUE(runUntil([&] { return PseudoTerminalHelpers::childWaitsForInput(child.childfd()); }));
        EXPECT_EQ(PseudoTerminalHelpers::unreadInput(child.childfd()), 0);
        ASSERT_TRUE(child.send(std::vector<uint8_t>{'x', 'y'}));
        ASSERT_TRUE(runUntil([&] { return PseudoTerminalHelpers::unreadInput(child.childfd()) == 2; }));
        EXPECT_FALSE(PseudoTerminalHelpers::childWaitsForInput(child.childfd()));
        // A key written to a terminal that held none, looked at straight after, keys a moment apart
        // (the worker that hands it over has gone to sleep meanwhile): without waiting for the
        // hand-over, it reads as none a tenth to a quarter of the time.
        char name[128];
        ASSERT_EQ(::ptsname_r(child.childfd(), name, sizeof name), 0);
        const int peer = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(peer, 0);
        int missed = 0;
        for (int i = 0; i < 200; ++i) {
            ASSERT_EQ(::tcflush(peer, TCIFLUSH), 0);
            std::this_thread::sleep_for(200us);
            ASSERT_EQ(::write(child.childfd(), "z", 1), 1);
            if (PseudoTerminalHelpers::unreadInput(child.childfd()) != 1) ++missed;
        }
        ::close(peer);
        EXPECT_EQ(missed, 0);
        child.terminate();
    }
    PseudoTerminalHelpers::setPeerByNameOnly(false);
}

// Who reads the keys is told by the terminal's foreground group and its mode alone: the shell at its
// prompt (in vi mode too, or with a job in the background), a command that reads lines or none,
// a program that reads its keys one by one (a nested shell, a REPL). And whether the foreground
// relays them to a terminal where they make signals again: one of its own (script's), or one
// elsewhere, as its name says (ssh); a raw reader with a helper child on this terminal, or a
// detached one, does not.
TEST_F(LocalProcessTest, WhoReadsTheKeysIsToldByTheForegroundGroupAndItsMode) {
    using F = LocalProcess::Foreground;
    char folder[] = "/tmp/relay-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder));
    // A program by a relay's name.
    std::filesystem::copy_file("/bin/sleep", std::string(folder) + "/ssh");
    const std::string cbreak = "python3 -c 'import tty, time; tty.setcbreak(0); time.sleep(30)'";
    const struct {
        std::string typed;
        F expected;
        bool relays = false;
    } cases[] = {
        {"", F::child},
        {"set -o vi", F::child},
        {"sleep 30 &", F::child},
        {"sleep 30", F::lineReader},
        {"cat", F::lineReader},
        {"bash --norc --noprofile -i", F::keyReader},
        {"python3 -q", F::keyReader},
        {"script -qfec 'sleep 30' /dev/null", F::keyReader, true},
        {std::string(folder) + "/ssh 30", F::lineReader, true},
        {"sh -c \"sleep 30 & exec " + cbreak + "\"", F::keyReader},
        {"sh -c \"setsid sleep 30 & exec " + cbreak + "\"", F::keyReader},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Collector out;
        LocalProcess shell(&out);
        EXPECT_EQ(shell.foreground(), F::child);
        EXPECT_FALSE(shell.foregroundRelays());
        shell.startProcess("/bin/bash", {"--norc", "--noprofile", "-i"},
                           std::vector<std::string>{"PS1=PROMPT$ ", "TERM=xterm-256color", "HOME=/nonexistent",
                                                    "INPUTRC=/dev/null", "PATH=/usr/bin:/bin"});
        ASSERT_TRUE(runUntil([&] { return out.saw("PROMPT$ "); }));
        const std::string line = std::string(c.typed) + "\r";
        ASSERT_TRUE(shell.send(std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size())));
        // The shell's own rows: its prompt again; the others: the program's mode.
        if (c.expected == F::child) {
            ASSERT_TRUE(runUntil([&] { return out.output.find("PROMPT$ ", out.output.find("PROMPT$ ") + 1) != std::string::npos; }));
        } else {
            runUntil([&] { return shell.foreground() == c.expected && shell.foregroundRelays() == c.relays; });
        }
        EXPECT_EQ(shell.foreground(), c.expected) << out.output;
        EXPECT_EQ(shell.foregroundRelays(), c.relays) << out.output;
        shell.terminate();
    }
    std::filesystem::remove_all(folder);
}

TEST_F(LocalProcessTest, SttySizeFollowsTheWindowSize) {
    collector.size = winsize{30, 100, 0, 0};
    process.startProcess("/bin/sh", {"-c", "stty size; read line; stty size"});
    ASSERT_TRUE(runUntil([&] { return collector.saw("30 100"); }));
    EXPECT_EQ(process.setWindowSize(winsize{40, 120, 0, 0}), 0);
    process.send(std::vector<uint8_t>{'\n'});
    ASSERT_TRUE(runUntil([&] { return collector.saw("40 120"); }));
}

// A program that raised its descriptor limit (the hook server's connections) gives its shells the
// limit the session had.
TEST_F(LocalProcessTest, ChildGetsTheDescriptorLimitFromBeforeTheRaise) {
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    ASSERT_GE(original.rlim_max, 1001u);
    struct Restore {
        rlimit limit;
        ~Restore() { ::setrlimit(RLIMIT_NOFILE, &limit); }
    } restore{original};
    rlimit lowered = original;
    lowered.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_EQ(platform::runtime::raiseDescriptorLimit(1001), 1001u);
    process.startProcess("/bin/sh", {"-c", "echo limit $(ulimit -Sn)"});
    ASSERT_TRUE(runUntil([&] { return collector.saw("limit 1000"); }));
}

TEST_F(LocalProcessTest, SecondChildHoldsNoDescriptorOfTheFirst) {
    process.startProcess(testChild, {"wait"});
    const int firstMaster = process.childfd();
    Collector out;
    LocalProcess second(&out);
    second.startProcess(testChild, {"fds"});
    ASSERT_TRUE(runUntil([&] { return out.saw("END"); }));
    const auto fds = out.lines("fd:");
    EXPECT_FALSE(fds.empty());
    for (const auto& fd : fds) {
        EXPECT_NE(fd.rfind(std::to_string(firstMaster) + ":", 0), 0u) << fd;
        EXPECT_EQ(fd.find("ptmx"), std::string::npos) << fd;
        EXPECT_EQ(fd.find("pidfd"), std::string::npos) << fd;
    }
    process.terminate();
}

// The child must see none of this program's descriptors, blocked signals or ignored signals.
TEST_F(LocalProcessTest, ChildStartsWithDefaultSignalsAndNoInheritedDescriptors) {
    const int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    ASSERT_GT(leaked, 2);
    struct sigaction ignore {}, previousPipe {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previousPipe);
    sigset_t blocked, previousMask;
    ::sigemptyset(&blocked);
    ::sigaddset(&blocked, SIGUSR2);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);

    process.startProcess(testChild, {"inherited"});
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::sigaction(SIGPIPE, &previousPipe, nullptr);
    ::close(leaked);
    ASSERT_TRUE(runUntil([&] { return collector.saw("END"); }));

    for (const auto& line : collector.lines("signals:")) {
        EXPECT_EQ(line.substr(line.find_last_of("\t ") + 1), "0000000000000000") << line;
    }
    EXPECT_EQ(collector.lines("signals:").size(), 2u);
    for (const auto& fd : collector.lines("fd:")) EXPECT_LE(std::stoi(fd), 2) << fd;
}

// SIGTERM and SIGHUP ignored: after the grace the child is killed and reaped all the same.
TEST(LocalProcessTerminateTest, ChildThatIgnoresTerminateIsKilledAfterTheGrace) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    Collector collector;
    LocalProcess process(&collector);
    process.startProcess(testChild, {"stubborn"});
    const pid_t pid = process.shellPid();
    ASSERT_TRUE(waitFor(loop, [&] { return collector.saw("READY"); }));
    process.terminate();
    loop.runUntil([] { return false; }, 300ms);
    EXPECT_EQ(::kill(pid, 0), 0) << "still within its grace";
    EXPECT_EQ(loop.pendingReapCount(), 1u);
    loop.advance(LocalProcess::terminateGrace);
    EXPECT_TRUE(waitFor(loop, [&] { return loop.pendingReapCount() == 0; }));
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_TRUE(collector.exits.empty());
    // The group goes with it: the grandchild is killed too (gone, or a zombie left to init).
    const auto grandchild = collector.lines("grandchild:");
    ASSERT_EQ(grandchild.size(), 1u);
    const std::string stat = "/proc/" + grandchild[0] + "/stat";
    EXPECT_TRUE(waitFor(loop, [&] {
        std::ifstream file(stat);
        std::string pidField, name, state;
        return !(file >> pidField >> name >> state) || state == "Z";
    }));
}

TEST_F(LocalProcessTest, WritesArriveInOrderFromAnyThread) {
    process.startProcess("/bin/sh", {"-c", "stty -echo -icanon; echo READY; exec cat"});
    ASSERT_TRUE(runUntil([&] { return collector.saw("READY"); }));
    collector.output.clear();
    // Letters only: nothing the line discipline would act on.
    std::string sent;
    for (int i = 0; i < 64; ++i) sent += std::string(4096, static_cast<char>('a' + i % 26));
    std::thread writer([&] {
        for (size_t at = 0; at < sent.size(); at += 4096) {
            process.send(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(sent.data() + at), 4096));
        }
        process.send({});  // counts, writes nothing
    });
    writer.join();
    ASSERT_TRUE(runUntil([&] { return collector.output.size() >= sent.size(); }));
    EXPECT_TRUE(collector.output == sent);
    EXPECT_EQ(process.sendCount(), 65);
    ASSERT_TRUE(runUntil([&] { return process.total() == static_cast<int64_t>(sent.size()); }));
    process.terminate();
}

// One delivery, with the drain pass it belongs to.
struct Delivery {
    size_t pass;
    size_t size;
};

TEST_F(LocalProcessTest, TenMebibytesArriveOnceInOrderWithBackPressureAndShortPasses) {
    constexpr size_t total = 10 * 1024 * 1024;
    std::vector<Delivery> deliveries;
    bool backlogBuilt = false;
    collector.output.reserve(total);
    collector.onData = [&](std::span<const uint8_t> slice) {
        // Hold the loop on the first delivery until the reader has stopped for
        // back-pressure, then take a while over each: 1 ms a full read.
        if (!backlogBuilt) {
            const auto limit = Clock::now() + testing::childTimeout;
            while (process.deliveryFigures().suspensions == 0 && Clock::now() < limit) {
                std::this_thread::sleep_for(1ms);
            }
            backlogBuilt = true;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds((slice.size() + 127) / 128));
        }
        deliveries.push_back({process.deliveryFigures().drainPasses, slice.size()});
    };
    process.startProcess(testChild, {"pattern", std::to_string(total)});
    ASSERT_TRUE(runUntil([&] { return collector.output.size() >= total && !collector.exits.empty(); }));

    EXPECT_EQ(collector.exits, std::vector<std::optional<int32_t>>{0});
    ASSERT_EQ(collector.output.size(), total);
    EXPECT_TRUE(collector.output == expectedPattern(total)) << "bytes lost, doubled or out of order";

    const auto figures = process.deliveryFigures();
    EXPECT_GE(figures.suspensions, 1u);
    EXPECT_EQ(figures.resumes, figures.suspensions);
    EXPECT_LE(figures.peakPendingBytes, 4u * 1024 * 1024 + LocalProcess::readSize);
    EXPECT_LE(figures.highestPendingAtResume, 1024u * 1024);

    // A pass starts no piece once 4 ms have gone by. Counted in bytes, not read off a clock (a
    // loaded machine only ends passes sooner): every byte delivered before a pass's last piece
    // slept at least 1/128 µs (rounded up), so those bytes come to less than 4 ms' worth.
    std::map<size_t, std::pair<size_t, size_t>> passes;  // bytes before the last piece, last piece
    for (const auto& d : deliveries) {
        auto& [before, last] = passes[d.pass];
        before += last;
        last = d.size;
    }
    EXPECT_GT(passes.size(), 1u);
    for (const auto& [pass, bytes] : passes) EXPECT_LT(bytes.first, 512'000u) << "pass " << pass;
}

// The exit report may come first; once the reader has seen the end and
// nothing waits for the delegate, every byte has been delivered.
TEST_F(LocalProcessTest, AfterTheEndNoOutputWaits) {
    constexpr size_t total = 1024 * 1024;
    collector.output.reserve(total);
    process.startProcess(testChild, {"pattern", std::to_string(total)});
    ASSERT_TRUE(runUntil([&] { return !collector.exits.empty(); }));
    ASSERT_TRUE(runUntil([&] { return process.childfd() < 0 && !process.hasPendingOutput(); }));
    EXPECT_EQ(collector.output.size(), total);
    EXPECT_TRUE(collector.output == expectedPattern(total));
    // What an owner counts on when no end comes: what was written, and what was handed over.
    EXPECT_EQ(process.outputWritten(), std::optional<uint64_t>(total));
    EXPECT_EQ(process.outputDelivered(), total);
}

TEST_F(LocalProcessTest, OutputAfterTheExitReportResumesAfterBackPressure) {
    // The shell exits at once; its background child writes 5 MiB afterwards.
    constexpr size_t total = 5 * 1024 * 1024;
    bool first = true;
    collector.output.reserve(total);
    collector.onData = [&](std::span<const uint8_t>) {
        if (!std::exchange(first, false)) return;
        const auto limit = Clock::now() + testing::childTimeout;
        while (process.deliveryFigures().suspensions == 0 && Clock::now() < limit) std::this_thread::sleep_for(1ms);
    };
    // Ignored before the fork, so the hang-up at the shell's exit cannot win the race.
    const std::string script =
        "trap '' HUP; ( sleep 1; exec '" + testChild + "' pattern " + std::to_string(total) + " ) & exit 0";
    process.startProcess("/bin/sh", {"-c", script});
    ASSERT_TRUE(runUntil([&] { return collector.output.size() >= total; })) << collector.output.size();
    EXPECT_EQ(collector.exits, std::vector<std::optional<int32_t>>{0});
    EXPECT_TRUE(collector.output == expectedPattern(total));
    EXPECT_GE(process.deliveryFigures().resumes, 1u);
}

TEST(LocalProcessVirtualClockTest, DrainPassYieldsAfterFourMillisecondsOfDelivery) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    Collector collector;
    LocalProcess process(&collector);
    constexpr size_t total = 2 * 1024 * 1024;
    std::map<size_t, int> chunksPerPass;
    bool first = true;
    collector.onData = [&](std::span<const uint8_t>) {
        if (first) {
            // Let a backlog build before the first delivery ends.
            const auto limit = Clock::now() + testing::childTimeout;
            while (process.deliveryFigures().peakPendingBytes < total / 2 && Clock::now() < limit) {
                std::this_thread::sleep_for(1ms);
            }
            first = false;
        }
        ++chunksPerPass[process.deliveryFigures().drainPasses];
        loop.skipTime(1ms);
    };
    process.startProcess(testChild, {"pattern", std::to_string(total)});
    ASSERT_TRUE(waitFor(loop, [&] { return collector.output.size() >= total; }));
    EXPECT_TRUE(collector.output == expectedPattern(total));
    int longest = 0;
    for (const auto& [pass, chunks] : chunksPerPass) longest = std::max(longest, chunks);
    EXPECT_EQ(longest, 4);
}

// A consumer that needs 1 ms for every 256 bytes gets pieces, not whole reads:
// no pass runs past 4 ms by more than the one piece it started.
TEST(LocalProcessVirtualClockTest, SlowConsumerGetsPiecesThatKeepPassesShort) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    Collector collector;
    LocalProcess process(&collector);
    constexpr size_t total = 1024 * 1024;
    std::map<size_t, std::pair<Clock::time_point, Clock::time_point>> passes;
    size_t largestPiece = 0;
    collector.onData = [&](std::span<const uint8_t> slice) {
        const auto began = loop.now();
        loop.skipTime(std::chrono::microseconds(slice.size() * 1000 / 256));
        auto [it, fresh] = passes.try_emplace(process.deliveryFigures().drainPasses, began, loop.now());
        it->second.second = loop.now();
        largestPiece = std::max(largestPiece, slice.size());
    };
    process.startProcess(testChild, {"pattern", std::to_string(total)});
    ASSERT_TRUE(waitFor(loop, [&] { return collector.output.size() >= total; }));
    EXPECT_TRUE(collector.output == expectedPattern(total));
    EXPECT_LE(largestPiece, 1024u);
    for (const auto& [pass, span] : passes) EXPECT_LE(span.second - span.first, 4ms + 2ms) << "pass " << pass;
    EXPECT_GT(passes.size(), 100u);
}

// On a starved core the loop's thread is preempted inside work for milliseconds at a time: the
// pieces are sized on its work, not on the time it was away, so they still grow and a first screen
// needs a few passes. A costly consumer still gets pieces of about 1 ms of its work, and a pass
// still ends after 4 ms of real time.
TEST(LocalProcessVirtualClockTest, PreemptedLoopStillGrowsPiecesOnItsWork) {
    struct Case {
        std::chrono::nanoseconds preempted;  // per piece
        std::chrono::nanoseconds workPerByte;
        size_t fewestPasses, mostPasses;
        size_t largestPiece;
    };
    for (const Case& c : {Case{0ns, 100ns, 1, 3, 16384}, Case{3ms, 100ns, 2, 5, 16384},
                          Case{20ms, 100ns, 4, 7, 16384}, Case{20ms, 3906ns, 8, 16, 1024}}) {
        VirtualMainLoop loop;
        ScopedMainLoop scope(loop);
        Collector collector;
        LocalProcess process(&collector);
        constexpr size_t screen = 4096;
        size_t largest = 0;
        collector.onData = [&](std::span<const uint8_t> slice) {
            if (largest == 0) {
                // The whole screen waits before the first piece ends.
                const auto limit = Clock::now() + testing::childTimeout;
                while (process.deliveryFigures().peakPendingBytes + collector.output.size() < screen &&
                       Clock::now() < limit) {
                    std::this_thread::sleep_for(1ms);
                }
            }
            largest = std::max(largest, slice.size());
            loop.skipTime(c.workPerByte * slice.size());
            loop.preempt(c.preempted);
        };
        process.startProcess(testChild, {"pattern", std::to_string(screen)});
        ASSERT_TRUE(waitFor(loop, [&] { return collector.output.size() >= screen; }));
        EXPECT_TRUE(collector.output == expectedPattern(screen));
        const auto row = "preempted " + std::to_string(c.preempted.count()) + " ns a piece, " +
                         std::to_string(c.workPerByte.count()) + " ns a byte";
        EXPECT_GE(process.deliveryFigures().drainPasses, c.fewestPasses) << row;
        EXPECT_LE(process.deliveryFigures().drainPasses, c.mostPasses) << row;
        EXPECT_LE(largest, c.largestPiece) << row;
    }
}

// Two children flooding at once split the slice: each pass of either takes about 2 ms, so the
// other one waits one short round, not a whole slice.
TEST(LocalProcessVirtualClockTest, ChildrenDeliveringTogetherShareTheSlice) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    constexpr size_t total = 2 * 1024 * 1024;
    Collector first, second;
    LocalProcess a(&first), b(&second);
    std::vector<std::chrono::nanoseconds> bothBusy;
    bool started = false;
    auto consume = [&](std::span<const uint8_t>) {
        if (!started) {
            // Let both backlogs build before anything is delivered.
            const auto limit = Clock::now() + testing::childTimeout;
            while ((a.deliveryFigures().peakPendingBytes < total / 2 || b.deliveryFigures().peakPendingBytes < total / 2) &&
                   Clock::now() < limit) {
                std::this_thread::sleep_for(1ms);
            }
            started = true;
        }
        loop.skipTime(500us);
    };
    first.onData = consume;
    second.onData = consume;
    auto observe = [&](std::chrono::nanoseconds pass) {
        if (first.output.size() < total / 2 && second.output.size() < total / 2) bothBusy.push_back(pass);
    };
    a.setDrainPassObserver(observe);
    b.setDrainPassObserver(observe);
    a.startProcess(testChild, {"pattern", std::to_string(total)});
    b.startProcess(testChild, {"pattern", std::to_string(total)});
    ASSERT_TRUE(waitFor(loop, [&] { return first.output.size() >= total && second.output.size() >= total; }));
    EXPECT_TRUE(first.output == expectedPattern(total));
    EXPECT_TRUE(second.output == expectedPattern(total));
    ASSERT_GT(bothBusy.size(), 10u);
    // The first pass began while its child was the only one busy.
    for (size_t i = 1; i < bothBusy.size(); ++i) EXPECT_LE(bothBusy[i], 2ms + 500us) << i;
}

// A timer that comes due ends the pass after the piece in progress and runs next; one already
// due when a pass begins ends it before any piece, but never two passes in a row. Each piece
// takes 1 ms; in the log "p" is a piece, "|" a new pass, "T" a timer.
TEST(LocalProcessVirtualClockTest, ADueTimerEndsThePassAndRunsNext) {
    struct Case {
        std::chrono::nanoseconds dueIn;
        int rearms;
        std::string expected;
    };
    for (const Case& c : {Case{500us, 0, "pT|p"}, Case{1500us, 0, "ppT|p"}, Case{3500us, 0, "ppppT|p"},
                          Case{1500us, 2, "ppTT|pT|p"}}) {
        VirtualMainLoop loop;
        ScopedMainLoop scope(loop);
        Collector collector;
        LocalProcess process(&collector);
        constexpr size_t total = 1024 * 1024;
        std::string log;
        size_t lastPass = 0;
        int rearms = c.rearms;
        std::function<void()> tick = [&] {
            log += "T";
            if (rearms-- > 0) loop.postAt(loop.now(), std::make_shared<platform::runtime::WorkItem>(tick));
        };
        collector.onData = [&](std::span<const uint8_t>) {
            const size_t pass = process.deliveryFigures().drainPasses;
            if (log.empty()) {
                // A backlog, so that only the timer ends passes early.
                const auto limit = Clock::now() + testing::childTimeout;
                while (process.deliveryFigures().peakPendingBytes < total / 2 && Clock::now() < limit) {
                    std::this_thread::sleep_for(1ms);
                }
                loop.postAt(loop.now() + c.dueIn, std::make_shared<platform::runtime::WorkItem>(tick));
            } else if (pass != lastPass) {
                log += "|";
            }
            lastPass = pass;
            log += "p";
            loop.skipTime(1ms);
        };
        process.startProcess(testChild, {"pattern", std::to_string(total)});
        ASSERT_TRUE(waitFor(loop, [&] { return collector.output.size() >= total; }));
        EXPECT_TRUE(collector.output == expectedPattern(total));
        EXPECT_EQ(log.substr(0, c.expected.size()), c.expected) << "due in " << c.dueIn.count() << " ns";
    }
}

// Moves the virtual clock a millisecond at a time (the others' passes wait on it while a child
// is typed into) until `done` holds.
bool advanceUntil(VirtualMainLoop& loop, const std::function<bool()>& done) {
    const auto limit = Clock::now() + testing::childTimeout;
    while (!done() && Clock::now() < limit) {
        loop.advance(1ms);
        loop.runUntil([] { return false; }, 1ms);
    }
    return done();
}

void sendText(LocalProcess& process, std::string_view text) {
    process.send(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// Waits, in real time, until every child has a backlog of at least `bytes`.
void awaitBacklogs(const std::vector<LocalProcess*>& processes, size_t bytes) {
    const auto limit = Clock::now() + testing::childTimeout;
    auto built = [&] {
        return std::all_of(processes.begin(), processes.end(),
                           [&](LocalProcess* p) { return p->deliveryFigures().peakPendingBytes >= bytes; });
    };
    while (!built() && Clock::now() < limit) std::this_thread::sleep_for(1ms);
}

// The echo of a key goes ahead of the passes the flooding children have queued: once the echo
// is read, the pass in progress ends after its piece and the echo is the next thing delivered.
TEST(LocalProcessVirtualClockTest, TheEchoOfATypedChildGoesAheadOfFloodingChildren) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    constexpr size_t total = 2 * 1024 * 1024;
    Collector typedInto;
    LocalProcess typed(&typedInto);
    std::vector<Collector> floods(3);
    std::vector<std::unique_ptr<LocalProcess>> flooding;
    std::vector<LocalProcess*> all;
    for (Collector& c : floods) {
        flooding.push_back(std::make_unique<LocalProcess>(&c));
        all.push_back(flooding.back().get());
    }
    // The terminal's own echo alone comes back: a copy from the child too could be read apart
    // from it on a busy machine, an urgent pass of its own.
    typed.startProcess("/bin/sh", {"-c", "stty -icanon; echo READY; exec cat >/dev/null"});
    ASSERT_TRUE(waitFor(loop, [&] { return typedInto.saw("READY"); }));
    size_t pieces = 0, afterEcho = 0;
    bool sent = false;
    for (Collector& c : floods) {
        c.onData = [&](std::span<const uint8_t>) {
            if (pieces++ == 0) awaitBacklogs(all, total / 2);
            loop.skipTime(200us);
            if (sent && !typedInto.saw("k")) ++afterEcho;
            if (pieces == 20) {
                sendText(typed, "k");
                sent = true;
                // The echo is read and waits to be delivered before this piece ends.
                const auto limit = Clock::now() + testing::childTimeout;
                while (typed.deliveryFigures().urgentPasses == 0 && Clock::now() < limit) std::this_thread::sleep_for(1ms);
            }
        };
    }
    for (auto& p : flooding) p->startProcess(testChild, {"pattern", std::to_string(total)});
    ASSERT_TRUE(waitFor(loop, [&] { return typedInto.saw("k"); }));
    EXPECT_EQ(afterEcho, 0u) << "flood pieces delivered between the echo's arrival and its delivery";
    EXPECT_EQ(typed.deliveryFigures().urgentPasses, 1u);
    ASSERT_TRUE(advanceUntil(loop, [&] {
        return std::all_of(floods.begin(), floods.end(), [](const Collector& c) { return c.output.size() >= total; });
    }));
    for (const Collector& c : floods) EXPECT_TRUE(c.output == expectedPattern(total));
    for (auto& p : flooding) EXPECT_EQ(p->deliveryFigures().urgentPasses, 0u);
    typed.terminate();
}

// Only output that comes within a second of input goes ahead.
TEST(LocalProcessVirtualClockTest, OutputLongAfterInputOrWithoutItQueuesAsAnyOther) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    Collector collector;
    LocalProcess process(&collector);
    process.startProcess("/bin/sh", {"-c", "stty -echo; read line; read line; echo \"late $line\""});
    sendText(process, "first\n");
    loop.skipTime(LocalProcess::interactiveWindow + 1ms);
    sendText(process, "second\n");
    // Read, then answered after more than a second: no longer an echo.
    loop.skipTime(LocalProcess::interactiveWindow + 1ms);
    ASSERT_TRUE(waitFor(loop, [&] { return collector.saw("late second"); }));
    EXPECT_EQ(process.deliveryFigures().urgentPasses, 0u);

    Collector quiet;
    LocalProcess untyped(&quiet);
    untyped.startProcess(testChild, {"pattern", "4096"});
    ASSERT_TRUE(waitFor(loop, [&] { return quiet.output.size() >= 4096; }));
    EXPECT_EQ(untyped.deliveryFigures().urgentPasses, 0u);
}

// While a child is typed into, the others' passes take at most their share of the loop's time,
// waiting on the loop's clock for it; a second after the last input they take what they need.
TEST(LocalProcessVirtualClockTest, OtherChildrenTakeTheirShareWhileOneIsTypedInto) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    constexpr size_t total = 4 * 1024 * 1024;
    Collector typedInto;
    LocalProcess typed(&typedInto);
    typed.startProcess("/bin/sh", {"-c", "stty -echo; exec cat"});
    std::vector<Collector> floods(2);
    std::vector<std::unique_ptr<LocalProcess>> flooding;
    std::vector<LocalProcess*> all;
    platform::runtime::Duration busy{};
    for (Collector& c : floods) {
        flooding.push_back(std::make_unique<LocalProcess>(&c));
        all.push_back(flooding.back().get());
        c.onData = [&](std::span<const uint8_t>) {
            busy += 1ms;
            loop.skipTime(1ms);
        };
    }
    for (auto& p : flooding) p->startProcess(testChild, {"pattern", std::to_string(total)});
    awaitBacklogs(all, total / 2);
    typed.send({});
    const auto began = loop.now();
    while (loop.now() - began < 600ms) loop.advance(1ms);
    const auto spent = loop.now() - began;
    // The share, the credit a pass may start with and the one piece that ends a pass.
    EXPECT_LE(busy, spent * LocalProcess::backgroundShareWhileTyping + 4ms + 2ms);
    EXPECT_GE(busy, spent * LocalProcess::backgroundShareWhileTyping / 2);
    size_t postponed = 0;
    for (auto* p : all) postponed += p->deliveryFigures().postponedPasses;
    EXPECT_GT(postponed, 10u);

    loop.advance(LocalProcess::interactiveWindow);
    size_t quiet = 0;
    for (auto* p : all) quiet += p->deliveryFigures().postponedPasses;
    ASSERT_TRUE(advanceUntil(loop, [&] {
        return std::all_of(floods.begin(), floods.end(), [](const Collector& c) { return c.output.size() >= total; });
    }));
    size_t later = 0;
    for (auto* p : all) later += p->deliveryFigures().postponedPasses;
    EXPECT_LE(later, quiet + 1);
    for (const Collector& c : floods) EXPECT_TRUE(c.output == expectedPattern(total));
    typed.terminate();
}

// Sixteen children writing at once while they are typed into in turn at random (a fixed seed):
// every byte of each arrives once and in order, whichever passes went ahead or were put off.
TEST(LocalProcessVirtualClockTest, SixteenChildrenTypedIntoByTurnsLoseAndReorderNothing) {
    VirtualMainLoop loop;
    ScopedMainLoop scope(loop);
    constexpr int count = 16;
    std::vector<Collector> collectors(count);
    std::vector<std::unique_ptr<LocalProcess>> processes;
    std::vector<size_t> totals;
    for (int i = 0; i < count; ++i) {
        totals.push_back(size_t(64 + 48 * i) * 1024);
        processes.push_back(std::make_unique<LocalProcess>(&collectors[i]));
        collectors[i].onData = [&loop](std::span<const uint8_t> slice) {
            loop.skipTime(std::chrono::microseconds(20 + slice.size() / 64));
        };
        processes.back()->startProcess(testChild, {"pattern", std::to_string(totals.back())});
    }
    uint32_t state = 7;
    auto random = [&state](uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 16) % n;
    };
    auto finished = [&] {
        for (int i = 0; i < count; ++i) {
            if (collectors[i].output.size() < totals[i]) return false;
        }
        return true;
    };
    const auto limit = Clock::now() + testing::childTimeout;
    while (!finished() && Clock::now() < limit) {
        // Input writes nothing (no echo to tell apart from the pattern) but marks the child typed into.
        if (random(4) == 0) processes[random(count)]->send({});
        loop.advance(std::chrono::microseconds(200 + random(3000)));
        loop.runUntil([] { return false; }, 1ms);
    }
    size_t postponed = 0;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(collectors[i].output.size(), totals[i]) << "child " << i;
        EXPECT_TRUE(collectors[i].output == expectedPattern(totals[i])) << "child " << i;
        postponed += processes[i]->deliveryFigures().postponedPasses;
    }
    EXPECT_GT(postponed, 0u);
}

TEST(LocalProcessOtherQueueTest, DeliversOnTheGivenLoopsThread) {
    GLibMainLoop mainLoop;
    ScopedMainLoop scope(mainLoop);
    GLibMainLoop worker;
    std::thread workerThread([&] { worker.run(); });
    ASSERT_TRUE(worker.sync([] {}));  // the worker loop is up

    Collector collector;
    std::atomic<bool> wrongThread{false};
    std::atomic<size_t> received{0};
    collector.onData = [&](std::span<const uint8_t> slice) {
        if (!worker.isLoopThread()) wrongThread = true;
        received += slice.size();
    };
    auto process = std::make_unique<LocalProcess>(&collector, &worker);
    worker.sync([&] { process->startProcess(testChild, {"pattern", "1048576"}); });
    ASSERT_TRUE(mainLoop.runUntil([&] {
        bool done = false;
        worker.sync([&] { done = !collector.exits.empty(); });
        return done && received == 1048576;
    }, testing::childTimeout));
    EXPECT_FALSE(wrongThread);
    worker.sync([&] {
        EXPECT_TRUE(collector.output == expectedPattern(1048576));
        process.reset();
    });
    worker.quit();
    workerThread.join();
}

}  // namespace
}  // namespace vantel
