#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/DescriptorLimit.h"
#include "platform/runtime/MainLoop.h"
#include "platform/runtime/WorkerPool.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "quiltdeck/app/AppDelegate.h"
#include "quiltdeck/app/ToolModes.h"
#include "quiltdeck/sessions/HookServer.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/StateFolder.h"
#include "quiltdeck/wall/SessionTile.h"

namespace {

constexpr const char* applicationId = "org.quiltdeck.Quiltdeck";

// Another process has the state folder: said on standard error and, with a display, in an alert.
int alreadyRunning(const std::string& folder, int* argc, char*** argv) {
    const std::string message = "Quiltdeck is already running with " + folder;
    std::cerr << message << "\n";
    if (platform::ui::gtk::Toolkit::start(argc, argv)) {
        platform::ui::Alert alert{message, "", platform::ui::Alert::Style::critical, {"OK"}};
        alert.present(nullptr, [](int) { platform::runtime::MainLoop::main().quit(); });
        platform::runtime::MainLoop::main().run();
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (const auto code = quiltdeck::runToolMode(arguments, std::cout, std::cerr)) return *code;

    // Desktop sessions often allow 1024 descriptors; the hook server takes up to half of what is
    // allowed for connections. Raised no further than it needs: the programs of captured runs
    // inherit it (the tiles' terminals get the session's limit back).
    platform::runtime::raiseDescriptorLimit(2 * quiltdeck::HookServer::connectionLimit);

    auto& application = platform::ui::Application::shared();
    // One program per user on the default state folder: a second start hands over to the first.
    // A state folder of one's own (QUILTDECK_STATE_DIR) runs apart.
    const bool unique = !quiltdeck::env("STATE_DIR");
    if (application.registerInstance(applicationId, unique) == platform::ui::Application::Registration::handedOver)
        return 0;
    // The folder's lock before anything is written there: a refused start leaves the log and the
    // run marker to the process that has them.
    int toolkitArgc = 1;
    const auto& folder = quiltdeck::StateFolder::path();
    if (quiltdeck::Store::heldElsewhere(folder)) return alreadyRunning(folder.string(), &toolkitArgc, &argv);
    // Taken in the meantime by a start just as quick: refused all the same.
    if (quiltdeck::Store::shared().heldByAnotherProcess()) return alreadyRunning(folder.string(), &toolkitArgc, &argv);
    if (!platform::ui::gtk::Toolkit::start(&toolkitArgc, &argv)) {
        std::cerr << "quiltdeck: cannot open the display\n";
        return 1;
    }

    int code = 0;
    {
        quiltdeck::AppDelegate delegate(
            [](platform::gfx::Size size) {
                return std::make_unique<platform::ui::gtk::ToolkitWindow>(size, "Quiltdeck");
            },
            quiltdeck::SessionTile::make);
        application.setDelegate(&delegate);
        // A main thread held in work of its own cannot keep a SIGTERM from ending the program.
        application.installSignalHandlers(quiltdeck::AppDelegate::endWithoutTheMainThread);
        code = application.run();
        application.setDelegate(nullptr);
        // The tiles, the hook server and its thread end with the delegate, before the process does.
    }
    // A change made while the delegate went reaches the disk before the process ends.
    quiltdeck::Store::shared().flush(std::chrono::seconds(1));
    // Work still running on the pool's threads (a probe, a one-shot call) would hand its result to
    // a main loop that the end of the process takes down: it gets a moment, then the process ends
    // without running its static destructors.
    if (!platform::runtime::WorkerPool::shared().waitIdle(std::chrono::seconds(2))) {
        quiltdeck::Log::flush();
        std::_Exit(code);
    }
    return code;
}

#if defined(__SANITIZE_ADDRESS__)
// fontconfig loses track of parts of the font files it reads into a running configuration (the
// application's own fonts among them) and frees them with nothing short of FcFini: the leak
// checker is told to pass over its allocations.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
