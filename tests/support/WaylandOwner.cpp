// wayland-owner: holds the Wayland clipboard and answers each read the way a real program does,
// for wayland_smoke. The descriptor of a read is written exactly as the compositor hands it over:
// whether it blocks is the reader's doing. The clipboard is taken through the compositor's
// data-control interface, which needs no window, focus or input serial (a headless compositor has
// no keyboard to give one).
//   wayland-owner MODE [ARG]
// plain-whole BYTES      a text in one write() call, then closes, whatever that call wrote
// plain-eagain BYTES     write() until the text is out or the first EAGAIN, then closes
// endless                a text without end, waiting for room when the pipe is full
// hung                   never writes, never closes
// slow-live PARTS        1 MiB, then PARTS parts of 64 KiB, one each 0.5 s
// picture-trickle MS     offers only image/png: a small PNG, one byte each MS ms
// die-inside COUNT       5000 "a" and COUNT bytes (1 to 3) of "🙂", then the program ends
// keyboard               owns nothing: adds a keyboard to the seat, as a person's, so that windows
//                        take focus and get the input serial a copy of theirs needs
// Prints one line per event, "<what> <value> ms=<since start>": "owning 0" once it holds the
// clipboard (or "keyboard 0"), "asked TYPE" for each read, "wrote TOTAL" after each part, then "ended TOTAL" (all
// written and closed), "eagain TOTAL", "gone TOTAL" (the reader's end was closed) or "hung 0".

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace {

using namespace std::chrono_literals;

const auto started = std::chrono::steady_clock::now();
std::mutex saying;

void say(const char* what, const std::string& value) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::lock_guard lock(saying);
    std::printf("%s %s ms=%lld\n", what, value.c_str(), static_cast<long long>(ms.count()));
    std::fflush(stdout);
}
void say(const char* what, size_t bytes) { say(what, std::to_string(bytes)); }

std::string mode;
size_t argument = 0;

std::string textOf(size_t bytes) {
    std::string text;
    for (int line = 0; text.size() < bytes; ++line) text += "line " + std::to_string(line) + " of a plain owner\n";
    text.resize(bytes);
    return text;
}

// A 1x1 PNG that decodes.
const unsigned char picture[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00,
    0x0d, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x64, 0x60, 0xf8, 0x5f, 0x0f, 0x00, 0x02, 0x87, 0x01, 0x80,
    0xeb, 0x47, 0xba, 0x92, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// Writes all of `bytes`, waiting for room when the descriptor does not block; false when the
// reader's end is gone.
bool writeAll(int fd, const char* bytes, size_t size, size_t& written) {
    while (size > 0) {
        const ssize_t count = ::write(fd, bytes, size);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno == EAGAIN) {
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, -1);
            continue;
        }
        if (count < 0) return false;
        bytes += count;
        size -= static_cast<size_t>(count);
        written += static_cast<size_t>(count);
    }
    return true;
}

// One read, on a thread of its own, so that the owner goes on answering the compositor meanwhile.
void answer(int fd) {
    size_t written = 0;
    if (mode == "plain-whole") {
        const std::string text = textOf(argument);
        const ssize_t count = ::write(fd, text.data(), text.size());
        written = count > 0 ? static_cast<size_t>(count) : 0;
        say("wrote", written);
    } else if (mode == "plain-eagain") {
        const std::string text = textOf(argument);
        while (written < text.size()) {
            const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) {
                say(errno == EAGAIN ? "eagain" : "gone", written);
                ::close(fd);
                return;
            }
            written += static_cast<size_t>(count);
            say("wrote", written);
        }
    } else if (mode == "die-inside") {
        const std::string text = std::string(5000, 'a') + std::string("\xf0\x9f\x99\x82").substr(0, std::min<size_t>(std::max<size_t>(argument, 1), 3));
        writeAll(fd, text.data(), text.size(), written);
        say("died", written);
        std::_Exit(0);
    } else if (mode == "endless") {
        const std::string part = textOf(size_t{64} << 10);
        while (writeAll(fd, part.data(), part.size(), written)) say("wrote", written);
        say("gone", written);
        ::close(fd);
        return;
    } else if (mode == "hung") {
        say("hung", size_t{0});
        return;
    } else {
        const bool live = mode == "slow-live";
        const std::string text = live ? textOf((size_t{1} << 20) + argument * (size_t{64} << 10))
                                      : std::string(reinterpret_cast<const char*>(picture), sizeof picture);
        size_t part = live ? size_t{1} << 20 : 1;
        while (written < text.size()) {
            if (!writeAll(fd, text.data() + written, part, written)) {
                say("gone", written);
                ::close(fd);
                return;
            }
            say("wrote", written);
            part = live ? size_t{64} << 10 : 1;
            if (written < text.size()) std::this_thread::sleep_for(live ? 500ms : std::chrono::milliseconds(argument));
        }
    }
    ::close(fd);
    say("ended", written);
}

