#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace platform::ui {

// What the application object asks of the program.
class ApplicationDelegate {
public:
    enum class TerminateReply { now, cancel, later };

    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() {}
    // A quit request (menu, key, close button, session end). `later`: the delegate answers with
    // Application::replyToApplicationShouldTerminate.
    virtual TerminateReply applicationShouldTerminate() { return TerminateReply::now; }
    // The termination step, once, after a quit was accepted.
    virtual void applicationWillTerminate() {}
    // Another start of the program handed over to this one: show the main window.
    virtual void applicationShouldPresent() {}
};

// The process's application object: registers the program on the session bus so that a second
// start hands over to the first, runs the program's main loop (MainLoop::main()) until a quit is
// accepted, and turns SIGTERM, SIGHUP and SIGINT into a quit that asks nothing. Main thread.
class Application {
public:
    // How long a termination signal waits for the main loop to take it, and how long the quit it
    // starts may then take, before the process ends by the signal without it. A loaded machine
    // stretches one long step of the loop (a tile starting beside a state of tens of MB) past half
    // a second: the clean quit, which saves the last change and ends the children, is worth the
    // wait; a loop that is truly held still ends within the grace.
    static constexpr std::chrono::milliseconds signalGrace{2000};
    static constexpr std::chrono::seconds quitGrace{5};

    static Application& shared();

    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
    ApplicationDelegate* delegate() const { return delegate_; }

    enum class Registration {
        primary,     // this process is the program (also when it could not register)
        handedOver,  // another process is: it was asked to present itself
    };
    // Names the program by the application id (window classes, the desktop entry). With `unique`
    // and a session bus, claims the id; when another process holds it, asks that one to present
    // itself. Without a bus, or not unique, every process is primary.
    Registration registerInstance(const std::string& applicationId, bool unique);

    // Tells the delegate the launch is done, then runs the loop until the application ends; the
    // exit code.
    int run();
    // The launch alone, for a caller that drives the loop itself (tests).
    void finishLaunching();

    // A quit request: asks the delegate, then ends now, never, or when it replies.
    void terminate();
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    bool terminationPending() const { return terminationPending_; }
    // Ends without asking: the termination step, then the loop stops.
    void terminateWithoutAsking();
    // Ends the run with this exit code without the termination step (the program did its own).
    void exit(int code);
    // Delivers a termination signal as the signal handlers do.
    void handleSignal(int signal);
    // Routes SIGTERM, SIGHUP and SIGINT to handleSignal on the program's main loop, through a
    // thread of their own that does not wait for a main thread held in work of its own: a signal
    // the loop has not taken within signalGrace, a second one before it did, or a quit that has
    // not ended the process within quitGrace ends it by that signal, after `unanswered` (called
    // on that thread) has said so. Once per process; later calls do nothing.
    void installSignalHandlers(std::function<void(int signal)> unanswered = nullptr);

    bool terminated() const { return terminated_; }
    int exitCode() const { return exitCode_; }
    // The last signal that ended the application.
    std::optional<int> endingSignal() const { return endingSignal_; }

    // Back to a new application object's state (tests).
    void reset();

private:
    void finishTermination();

    ApplicationDelegate* delegate_ = nullptr;
    bool launched_ = false;
    bool terminationPending_ = false;
    bool terminated_ = false;
    int exitCode_ = 0;
    std::optional<int> endingSignal_;
    void* registered_ = nullptr;  // the GApplication, kept for the process's life
};

}  // namespace platform::ui
