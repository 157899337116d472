// A stand-in for the assistant CLI, installed as `claude` in a test HOME. It
// answers what the application relies on: the help text with its flags, the
// sign-in status, one-shot answers on standard input, the flags' values, a
// resume of a conversation file (a one-shot run saves one too, unless told
// --no-session-persistence; one that is gone gets "No conversation found",
// on a terminal narrower than 80 columns with its words placed by cursor
// moves, as the real CLI writes it), and the hooks of a settings text, run the
// way the real CLI runs them. Every call is logged (JSON lines) to
// $HOME/.local/bin/claude.log, so a different `claude` earlier on the search
// path leaves the log empty and the test fails.
//
// Variables: FAKE_CLAUDE_HELP_DROP (flags, comma-separated, left out of the
// help and refused), FAKE_CLAUDE_HELP_HANG (the help never ends),
// FAKE_CLAUDE_HELP_GATE (the help waits until this file is there),
// FAKE_CLAUDE_ANSWER (the one-shot answer), FAKE_CLAUDE_EXIT (its exit code),
// FAKE_CLAUDE_DELAY (seconds to wait before answering), FAKE_CLAUDE_NOTIFY (a
// notification type to send as a Notification hook), FAKE_CLAUDE_SESSION_ID,
// FAKE_CLAUDE_TOOL and FAKE_CLAUDE_TOOL_INPUT (the tool of the tool hooks),
// FAKE_CLAUDE_RESUME_EXIT_DELAY (seconds between "No conversation found" and
// the exit), FAKE_CLAUDE_LOGIN_TERMINAL (the sign-in address as a terminal
// shows it: an OSC 8 link in bright blue), FAKE_CLAUDE_LOGIN_QUIET (no
// "Paste code" prompt), FAKE_CLAUDE_EMAIL (the account a good code signs in),
// FAKE_CLAUDE_STATUS_HANG (the sign-in status never ends), FAKE_CLAUDE_UNREAD
// (seconds after which a one-shot run exits with 1, its input unread),
// FAKE_CLAUDE_RUN (a shell command that a one-shot reply asks the Bash tool
// to run; the user's own settings are taken to allow every tool, as they may,
// so it runs, in the run's folder, unless --tools leaves Bash out or
// --disallowedTools names it; logged as "ran" or "refused", and what it printed
// goes before the answer), FAKE_CLAUDE_START_DELAY (seconds an interactive
// run on a terminal takes to start, after first bytes that draw nothing),
// FAKE_CLAUDE_START_BURN (seconds an interactive run on a terminal keeps a
// processor busy before it prints anything, as a CLI loading on a loaded
// machine does).
// On a terminal the session is drawn as the real CLI draws it
// (FakeClaudeScreen.cpp); without one it reads one prompt per line.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/FakeClaude.h"

extern char** environ;

