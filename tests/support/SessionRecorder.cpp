// quiltdeck-record: runs a tile's assistant the way a tile starts it (login
// shell, hook settings pointing at a hook server of its own, the tile prompt)
// on a pseudo-terminal (120 x 38 unless --size says), and writes what the tile's session sees
// (timed output chunks, hook posts, input, the exit) as JSON lines that the
// replayer of the tests reads (SessionRecording.h).
//
//   quiltdeck-record [--script input.jsonl] [--permission-mode MODE] [--resume ID] [--size COLSxROWS] out.jsonl
//                    [-- program args...]
//
// Without a script, the keys typed go to the assistant and its screen is shown
// here, so a person can record a session; a script gives timed input instead
// ({"t":1.5,"in":"hello\r"} per line) and resizes of the terminal, as when a
// tile is zoomed ({"t":3,"resize":[120,38]}). The recording ends when the
// child does.

#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "platform/runtime/GLibMainLoop.h"
#include "quiltdeck/sessions/HookServer.h"
#include "quiltdeck/sessions/SessionLaunch.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/sessions/Uuid.h"
#include "support/SessionRecording.h"
#include "vantel/host/LocalProcess.h"

namespace {

using nlohmann::json;
using namespace std::chrono_literals;
using platform::runtime::Clock;

int cols = 120;
int rows = 38;

class Recorder : public vantel::LocalProcessDelegate {
public:
    Recorder(platform::runtime::MainLoop& loop, std::ofstream& out, bool echo) : loop_(loop), out_(out), echo_(echo) {}

    void write(json record) {
        record["t"] = std::round(std::chrono::duration<double>(Clock::now() - start_).count() * 1000) / 1000;
        out_ << record.dump(-1, ' ', false, json::error_handler_t::replace) << "\n";
    }

    void dataReceived(std::span<const uint8_t> slice) override {
        write(quiltdeck::testing::recordBytes("out", slice));
        if (echo_) (void)!::write(1, slice.data(), slice.size());
    }
    void processTerminated(vantel::LocalProcess&, std::optional<int32_t> exitCode) override {
        write({{"exit", exitCode.value_or(0)}});
        // Hooks posted in the background may still be on their way.
        loop_.postAfter(500ms, [this] { loop_.quit(); });
    }
    winsize getWindowSize() override {
        const auto c = static_cast<unsigned short>(cols), r = static_cast<unsigned short>(rows);
        return {r, c, static_cast<unsigned short>(c * 8), static_cast<unsigned short>(r * 16)};
    }

private:
    platform::runtime::MainLoop& loop_;
    std::ofstream& out_;
    bool echo_;
    Clock::time_point start_ = Clock::now();
};

int usage() {
    std::cerr << "usage: quiltdeck-record [--script input.jsonl] [--permission-mode MODE] [--resume ID] [--size COLSxROWS] "
                 "out.jsonl [-- program args...]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scriptPath, outPath, permissionMode = "manual";
    std::optional<std::string> resume;
    std::vector<std::string> program;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--script" && i + 1 < argc) scriptPath = argv[++i];
        else if (arg == "--permission-mode" && i + 1 < argc) permissionMode = argv[++i];
        else if (arg == "--resume" && i + 1 < argc) resume = argv[++i];
        else if (arg == "--size" && i + 1 < argc && std::sscanf(argv[++i], "%dx%d", &cols, &rows) == 2 && cols > 0 &&
                 rows > 0) {}
        else if (arg == "--") program.assign(argv + i + 1, argv + argc), i = argc;
        else if (outPath.empty() && arg[0] != '-') outPath = arg;
        else return usage();
    }
    if (outPath.empty()) return usage();
    std::ofstream out(outPath, std::ios::trunc);
    if (!out) return usage();

    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    const std::string tile = quiltdeck::newUuid();
    quiltdeck::HookServer::Options options;
    options.firstPort = options.lastPort = 0;
    options.loop = &loop;
    quiltdeck::HookServer hooks(options);
    hooks.start();
    hooks.publish({{tile}, {}});

    const bool interactive = scriptPath.empty();
    Recorder recorder(loop, out, interactive);
    hooks.onHook = [&](const std::string&, const std::string& event, const json& body) {
        recorder.write({{"hook", event}, {"body", body}});
    };

    char folder[4096];
    const std::string cwd = ::getcwd(folder, sizeof folder) ? folder : "/";
    out << json{{"recording", 1}, {"cols", cols}, {"rows", rows}, {"tile", tile}, {"cwd", cwd}}.dump() << "\n";

    const std::string shell = quiltdeck::ShellCommand::loginShell();
    std::string text;
    if (program.empty()) {
        quiltdeck::SessionLaunch::Assistant assistant;
        assistant.id = tile;
        assistant.name = "record";
        assistant.hookPort = hooks.port();
        assistant.permissionMode = permissionMode;
        assistant.resumeId = resume;
        text = quiltdeck::SessionLaunch::assistantCommand(assistant, {}, shell);
    } else {
        text = "exec";
        for (const auto& word : program) text += " " + quiltdeck::ShellCommand::quoteForShell(word);
    }
    vantel::LocalProcess process(&recorder, &loop);
    process.startProcess(shell, {"-lc", text}, quiltdeck::SessionLaunch::environment(tile), std::nullopt, cwd);
    if (!process.running()) {
        std::cerr << "quiltdeck-record: cannot start " << shell << "\n";
        return 1;
    }

    auto send = [&](const std::string& bytes) {
        recorder.write(quiltdeck::testing::recordBytes(
            "in", {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}));
        process.send({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    };
    termios saved{};
    const bool rawInput = interactive && ::tcgetattr(0, &saved) == 0;
    std::shared_ptr<platform::runtime::Watch> keys;
    if (interactive) {
        if (rawInput) {
            termios raw = saved;
            ::cfmakeraw(&raw);
            ::tcsetattr(0, TCSANOW, &raw);
        }
        keys = loop.watchDescriptor(0, platform::runtime::IoEvent::readable, [&](platform::runtime::IoEvents) {
            char chunk[4096];
            const ssize_t n = ::read(0, chunk, sizeof chunk);
            if (n > 0) send(std::string(chunk, static_cast<size_t>(n)));
            else if (keys) keys->cancel();
        });
    } else {
        std::ifstream script(scriptPath);
        for (std::string line; std::getline(script, line);) {
            const auto step = json::parse(line, nullptr, false);
            if (!step.is_object()) continue;
            const double at = step.contains("t") && step["t"].is_number() ? step["t"].get<double>() : 0.0;
            const auto delay = std::chrono::duration_cast<platform::runtime::Duration>(std::chrono::duration<double>(at));
            if (step.contains("in") && step["in"].is_string()) {
                loop.postAfter(delay, [&send, bytes = step["in"].get<std::string>()] { send(bytes); });
            } else if (const auto size = step.value("resize", json()); size.is_array() && size.size() == 2 &&
                                                                       size[0].is_number_integer() &&
                                                                       size[1].is_number_integer()) {
                loop.postAfter(delay, [&, c = size[0].get<int>(), r = size[1].get<int>()] {
                    cols = c, rows = r;
                    recorder.write({{"resize", {c, r}}});
                    process.setWindowSize(recorder.getWindowSize());
                });
            }
        }
    }
    loop.run();
    if (rawInput) ::tcsetattr(0, TCSANOW, &saved);
    return 0;
}
