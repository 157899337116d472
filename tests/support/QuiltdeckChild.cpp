// A child for the application tests, run as its own process on the state folder
// its environment names. The first argument picks what it does.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/ui/Application.h"
#include "quiltdeck/app/AppDelegate.h"
#include "quiltdeck/panels/BarView.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"

using namespace quiltdeck;

namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int recurse(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth < 0) return frame[0];  // never: only here so that the recursion is not endless to the compiler
    return recurse(depth + 1) + frame[0];
}

// A real fault, which the sanitizers do not stop first: a write to a page without access.
void segmentationFault() {
    auto* page = static_cast<volatile int*>(::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (page == MAP_FAILED) std::exit(3);
    page[0] = 1;
}

// A real bus error: a mapped page past the end of its file.
void busError() {
    char name[] = "/tmp/quiltdeck-bus-XXXXXX";
    const int fd = ::mkstemp(name);
    ::unlink(name);
    auto* page = static_cast<volatile char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
    if (page == MAP_FAILED) std::exit(3);
    say(std::to_string(page[0]));
}

void crash(const std::string& kind) {
    Log::beginRun();
    Log::flush();
    if (kind == "segv") segmentationFault();
    if (kind == "bus") busError();
    if (kind == "stack") say(std::to_string(recurse(0)));
    if (kind == "throw") throw std::runtime_error("boom");
    if (kind == "term") std::raise(SIGTERM);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string arg = argc > 2 ? argv[2] : "";
    if (mode == "crash") {
        crash(arg);
        return 0;
    }
    if (mode == "begin") {  // a run that never ends cleanly
        say(Log::beginRun() ? "unclean" : "clean");
        Log::flush();
        ::_exit(0);
    }
    if (mode == "run") {
        say(Log::beginRun() ? "unclean" : "clean");
        Log::endRun();
        return 0;
    }
    if (mode == "launch") {  // what the launch learns from the store; "wait" keeps it until stdin closes
        Log::beginRun();
        Store& store = Store::shared();
        const std::string language = t("st_busy");
        store.remember("/from/" + std::to_string(::getpid()));  // a change, which saves unless read-only
        store.flush();
        say(language + " readOnly=" + std::to_string(store.readOnly()) +
            " held=" + std::to_string(store.heldByAnotherProcess()));
        Log::flush();
        if (arg == "wait") {
            char byte;
            while (::read(STDIN_FILENO, &byte, 1) > 0) {
            }
        }
        return 0;
    }
    if (mode == "store") {  // the store first: it logs while nothing of the log exists yet
        Store& store = Store::shared();
        Log::flush();
        say("readOnly=" + std::to_string(store.readOnly()));
        return 0;
    }
    if (mode == "bar") {  // what a new top bar takes from the stored language and AI-titles setting
        BarView bar({0, 0, 1200, BarView::height});
        say(bar.languagePicker().titleOfSelectedItem() + (bar.aiToggle().state() == platform::ui::Button::State::on ? " on" : " off"));
        return 0;
    }
    if (mode == "held") {  // SIGTERM while the main thread is held in work of its own; "full": saves fail
        if (arg == "full") failDurableWritesWith(ENOSPC);
        Log::beginRun();
        Store::shared().remember("/held");
        platform::ui::Application::shared().installSignalHandlers(AppDelegate::endWithoutTheMainThread);
        std::raise(SIGTERM);
        std::this_thread::sleep_for(std::chrono::seconds(20));
        return 3;
    }
    if (mode == "save-loop") {
        Store& store = Store::shared();
        store.setAiTitles(false);
        store.flush();
        say("ready");
        for (unsigned i = 0;; ++i) {
            store.remember("/projects/p" + std::to_string(i % 40));
            store.setZoomScale(0.5 + (i % 10) / 10.0);
        }
    }
    return 2;
}
