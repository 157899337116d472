#include "quiltdeck/shell/Log.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "quiltdeck/shell/AppVersion.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/LogWriter.h"
#include "quiltdeck/shell/StateFolder.h"

namespace quiltdeck {

namespace {

// Prepared before any signal can arrive; the signal handler touches nothing else.
int crashFD = -1;
const char* crashLines[32] = {};

constexpr int crashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGABRT, SIGFPE, SIGTRAP};
constexpr int stackFramesLogged = 12;

LogWriter& writer() {
    // Never destroyed: anything may still log while the process ends.
    static LogWriter* const instance = new LogWriter(Log::url());
    return *instance;
}

bool markerWritten = false;

const std::filesystem::path& markerPath() {
    // Never destroyed, as the writer: other threads may still log while the process exits.
    static const auto* const path = new std::filesystem::path(StateFolder::path() / "running");
    return *path;
}

std::string systemVersion() {
    utsname name{};
    if (::uname(&name) != 0) return "Linux";
    return std::string(name.sysname) + " " + name.release;
}

void crashHandler(int sig) {
    if (sig >= 0 && sig < 32 && crashLines[sig]) {
        const ssize_t ignored = ::write(crashFD, crashLines[sig], std::strlen(crashLines[sig]));
        (void)ignored;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(sig, &fallback, nullptr);
    ::raise(sig);
}

std::string demangled(const char* name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string text = status == 0 && readable ? readable : name;
    std::free(readable);
    return text;
}

// The stack at the throw, a line a frame. This handler's frame and the C++ runtime's frames
// above the throwing code (terminate, the throw itself) are left out.
std::vector<std::string> throwStack() {
    constexpr int capacity = stackFramesLogged + 16;
    void* frames[capacity];
    const int count = ::backtrace(frames, capacity);
    Dl_info runtime{};
    ::dladdr(reinterpret_cast<void*>(&std::terminate), &runtime);
    int first = 1;
    for (Dl_info frame{}; first < count && ::dladdr(frames[first], &frame) && frame.dli_fbase == runtime.dli_fbase;)
        ++first;
    const int shown = std::min(stackFramesLogged, count - first);
    char** symbols = shown > 0 ? ::backtrace_symbols(frames + first, shown) : nullptr;
    if (!symbols) return {};
    std::vector<std::string> lines(symbols, symbols + shown);
    std::free(symbols);
    return lines;
}

[[noreturn]] void uncaughtExceptionHandler() {
    if (std::exception_ptr thrown = std::current_exception()) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        std::string text = "CRASH uncaught exception " + demangled(type ? type->name() : "unknown") + ": ";
        try {
            std::rethrow_exception(thrown);
        } catch (const std::exception& e) {
            text += e.what();
        } catch (...) {
        }
        writer().append(LogWriter::entry(text, throwStack()));
        Log::flush();  // at once on the writer's own thread
    }
    std::abort();
}

void installAlternateSignalStack() {
    // A stack overflow leaves no stack for the handler to run on.
    // Static, so it is there even when the heap is what broke.
    alignas(16) static char area[65536 + 32768];
    stack_t stack{};
    stack.ss_sp = area;
    stack.ss_size = sizeof area;
    ::sigaltstack(&stack, nullptr);
}

}  // namespace

const std::filesystem::path& Log::url() {
    static const auto* const path = new std::filesystem::path(StateFolder::path() / "log.txt");
    return *path;
}

void Log::write(std::string_view message) { writer().append(LogWriter::entry(message)); }

void Log::flush(std::chrono::milliseconds limit) { writer().flush(limit); }

bool Log::beginRun() {
    StateFolder::makeFolder(StateFolder::path());
    struct stat marker {};
    const bool unclean = ::lstat(markerPath().c_str(), &marker) == 0 && S_ISREG(marker.st_mode);
    // Truncated only once it is known to be a regular file of its own.
    if (const int fd = openRegularFile(markerPath(), O_WRONLY | O_CREAT | O_NOFOLLOW); fd >= 0) {
        if (!unclean) giveMadeToHomeOwner(markerPath(), fd);
        const bool written = ::ftruncate(fd, 0) == 0 && ::write(fd, "1", 1) == 1;
        (void)written;
        ::close(fd);
        markerWritten = true;
    } else if (errno == ELOOP || errno == EINVAL || errno == EISDIR) {
        std::fprintf(stderr, "quiltdeck: %s is not a regular file; running without a run marker\n",
                     markerPath().c_str());
    }
    std::string line = "launch Quiltdeck " + AppVersion::shortVersion() + " (" + AppVersion::build() + ") on " +
                       systemVersion();
    if (unclean) line += "  [previous run did not quit cleanly]";
    write(line);
    installCrashHandlers();
    return unclean;
}

void Log::endRun(std::chrono::milliseconds limit) {
    write("quit");
    flush(limit);
    if (markerWritten) ::unlink(markerPath().c_str());
}

void Log::installCrashHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A write to a pipe whose reader is gone fails instead of killing the program.
        ::signal(SIGPIPE, SIG_IGN);
        // Close-on-exec: children must not inherit a descriptor on our log. Made here first (the
        // writer's thread may not have written yet), it is the home's owner's as the writer's is.
        struct stat before {};
        const bool there = ::lstat(url().c_str(), &before) == 0;
        crashFD = openRegularFile(url(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW);
        if (crashFD >= 0 && !there) giveMadeToHomeOwner(url(), crashFD);
        std::set_terminate(uncaughtExceptionHandler);
        void* warmUp[1];
        ::backtrace(warmUp, 1);  // loads the unwinder now rather than in a crash
        installAlternateSignalStack();
        for (int sig : crashSignals) {
            crashLines[sig] = ::strdup(("CRASH signal " + std::to_string(sig) + "\n").c_str());
            struct sigaction action {};
            action.sa_handler = crashHandler;
            action.sa_flags = SA_ONSTACK;
            sigemptyset(&action.sa_mask);
            ::sigaction(sig, &action, nullptr);
        }
    });
}

}  // namespace quiltdeck
