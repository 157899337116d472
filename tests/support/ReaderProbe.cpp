// reader-probe: the reader over a window of its own on a real display, driven from standard input
// and reporting on standard output, for the reader's smoke test.
//
//   reader-probe URL
//
// It opens URL in the reader, then prints a line whenever what the reader shows changes:
//   state url=<the page shown> back=<0|1> visible=<0|1> loading=<0|1> title=<the page's title>
// (the title with its spaces as underscores)
// and "launched <url>" for every page handed to the browser. Commands, one a line:
//   open <url>     a headline's link, opened over the main window
//   browser        the reader's Open in Browser button
//   quit

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Workspace.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "quiltdeck/panels/ReaderWindow.h"
#include "quiltdeck/shell/Log.h"

namespace {

struct Probe {
    std::unique_ptr<platform::ui::gtk::ToolkitWindow> main;
    std::unique_ptr<quiltdeck::ReaderWindow> reader;
    std::string lastState;
    std::string input;
};

void report(Probe& probe) {
    const auto* web = probe.reader->web();
    const auto* panel = probe.reader->panel();
    if (!web || !panel) return;
    std::string title = web->title();
    std::replace(title.begin(), title.end(), ' ', '_');
    const std::string state = "state url=" + web->url().value_or("") + " back=" + (probe.reader->backButton().isEnabled() ? "1" : "0") +
                              " visible=" + (panel->isVisible() ? "1" : "0") + " loading=" + (web->isLoading() ? "1" : "0") +
                              " title=" + title;
    if (state == probe.lastState) return;
    probe.lastState = state;
    std::printf("%s\n", state.c_str());
    std::fflush(stdout);
}

void run(Probe& probe, const std::string& line) {
    if (line.rfind("open ", 0) == 0) probe.reader->open(line.substr(5), "Another headline", "Probe feed", *probe.main);
    else if (line == "browser") probe.reader->openButton().performClick();
    else if (line == "quit") platform::runtime::MainLoop::main().quit();
}

gboolean onInput(gint fd, GIOCondition, gpointer data) {
    auto& probe = *static_cast<Probe*>(data);
    char buffer[512];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count <= 0) {
        platform::runtime::MainLoop::main().quit();
        return G_SOURCE_REMOVE;
    }
    probe.input.append(buffer, static_cast<size_t>(count));
    for (size_t end; (end = probe.input.find('\n')) != std::string::npos;) {
        const std::string line = probe.input.substr(0, end);
        probe.input.erase(0, end + 1);
        run(probe, line);
    }
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: reader-probe URL\n");
        return 2;
    }
    const std::string url = argv[1];
    if (!platform::ui::gtk::Toolkit::start(&argc, &argv)) {
        std::fprintf(stderr, "reader-probe: no display\n");
        return 1;
    }
    platform::ui::Workspace::setOpener([](const std::string& opened) {
        std::printf("launched %s\n", opened.c_str());
        std::fflush(stdout);
        return true;
    });
    Probe probe;
    probe.main = std::make_unique<platform::ui::gtk::ToolkitWindow>(platform::gfx::Size{1200, 800}, "Reader probe");
    probe.main->present();
    // Over the main window where it stands on the screen.
    platform::runtime::MainLoop::main().runUntil([&] { return probe.main->screenFrame().has_value(); }, std::chrono::seconds(10));
    probe.reader = std::make_unique<quiltdeck::ReaderWindow>();
    probe.reader->open(url, "A headline", "Probe feed", *probe.main);
    g_unix_fd_add(STDIN_FILENO, G_IO_IN, onInput, &probe);
    g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            report(*static_cast<Probe*>(data));
            return G_SOURCE_CONTINUE;
        },
        &probe);
    platform::runtime::MainLoop::main().run();
    probe.reader.reset();
    probe.main.reset();
    quiltdeck::Log::flush();
    return 0;
}