void onSend(void*, zwlr_data_control_source_v1*, const char* type, int32_t fd) {
    say("asked", type);
    std::thread(answer, fd).detach();
}
void onCancelled(void*, zwlr_data_control_source_v1*) {
    say("replaced", size_t{0});
    std::exit(0);
}
const zwlr_data_control_source_v1_listener sourceEvents = {onSend, onCancelled};

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
};
void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat)
        globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        globals->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        globals->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryEvents = {onGlobal, onGlobalRemove};

// A US keyboard, from the system's keyboard data.
const char keymap[] = "xkb_keymap {\n"
                      "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
                      "  xkb_types { include \"complete\" };\n"
                      "  xkb_compat { include \"complete\" };\n"
                      "  xkb_symbols { include \"pc+us+inet(evdev)\" };\n"
                      "};\n";

bool addKeyboard(const Globals& globals) {
    if (!globals.keyboards) return false;
    zwp_virtual_keyboard_v1* keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals.keyboards, globals.seat);
    const int fd = ::memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, keymap, sizeof keymap) != static_cast<ssize_t>(sizeof keymap)) return false;
    // The request carries a copy of the descriptor.
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof keymap);
    ::close(fd);
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: wayland-owner plain-whole|plain-eagain BYTES | endless | hung | slow-live PARTS | "
                         "picture-trickle MS | die-inside COUNT | keyboard\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    mode = argv[1];
    const bool counted = mode == "plain-whole" || mode == "plain-eagain" || mode == "slow-live" ||
                         mode == "picture-trickle" || mode == "die-inside";
    if (counted != (argc == 3) || (!counted && mode != "endless" && mode != "hung" && mode != "keyboard") || argc > 3)
        return usage();
    if (counted) argument = std::strtoull(argv[2], nullptr, 10);
    // A reader that goes away is told by EPIPE, as a program that ignores the signal learns it.
    ::signal(SIGPIPE, SIG_IGN);
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "wayland-owner: no Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryEvents, &globals);
    wl_display_roundtrip(display);
    if (mode == "keyboard") {
        if (!globals.seat || !addKeyboard(globals) || wl_display_roundtrip(display) < 0) {
            std::fprintf(stderr, "wayland-owner: no keyboard could be added to the seat\n");
            return 1;
        }
        say("keyboard", size_t{0});
        while (wl_display_dispatch(display) >= 0) {
        }
        return 1;
    }
    if (!globals.seat || !globals.manager) {
        std::fprintf(stderr, "wayland-owner: the compositor offers no %s\n", globals.seat ? "data control" : "seat");
        return 1;
    }
    zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(globals.manager);
    const std::vector<const char*> types =
        mode == "picture-trickle" ? std::vector<const char*>{"image/png"}
                                  : std::vector<const char*>{"text/plain;charset=utf-8", "text/plain", "UTF8_STRING",
                                                             "STRING", "TEXT"};
    for (const char* type : types) zwlr_data_control_source_v1_offer(source, type);
    zwlr_data_control_source_v1_add_listener(source, &sourceEvents, nullptr);
    zwlr_data_control_device_v1* device = zwlr_data_control_manager_v1_get_data_device(globals.manager, globals.seat);
    zwlr_data_control_device_v1_set_selection(device, source);
    if (wl_display_roundtrip(display) < 0) return 1;
    say("owning", size_t{0});
    while (wl_display_dispatch(display) >= 0) {
    }
    std::fprintf(stderr, "wayland-owner: the display connection ended\n");
    return 1;
}
