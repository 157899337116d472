// A child for the host tests, run on a real pseudo-terminal. The first argument
// picks what it does; every listing ends with a line "END".
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

void writeAll(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes, size);
        if (n <= 0) std::exit(2);
        bytes += n;
        size -= static_cast<size_t>(n);
    }
}

void writeLine(const std::string& line) { writeAll((line + "\n").data(), line.size() + 1); }

// 16-byte records: the record's offset in 15 digits, then '|'. Nothing the
// terminal's output processing would change.
void writePattern(size_t total) {
    std::string block;
    for (size_t offset = 0; offset < total;) {
        block.clear();
        for (int i = 0; i < 4096 && offset < total; ++i, offset += 16) {
            char record[32];
            std::snprintf(record, sizeof record, "%015zu|", offset);
            block.append(record, 16);
        }
        writeAll(block.data(), block.size());
    }
}

void listDescriptors() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) std::exit(3);
    const int own = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
        char target[256] = {};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        writeLine(std::string("fd:") + entry->d_name + ":" + (n > 0 ? std::string(target, n) : "?"));
    }
    ::closedir(dir);
}

void makeRaw() {
    termios raw;
    ::tcgetattr(STDIN_FILENO, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

// Writes `query` raw, reads `length` bytes of the terminal's answer and prints
// them in hex.
void askTerminal(const char* query, size_t length) {
    makeRaw();
    writeAll(query, std::strlen(query));
    std::string reply;
    char byte;
    while (reply.size() < length && ::read(STDIN_FILENO, &byte, 1) == 1) reply.push_back(byte);
    std::string hex = "reply:";
    for (unsigned char c : reply) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    hex += "\r\nEND\r\n";
    writeAll(hex.data(), hex.size());
}

// Asks `count` times for the device attributes and never reads an answer.
void flood(const char* query, size_t count) {
    makeRaw();
    const std::string unit(query);
    std::string block;
    for (int i = 0; i < 4096; ++i) block += unit;
    for (size_t sent = 0; sent < count; sent += 4096) writeAll(block.data(), block.size());
    writeAll("\r\nEND\r\n", 7);
}

// The blocked and ignored signal masks as /proc shows them.
void listSignalState() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) writeLine("signals:" + line);
    }
}

// A line editor's way with its terminal: keys one by one (no canonical mode, no echo), signals on.
void keysOneByOne() {
    termios modes{};
    ::tcgetattr(STDIN_FILENO, &modes);
    modes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    modes.c_lflag |= ISIG;
    modes.c_cc[VMIN] = 1;
    modes.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &modes);
}

volatile sig_atomic_t interrupted = 0;
volatile sig_atomic_t waitingForInput = 0;
volatile sig_atomic_t interruptedWhileWaiting = 0;

// A line editor's way with its terminal: keys one by one (no canonical mode, no echo), signals on.
// It reads slowly, a pause every 256 bytes; the interrupt key ends it with a line that tells how
// much it had read and whether it was waiting for input when the signal came. With "busy MS" it
// works MS ms on its first byte (running all along, as a loaded machine's editor takes seconds
// with a paste), with "asleep MS" it sleeps that long instead, reading nothing.
void editor(std::string_view pause = {}, int ms = 0) {
    keysOneByOne();
    struct sigaction action {};
    action.sa_handler = [](int) {
        interrupted = 1;
        interruptedWhileWaiting = waitingForInput;
    };
    ::sigaction(SIGINT, &action, nullptr);
    writeLine("READY");
    size_t read = 0;
    char byte;
    while (!interrupted) {
        waitingForInput = 1;
        const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
        waitingForInput = 0;
        if (n == 1 && read == 0 && pause == "busy") {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            while (!interrupted && std::chrono::steady_clock::now() < until) {
            }
        }
        if (n == 1 && read == 0 && pause == "asleep") ::usleep(static_cast<useconds_t>(ms) * 1000);
        if (n == 1 && ++read % 256 == 0) ::usleep(1000);
        if (n == 0) break;
    }
    writeLine("INT read=" + std::to_string(read) + " waiting=" + std::to_string(interruptedWhileWaiting));
}

// Reads `bytes` at a time (no canonical mode, no echo, signals on), pausing `ms` between reads,
// without a process for each read: slow, but never still for long however loaded the machine.
// The interrupt key ends it with "GOT-INT".
void slowReader(size_t bytes, int ms) {
    termios modes{};
    ::tcgetattr(STDIN_FILENO, &modes);
    modes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    modes.c_lflag |= ISIG;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &modes);
    struct sigaction action {};
    action.sa_handler = [](int) { interrupted = 1; };
    ::sigaction(SIGINT, &action, nullptr);
    writeLine("READY");
    std::string buffer(bytes, '\0');
    while (!interrupted) {
        if (::read(STDIN_FILENO, buffer.data(), bytes) == 0) break;
        if (!interrupted) ::usleep(static_cast<useconds_t>(ms) * 1000);
    }
    writeLine("GOT-INT");
}

