#include "platform/ui/Application.h"

#include <gio/gio.h>
#include <glib-unix.h>

#include <csignal>
#include <cstdlib>

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

void Application::installSignalHandlers() {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        g_unix_signal_add(
            signal,
            +[](gpointer number) -> gboolean {
                Application::shared().handleSignal(GPOINTER_TO_INT(number));
                return G_SOURCE_CONTINUE;
            },
            GINT_TO_POINTER(signal));
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
