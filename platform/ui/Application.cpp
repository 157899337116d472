#include "platform/ui/Application.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "platform/runtime/MainLoop.h"

namespace platform::ui {

Application& Application::shared() {
    static Application* const application = new Application();
    return *application;
}

Application::Registration Application::registerInstance(const std::string& applicationId, bool unique) {
    if (!g_get_prgname() || applicationId != g_get_prgname()) g_set_prgname(applicationId.c_str());
    // Without a bus address GIO would try to start a bus of its own.
    if (!unique || !std::getenv("DBUS_SESSION_BUS_ADDRESS") || registered_) return Registration::primary;
    if (!g_application_id_is_valid(applicationId.c_str())) return Registration::primary;
    GApplication* app = g_application_new(applicationId.c_str(), G_APPLICATION_DEFAULT_FLAGS);
    g_signal_connect(app, "activate", G_CALLBACK(+[](GApplication*, gpointer) {
                         if (auto* delegate = Application::shared().delegate()) delegate->applicationShouldPresent();
                     }),
                     nullptr);
    GError* error = nullptr;
    if (!g_application_register(app, nullptr, &error)) {
        // No bus after all: run on alone.
        g_clear_error(&error);
        g_object_unref(app);
        return Registration::primary;
    }
    if (g_application_get_is_remote(app)) {
        g_application_activate(app);
        if (GDBusConnection* bus = g_application_get_dbus_connection(app))
            g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        g_object_unref(app);
        return Registration::handedOver;
    }
    // Held for the process's life: releasing it would give the name up.
    g_application_hold(app);
    registered_ = app;
    return Registration::primary;
}

void Application::finishLaunching() {
    if (launched_) return;
    launched_ = true;
    if (delegate_) delegate_->applicationDidFinishLaunching();
}

int Application::run() {
    finishLaunching();
    if (!terminated_) runtime::MainLoop::main().run();
    return exitCode_;
}

void Application::terminate() {
    if (terminated_ || terminationPending_) return;
    const auto reply = delegate_ ? delegate_->applicationShouldTerminate() : ApplicationDelegate::TerminateReply::now;
    switch (reply) {
        case ApplicationDelegate::TerminateReply::now: finishTermination(); break;
        case ApplicationDelegate::TerminateReply::cancel: break;
        case ApplicationDelegate::TerminateReply::later: terminationPending_ = true; break;
    }
}

void Application::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!terminationPending_) return;
    terminationPending_ = false;
    if (shouldTerminate) finishTermination();
}

void Application::terminateWithoutAsking() {
    terminationPending_ = false;
    finishTermination();
}

void Application::finishTermination() {
    if (terminated_) return;
    terminated_ = true;
    exitCode_ = 0;
    if (delegate_) delegate_->applicationWillTerminate();
    runtime::MainLoop::main().quit();
}

void Application::exit(int code) {
    if (terminated_) return;
    terminated_ = true;
    terminationPending_ = false;
    exitCode_ = code;
    runtime::MainLoop::main().quit();
}

void Application::handleSignal(int signal) {
    if (signal != SIGTERM && signal != SIGHUP && signal != SIGINT) return;
    endingSignal_ = signal;
    terminateWithoutAsking();
}

namespace {

// Made once and never freed: the handler and the watching thread use it to the process's end.
struct SignalWatch {
    int pipe[2] = {-1, -1};
    pid_t owner = 0;
    std::atomic<bool> taken{false};
    std::function<void(int)> unanswered;
};
SignalWatch* signalWatch = nullptr;

// Async-signal-safe: one byte down the pipe. A child forked before its exec has the handler too,
// but not the right to quit this process.
void forwardSignal(int signal) {
    if (!signalWatch || ::getpid() != signalWatch->owner) return;
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    const ssize_t written = ::write(signalWatch->pipe[1], &byte, 1);
    (void)written;
    errno = saved;
}

// The next signal forwarded within `timeout` (forever when negative); 0 when none came.
int nextSignal(std::chrono::milliseconds timeout) {
    pollfd ready{signalWatch->pipe[0], POLLIN, 0};
    const int waited = ::poll(&ready, 1, timeout.count() < 0 ? -1 : static_cast<int>(timeout.count()));
    unsigned char byte = 0;
    if (waited <= 0 || ::read(signalWatch->pipe[0], &byte, 1) != 1) return 0;
    return byte;
}

[[noreturn]] void endBySignal(int signal) {
    if (signalWatch->unanswered) signalWatch->unanswered(signal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}

// Waits until `deadline`; a further signal meanwhile ends the wait at once. True when it did not
// come to that because `done` held first.
bool waitFor(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    while (!done()) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        if (left <= milliseconds(0)) return false;
        // Short steps: the loop's taking the signal is seen within them.
        if (nextSignal(std::min(left, milliseconds(10))) != 0) return false;
    }
    return true;
}

// One signal ends the process, whichever way: the loop's quit, or this thread once it is late.
[[noreturn]] void watchSignals() {
    int signal = 0;
    while (signal == 0) signal = nextSignal(std::chrono::milliseconds(-1));
    runtime::MainLoop::main().postUrgent([signal] {
        signalWatch->taken = true;
        Application::shared().handleSignal(signal);
    });
    using std::chrono::steady_clock;
    if (!waitFor([] { return signalWatch->taken.load(); }, steady_clock::now() + Application::signalGrace))
        endBySignal(signal);
    // The quit runs on the main thread; the process normally ends before this wait does.
    waitFor([] { return false; }, steady_clock::now() + Application::quitGrace);
    endBySignal(signal);
}

}  // namespace

void Application::installSignalHandlers(std::function<void(int signal)> unanswered) {
    if (signalWatch) return;
    auto* watch = new SignalWatch;
    if (::pipe2(watch->pipe, O_CLOEXEC) != 0) {
        delete watch;
        return;
    }
    // The handler never waits on a full pipe; a signal lost there finds one already on its way.
    ::fcntl(watch->pipe[1], F_SETFL, O_NONBLOCK);
    watch->owner = ::getpid();
    watch->unanswered = std::move(unanswered);
    signalWatch = watch;
    std::thread(watchSignals).detach();
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction action {};
        action.sa_handler = forwardSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

void Application::reset() {
    delegate_ = nullptr;
    launched_ = false;
    terminationPending_ = false;
    terminated_ = false;
    exitCode_ = 0;
    endingSignal_.reset();
}

}  // namespace platform::ui
