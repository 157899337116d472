#include "platform/ui/Application.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/runtime/GLibMainLoop.h"
#include "platform/runtime/VirtualMainLoop.h"

extern char** environ;

namespace platform::ui {
namespace {

constexpr const char* testId = "org.quiltdeck.ApplicationTest";

// Run as a second process of this test program: registers the same id and exits with 3 when it
// handed over, 4 when it found itself primary.
const bool registeringChild = [] {
    if (!std::getenv("QUILTDECK_APPLICATION_TEST_CHILD")) return false;
    const auto registration = Application::shared().registerInstance(testId, true);
    std::_Exit(registration == Application::Registration::handedOver ? 3 : 4);
}();

struct RecordingDelegate : ApplicationDelegate {
    TerminateReply reply = TerminateReply::now;
    int launched = 0, asked = 0, terminated = 0, presented = 0;
    void applicationDidFinishLaunching() override { ++launched; }
    TerminateReply applicationShouldTerminate() override {
        ++asked;
        return reply;
    }
    void applicationWillTerminate() override { ++terminated; }
    void applicationShouldPresent() override { ++presented; }
};

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application::shared().reset();
        Application::shared().setDelegate(&delegate);
    }
    void TearDown() override { Application::shared().reset(); }
    RecordingDelegate delegate;
    runtime::VirtualMainLoop loop;
    runtime::ScopedMainLoop scoped{loop};
};

TEST_F(ApplicationTest, TerminateRepliesNowCancelOrLater) {
    Application& app = Application::shared();
    app.finishLaunching();
    app.finishLaunching();
    EXPECT_EQ(delegate.launched, 1);

    delegate.reply = ApplicationDelegate::TerminateReply::cancel;
    app.terminate();
    EXPECT_FALSE(app.terminated());

    delegate.reply = ApplicationDelegate::TerminateReply::later;
    app.terminate();
    EXPECT_TRUE(app.terminationPending());
    app.terminate();  // while one is pending, a second request asks nothing
    EXPECT_EQ(delegate.asked, 2);
    app.replyToApplicationShouldTerminate(false);
    EXPECT_FALSE(app.terminated());
    EXPECT_FALSE(app.terminationPending());
    app.replyToApplicationShouldTerminate(true);  // no request pending: ignored
    EXPECT_FALSE(app.terminated());

    app.terminate();
    app.replyToApplicationShouldTerminate(true);
    EXPECT_TRUE(app.terminated());
    EXPECT_EQ(delegate.terminated, 1);
    app.terminate();
    app.terminateWithoutAsking();
    EXPECT_EQ(delegate.terminated, 1);
    EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(ApplicationTest, TerminationSignalsQuitWithoutAsking) {
    Application& app = Application::shared();
    app.handleSignal(SIGUSR1);
    EXPECT_FALSE(app.terminated());
    delegate.reply = ApplicationDelegate::TerminateReply::cancel;
    app.handleSignal(SIGHUP);
    EXPECT_TRUE(app.terminated());
    EXPECT_EQ(delegate.asked, 0);
    EXPECT_EQ(delegate.terminated, 1);
    EXPECT_EQ(app.endingSignal(), SIGHUP);
}

// A loop that is free takes SIGTERM and runs the termination step; the program ends on its own.
[[noreturn]] void signalledWhileFree() {
    runtime::GLibMainLoop loop(runtime::GLibMainLoop::ContextChoice::programDefault);
    runtime::ScopedMainLoop scoped(loop);
    RecordingDelegate delegate;
    Application& app = Application::shared();
    app.setDelegate(&delegate);
    app.installSignalHandlers([](int) { std::_Exit(20); });
    loop.post([] { ::raise(SIGTERM); });
    const int code = app.run();
    std::_Exit(code == 0 && delegate.terminated == 1 && app.endingSignal() == SIGTERM ? 0 : 21);
}

// A main thread held in work of its own never takes the signal: the process ends by it all the
// same, and says so first.
[[noreturn]] void signalledWhileHeld() {
    Application::shared().installSignalHandlers([](int signal) { std::fprintf(stderr, "unanswered %d\n", signal); });
    ::raise(SIGTERM);
    for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(ApplicationSignals, SigtermQuitsCleanlyOnAFreeLoopAndEndsTheProcessOnAHeldOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(signalledWhileFree(), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(signalledWhileHeld(), ::testing::KilledBySignal(SIGTERM), "unanswered 15");
}

TEST_F(ApplicationTest, RunEndsWhenTheQuitIsAccepted) {
    loop.post([] { Application::shared().terminate(); });
    EXPECT_EQ(Application::shared().run(), 0);
    EXPECT_EQ(delegate.launched, 1);
    EXPECT_EQ(delegate.terminated, 1);
}

TEST_F(ApplicationTest, WithoutABusOrUniquenessEveryStartIsPrimary) {
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string bus = saved ? saved : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_EQ(Application::shared().registerInstance(testId, true), Application::Registration::primary);
    if (saved) ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    EXPECT_EQ(Application::shared().registerInstance(testId, false), Application::Registration::primary);
}

// The first start on a private bus: claims the id, starts a second process of this program that
// registers too, and waits until that one has handed over and this one was asked to present itself.
[[noreturn]] void firstStart() {
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    runtime::GLibMainLoop loop(runtime::GLibMainLoop::ContextChoice::programDefault);
    runtime::ScopedMainLoop scoped(loop);
    RecordingDelegate delegate;
    Application::shared().setDelegate(&delegate);
    if (Application::shared().registerInstance(testId, true) != Application::Registration::primary) std::_Exit(10);
    ::setenv("QUILTDECK_APPLICATION_TEST_CHILD", "1", 1);
    char* argv[] = {const_cast<char*>("/proc/self/exe"), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) std::_Exit(11);
    int status = -1;
    auto exitWatch = loop.watchChild(pid, [&](int raw) { status = raw; });
    loop.runUntil([&] { return status != -1 && delegate.presented > 0; }, std::chrono::seconds(20));
    g_test_dbus_stop(bus);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 3) std::_Exit(12);
    std::_Exit(delegate.presented == 1 ? 0 : 13);
}

TEST(ApplicationRegistration, SecondStartHandsOverToTheFirst) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(firstStart(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace platform::ui