volatile sig_atomic_t woken = 0;

// A line editor slow to wake for a signal, as on a loaded machine: blocked reading a key, it hears
// the interrupt key's signal only 100 ms later, and meanwhile still shows blocked in that read.
// Acting on it, it throws its line away and says "PROMPT". Each key it reads it tells with whether
// that came before it acted on the signal ("KEY a before") or after; "q" ends it. With "ignore" it
// never hears the signal at all; with "deaf" it holds it blocked for good (pending, never taken);
// with "quiet" it takes it at once and goes on reading, saying nothing. With "framed" after it, it
// asks for pastes framed, as a line editor does.
void lateInterrupt(std::string_view how, bool framed) {
    keysOneByOne();
    if (framed) writeLine("\x1b[?2004h");
    if (how == "ignore") {
        ::signal(SIGINT, SIG_IGN);
    } else if (how == "deaf") {
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        ::sigprocmask(SIG_BLOCK, &interrupt, nullptr);
    } else if (how == "quiet") {
        struct sigaction quiet {};
        quiet.sa_handler = [](int) {};
        quiet.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &quiet, nullptr);
    } else {
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        ::pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
        struct sigaction wake {};
        wake.sa_handler = [](int) { woken = 1; };
        ::sigaction(SIGUSR1, &wake, nullptr);
        const pthread_t reader = ::pthread_self();
        std::thread([interrupt, reader] {
            for (;;) {
                int signal = 0;
                if (::sigwait(&interrupt, &signal) != 0) return;
                ::usleep(100'000);
                ::pthread_kill(reader, SIGUSR1);
            }
        }).detach();
    }
    writeLine("READY");
    bool acted = false;
    for (char byte = 0; byte != 'q';) {
        const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
        if (n < 0 && errno == EINTR) {
            if (woken) {
                woken = 0;
                acted = true;
                writeLine("PROMPT");
            }
            continue;
        }
        if (n <= 0) break;
        writeLine(std::string("KEY ") + byte + (acted ? " after" : " before"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "argv") {
        for (int i = 0; i < argc; ++i) writeLine("arg:" + std::string(argv[i]));
    } else if (mode == "env") {
        for (char** entry = environ; *entry; ++entry) writeLine("env:" + std::string(*entry));
    } else if (mode == "exit" && argc > 2) {
        return std::atoi(argv[2]);
    } else if (mode == "pattern" && argc > 2) {
        writePattern(std::strtoull(argv[2], nullptr, 10));
        return 0;
    } else if (mode == "fds") {
        listDescriptors();
    } else if (mode == "ask" && argc > 3) {
        askTerminal(argv[2], std::strtoul(argv[3], nullptr, 10));
        return 0;
    } else if (mode == "wait") {
        for (;;) ::pause();
    } else if (mode == "stubborn") {
        ::signal(SIGTERM, SIG_IGN);
        ::signal(SIGHUP, SIG_IGN);
        // A child of its own in the same group, as deaf to the signals.
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            for (;;) ::pause();
        }
        writeLine("grandchild:" + std::to_string(grandchild));
        writeLine("READY");
        for (;;) ::pause();
    } else if (mode == "flood" && argc > 2) {
        const bool colours = argc > 3 && std::strcmp(argv[3], "osc4") == 0;
        flood(colours ? "\x1b]4;1;?\x07" : "\x1b[c", std::strtoull(argv[2], nullptr, 10));
        for (;;) ::pause();
    } else if (mode == "editor") {
        editor(argc > 3 ? argv[2] : "", argc > 3 ? std::atoi(argv[3]) : 0);
    } else if (mode == "elsewhere") {
        // Keys one by one, then a wait for a descriptor that never gets anything: what the terminal
        // is sent stays unread.
        keysOneByOne();
        int never[2];
        if (::pipe(never) != 0) return 3;
        writeLine("READY");
        char byte;
        return ::read(never[0], &byte, 1) < 0 ? 4 : 0;
    } else if (mode == "lateint") {
        lateInterrupt(argc > 2 ? argv[2] : "", argc > 3 && std::string_view(argv[3]) == "framed");
    } else if (mode == "slowreader" && argc > 3) {
        slowReader(std::strtoul(argv[2], nullptr, 10), std::atoi(argv[3]));
    } else if (mode == "inherited") {
        listSignalState();
        listDescriptors();
    } else {
        return 64;
    }
    writeLine("END");
    return 0;
}