namespace fake {

std::string variable(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

double seconds(const char* name, double fallback) {
    const std::string text = variable(name);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && value >= 0 ? value : fallback;
}

std::string home() { return variable("HOME", "/tmp"); }

std::string currentFolder() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::string dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

void logRecord(json record) {
    record["pid"] = ::getpid();
    const std::string line = dump(record) + "\n";
    const std::string path = home() + "/.local/bin/claude.log";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    (void)!::write(fd, line.data(), line.size());
    ::close(fd);
}

std::string readAll(int fd) {
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            text.append(chunk, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            return text;
    }
}

// The folder key of the conversation files: every character but ASCII
// letters and digits becomes one '-', a character of several UTF-8 bytes too.
std::string folderKey(const std::string& folder) {
    std::string key;
    for (const char c : folder) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        if (keep) key += c;
        else if (!continuation) key += '-';
    }
    return key;
}

std::string conversationFolder() { return home() + "/.claude/projects/" + folderKey(currentFolder()); }

std::string newSessionId() {
    std::random_device device;
    std::mt19937_64 random(device());
    char text[40];
    const uint64_t a = random(), b = random();
    std::snprintf(text, sizeof text, "%08x-%04x-4%03x-a%03x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>(a & 0xffff), static_cast<unsigned>((a >> 16) & 0xfff),
                  static_cast<unsigned>(b >> 52), static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return text;
}

// --- Help ------------------------------------------------------------------------------

struct HelpLine {
    std::vector<std::string> flags;
    std::string text;
};

const std::vector<HelpLine>& helpLines() {
    static const std::vector<HelpLine> lines = {
        {{"-p", "--print"}, "  -p, --print                          Print the answer and exit (for pipes)"},
        {{"-n", "--name"}, "  -n, --name <name>                    A display name for this session"},
        {{"--settings"}, "  --settings <file-or-json>            Load extra settings from a file or a JSON string"},
        {{"--append-system-prompt"}, "  --append-system-prompt <prompt>      Append a system prompt to the default one"},
        {{"--chrome"}, "  --chrome                             Enable the browser integration"},
        {{"-r", "--resume"}, "  -r, --resume [sessionId]             Resume a conversation by its session id"},
        {{"-c", "--continue"}, "  -c, --continue                       Continue the most recent conversation"},
        {{"--strict-mcp-config"}, "  --strict-mcp-config                  Only use servers from --mcp-config"},
        {{"--disable-slash-commands"}, "  --disable-slash-commands             Disable all skills"},
        {{"--no-session-persistence"}, "  --no-session-persistence             Save no conversation file (with --print)"},
        {{"--allowedTools"}, "  --allowedTools <tools...>            Tools to allow without asking"},
        {{"--disallowedTools"}, "  --disallowedTools <tools...>         Tools to deny (e.g. \"Bash(git:*) Edit\")"},
        {{"--tools"}, "  --tools <tools...>                   The built-in tools offered: \"\" none, \"default\" all, or names"},
        {{"--model"}, "  --model <model>                      Model for the current session"},
        {{"--permission-mode"}, "  --permission-mode <mode>             Permission mode for the session"},
        {{"-h", "--help"}, "  -h, --help                           Display help for command"},
    };
    return lines;
}

std::set<std::string> droppedFlags() {
    std::set<std::string> dropped;
    std::stringstream list(variable("FAKE_CLAUDE_HELP_DROP"));
    for (std::string flag; std::getline(list, flag, ',');) {
        if (!flag.empty()) dropped.insert(flag);
    }
    return dropped;
}

bool isDropped(const HelpLine& line, const std::set<std::string>& dropped) {
    for (const auto& flag : line.flags) {
        if (dropped.count(flag)) return true;
    }
    return false;
}

int printHelp() {
    if (!variable("FAKE_CLAUDE_HELP_HANG").empty()) {
        for (;;) ::pause();
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds("FAKE_CLAUDE_HELP_DELAY", 0)));
    // Held until a file is there (a test lets the probe end when it is ready), two minutes at most.
    if (const std::string gate = variable("FAKE_CLAUDE_HELP_GATE"); !gate.empty()) {
        for (int waited = 0; waited < 24000 && ::access(gate.c_str(), F_OK) != 0; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    const auto dropped = droppedFlags();
    std::string text = "Usage: claude [options] [command] [prompt]\n\nClaude Code - starts an interactive session "
                       "by default, use -p/--print for output without interaction.\n\nOptions:\n";
    for (const auto& line : helpLines()) {
        if (!isDropped(line, dropped)) text += line.text + "\n";
    }
    text += "\nCommands:\n  auth                                 Manage authentication\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

// --- Sign-in ---------------------------------------------------------------------------

std::string credentialsPath() { return home() + "/.claude/.fake-credentials.json"; }

std::optional<std::string> signedInEmail() {
    std::ifstream file(credentialsPath());
    if (!file) return std::nullopt;
    json saved = json::parse(file, nullptr, false);
    if (saved.is_discarded() || !saved.is_object() || !saved.contains("email") || !saved["email"].is_string())
        return std::nullopt;
    return saved["email"].get<std::string>();
}

int authStatus() {
    if (!variable("FAKE_CLAUDE_STATUS_HANG").empty()) {
        for (;;) ::pause();
    }
    using ordered = nlohmann::ordered_json;
    ordered status;
    if (const auto email = signedInEmail()) {
        status = ordered{{"loggedIn", true}, {"authMethod", "claude.ai"}, {"apiProvider", "firstParty"},
                         {"email", *email}, {"subscriptionType", "max"}};
    } else if (!variable("ANTHROPIC_API_KEY").empty()) {
        status = ordered{{"loggedIn", true}, {"authMethod", "api_key"}, {"apiKeySource", "ANTHROPIC_API_KEY"}};
    } else {
        status = ordered{{"loggedIn", false}, {"authMethod", "none"}};
    }
    std::cout << status.dump(2) << "\n";
    return status["loggedIn"].get<bool>() ? 0 : 1;
}

// What the sign-in prints on a pipe, then the code read from standard input:
// "good" signs in, anything else (or the end of the input) fails.
int authLogin(bool console) {
    const std::string url = console ? "https://platform.claude.com/oauth/authorize?code=true&client_id=9d1c250a-e61b"
                                      "-44d9-88ed-5944d1962f5e&response_type=code&scope=org%3Acreate_api_key&state=fake"
                                    : "https://claude.com/cai/oauth/authorize?code=true&client_id=9d1c250a-e61b-44d9"
                                      "-88ed-5944d1962f5e&response_type=code&redirect_uri=https%3A%2F%2Fplatform.claude"
                                      ".com%2Foauth%2Fcode%2Fcallback&scope=user%3Ainference&state=fake";
    std::string text = "Opening browser to sign in\u2026\n";
    // On a terminal the address is a link in bright blue.
    const std::string shown = variable("FAKE_CLAUDE_LOGIN_TERMINAL").empty()
                                  ? url
                                  : "\x1b]8;;" + url + "\x1b\\\x1b[94m" + url + "\x1b[39m\x1b]8;;\x1b\\";
    text += "If the browser didn't open, visit: " + shown + "\n";
    if (variable("FAKE_CLAUDE_LOGIN_QUIET").empty()) text += "Paste code here if prompted > ";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    std::string code;
    const bool got = static_cast<bool>(std::getline(std::cin, code));
    logRecord({{"stdin", got ? code + "\n" : code}});
    if (got && code == "good") {
        ::mkdir((home() + "/.claude").c_str(), 0700);
        std::ofstream(credentialsPath()) << dump({{"email", variable("FAKE_CLAUDE_EMAIL", "a@b")}}) << "\n";
        std::cout << "\nLogin successful.\n";
        return 0;
    }
    std::cout << "\nOAuth error: Invalid code\n";
    return 1;
}

// --- Options ---------------------------------------------------------------------------

struct Options {
    bool print = false;
    bool chrome = false;
    bool persist = true;
    std::optional<std::string> name, settings, resume, permissionMode, appendedPrompt, model;
    std::vector<std::string> allowedTools, disallowedTools;
    // The built-in tools offered; all when none is given.
    std::optional<std::set<std::string>> tools;
    std::vector<std::string> prompt;
};

int refuse(const std::string& message) {
    std::cerr << "error: " << message << "\n";
    return 1;
}

// Parses the arguments; a non-zero result is the exit code of a refusal.
int parse(const std::vector<std::string>& args, Options& options) {
    const auto dropped = droppedFlags();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty() || arg[0] != '-') {
            options.prompt.push_back(arg);
            continue;
        }
        if (dropped.count(arg)) return refuse("unknown option '" + arg + "'");
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (arg == "-p" || arg == "--print") options.print = true;
        else if (arg == "--chrome") options.chrome = true;
        else if (arg == "--no-session-persistence") options.persist = false;
        else if (arg == "--strict-mcp-config" || arg == "--disable-slash-commands" || arg == "-c" || arg == "--continue") {}
        else if (arg == "-n" || arg == "--name") ok = value(options.name);
        else if (arg == "--settings") ok = value(options.settings);
        else if (arg == "-r" || arg == "--resume") ok = value(options.resume);
        else if (arg == "--permission-mode") ok = value(options.permissionMode);
        else if (arg == "--append-system-prompt") ok = value(options.appendedPrompt);
        else if (arg == "--model") ok = value(options.model);
        else if (arg == "--allowedTools" || arg == "--disallowedTools") {
            auto& list = arg == "--allowedTools" ? options.allowedTools : options.disallowedTools;
            while (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') list.push_back(args[++i]);
            ok = !list.empty();
        } else if (arg == "--tools") {
            std::optional<std::string> names;
            ok = value(names);
            if (ok && *names != "default") {
                options.tools.emplace();
                std::string name;
                for (const char c : *names + ",") {
                    if (c != ',' && c != ' ') name += c;
                    else if (!name.empty()) options.tools->insert(std::exchange(name, {}));
                }
            }
        } else return refuse("unknown option '" + arg + "'");
        if (!ok) return refuse("option '" + arg + "' argument missing");
    }
    static const std::set<std::string> modes = {"acceptEdits", "auto", "bypassPermissions", "manual", "dontAsk", "plan"};
    if (options.permissionMode && !modes.count(*options.permissionMode))
        return refuse("option '--permission-mode <mode>' argument '" + *options.permissionMode + "' is invalid.");
    return 0;
}

// --- Hooks -----------------------------------------------------------------------------

bool matches(const json& group, const std::string& tool) {
    if (!group.contains("matcher") || !group["matcher"].is_string()) return true;
    const std::string matcher = group["matcher"];
    if (matcher.empty() || matcher == "*") return true;
    std::stringstream names(matcher);
    for (std::string name; std::getline(names, name, '|');) {
        if (name == tool) return true;
    }
    return false;
}

// Runs one hook command through /bin/sh -c with the event on its standard
// input, and reads its output to the end, as the real CLI does.
int runHook(const std::string& command, const std::string& input, std::string& output) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return -1;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]), ::close(in[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(in[1]), ::close(out[0]);
        return -1;
    }
    // The event is written by a thread of its own, so a hook that writes
    // before it reads cannot stall us.
    std::thread writer([fd = in[1], &input] {
        size_t done = 0;
        while (done < input.size()) {
            const ssize_t n = ::write(fd, input.data() + done, input.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
    });
    output = readAll(out[0]);
    ::close(out[0]);
    writer.join();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void HookRunner::fire(const std::string& event, json fields, const std::string& tool) {
    if (!settings_.is_object() || !settings_.contains("hooks") || !settings_["hooks"].is_object()) return;
    const json& hooks = settings_["hooks"];
    if (!hooks.contains(event) || !hooks[event].is_array()) return;
    json body = {{"session_id", sessionId_},
                 {"transcript_path", conversationFolder() + "/" + sessionId_ + ".jsonl"},
                 {"cwd", currentFolder()},
                 {"hook_event_name", event}};
    body.update(fields);
    const std::string input = dump(body);
    for (const auto& group : hooks[event]) {
        if (!group.is_object() || !matches(group, tool) || !group.contains("hooks") || !group["hooks"].is_array()) continue;
        for (const auto& hook : group["hooks"]) {
            if (!hook.is_object() || hook.value("type", "") != "command" || !hook.contains("command")) continue;
            if (!hook["command"].is_string()) continue;
            std::string output;
            const int code = runHook(hook["command"].get<std::string>(), input, output);
            logRecord({{"hook", event}, {"input", input}, {"exit", code}, {"output", output}});
        }
    }
}

std::optional<json> loadSettings(const std::string& text) {
    std::string source = text;
    if (source.empty() || source[0] != '{') {
        std::ifstream file(text);
        if (!file) return std::nullopt;
        source.assign(std::istreambuf_iterator<char>(file), {});
    }
    json parsed = json::parse(source, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

void firePromptHooks(HookRunner& hooks, const std::string& prompt) {
    hooks.fire("UserPromptSubmit", {{"prompt", prompt}});
    const std::string tool = variable("FAKE_CLAUDE_TOOL", "Bash");
    json input = json::parse(variable("FAKE_CLAUDE_TOOL_INPUT", R"({"command":"ls","description":"List files"})"),
                             nullptr, false);
    if (input.is_discarded()) input = json::object();
    hooks.fire("PreToolUse", {{"tool_name", tool}, {"tool_input", input}}, tool);
    hooks.fire("PostToolUse",
               {{"tool_name", tool}, {"tool_input", input}, {"tool_response", {{"stdout", ""}, {"stderr", ""}}}},
               tool);
    const std::string notification = variable("FAKE_CLAUDE_NOTIFY");
    if (!notification.empty()) {
        hooks.fire("Notification",
                   {{"message", "Claude is waiting for your input"}, {"notification_type", notification}});
    }
    hooks.fire("Stop", {{"stop_hook_active", false}});
}

// The reply's call of the Bash tool: run unless the run took the tool away or denied it.
void runAskedCommand(const Options& options, const std::string& command) {
    const bool offered = !options.tools || options.tools->count("Bash");
    const auto& denied = options.disallowedTools;
    if (!offered || std::find(denied.begin(), denied.end(), "Bash") != denied.end()) {
        logRecord({{"refused", "Bash"}});
        return;
    }
    std::string output;
    logRecord({{"ran", command}, {"exit", runHook(command, "", output)}});
    std::fwrite(output.data(), 1, output.size(), stdout);
}

void appendTranscript(const std::string& sessionId, const std::string& prompt) {
    const std::string folder = conversationFolder();
    for (size_t slash = 0; (slash = folder.find('/', slash + 1)) != std::string::npos;) ::mkdir(folder.substr(0, slash).c_str(), 0755);
    ::mkdir(folder.c_str(), 0755);
    std::ofstream file(folder + "/" + sessionId + ".jsonl", std::ios::app);
    file << dump({{"type", "user"}, {"sessionId", sessionId}, {"message", {{"role", "user"}, {"content", prompt}}}}) << "\n";
}

// A message as the CLI writes it on a terminal narrower than 80 columns:
// wrapped at word ends, each word after the first of a row placed with a
// cursor move to its column (CSI n G) instead of a blank.
std::string placedOnTerminal(const std::string& text) {
    winsize size{};
    if (!::isatty(1) || ::ioctl(1, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_col >= 80) return text;
    std::string out;
    size_t column = 0;
    std::stringstream words(text);
    for (std::string word; words >> word;) {
        if (column > 0 && column + 1 + word.size() > size.ws_col) {
            out += "\r\n";
            column = 0;
        }
        if (column > 0) {
            column += 1;
            out += "\x1b[" + std::to_string(column + 1) + "G";
        }
        out += word;
        column += word.size();
    }
    return out;
}

int session(const Options& options) {
    std::string sessionId = variable("FAKE_CLAUDE_SESSION_ID");
    if (options.resume) {
        struct stat info{};
        if (::stat((conversationFolder() + "/" + *options.resume + ".jsonl").c_str(), &info) != 0) {
            std::cout << placedOnTerminal("No conversation found with session ID: " + *options.resume) << "\n" << std::flush;
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds("FAKE_CLAUDE_RESUME_EXIT_DELAY", 0)));
            return 1;
        }
        sessionId = *options.resume;
    }
    if (sessionId.empty()) sessionId = newSessionId();
    json settings = json::object();
    if (options.settings) {
        auto loaded = loadSettings(*options.settings);
        if (!loaded) return refuse("invalid settings: " + *options.settings);
        settings = std::move(*loaded);
    }
    HookRunner hooks(settings, sessionId);
    if (const double burn = seconds("FAKE_CLAUDE_START_BURN", 0); burn > 0 && !options.print && ::isatty(1)) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(burn);
        while (std::chrono::steady_clock::now() < end) {
        }
    }
    // A slow start on a terminal: first bytes that draw nothing, as the real CLI's do (the
    // cursor saved and restored), then the start hook and the screen.
    if (const double delay = seconds("FAKE_CLAUDE_START_DELAY", 0); delay > 0 && !options.print && ::isatty(1)) {
        std::cout << "\x1b" "7\x1b" "8" << std::flush;
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    }
    hooks.fire("SessionStart", {{"source", options.resume ? "resume" : "startup"}});

    if (options.print) {
        // A CLI that fails before it reads its input, after a while.
        if (const std::string unread = variable("FAKE_CLAUDE_UNREAD"); !unread.empty()) {
            std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(unread.c_str())));
            return 1;
        }
        std::string prompt = readAll(0);
        logRecord({{"stdin", prompt}});
        for (const auto& word : options.prompt) prompt += (prompt.empty() ? "" : " ") + word;
        firePromptHooks(hooks, prompt);
        if (const std::string asked = variable("FAKE_CLAUDE_RUN"); !asked.empty()) runAskedCommand(options, asked);
        if (options.persist) appendTranscript(sessionId, prompt);
        const std::string delay = variable("FAKE_CLAUDE_DELAY");
        if (!delay.empty()) std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(delay.c_str())));
        const std::string answer = variable("FAKE_CLAUDE_ANSWER", "fake answer") + "\n";
        std::fwrite(answer.data(), 1, answer.size(), stdout);
        return std::atoi(variable("FAKE_CLAUDE_EXIT", "0").c_str());
    }

    if (::isatty(0) && ::isatty(1)) return runScreen(hooks, options.name.value_or(""));

    // Interactive without a terminal: one prompt per line until the input ends.
    std::cout << "Claude Code (fake) " << sessionId << "\n> " << std::flush;
    std::string all;
    for (std::string line; std::getline(std::cin, line);) {
        all += line + "\n";
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        firePromptHooks(hooks, line);
        appendTranscript(sessionId, line);
        std::cout << variable("FAKE_CLAUDE_ANSWER", "fake answer") << "\n> " << std::flush;
    }
    logRecord({{"stdin", all}});
    return 0;
}

}  // namespace fake

int main(int argc, char** argv) {
    using namespace fake;
    std::vector<std::string> args(argv + 1, argv + argc);
    logRecord({{"argv", args}, {"cwd", currentFolder()}});
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") return printHelp();
    }
    if (args.size() >= 2 && args[0] == "auth" && args[1] == "status") return authStatus();
    if (args.size() >= 2 && args[0] == "auth" && args[1] == "login")
        return authLogin(std::find(args.begin(), args.end(), "--console") != args.end());
    Options options;
    if (const int refused = parse(args, options)) return refused;
    return session(options);
}
