#include "quiltdeck/sessions/RunningBrowser.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <string_view>
#include <vector>

#include "quiltdeck/sessions/FileReading.h"

namespace quiltdeck {

namespace fs = std::filesystem;

namespace {

// In the order the browsers are preferred; one row per browser.
const std::vector<std::vector<std::string_view>> browserExecutables = {
    {"chrome"}, {"brave"}, {"microsoft-edge", "msedge"}, {"chromium"},
};

std::optional<pid_t> processId(std::string_view name) {
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || end != name.data() + name.size() || pid <= 0) return std::nullopt;
    return pid;
}

// The file name of the process's program; its short command name when the
// program's path cannot be read.
std::string executableOf(const fs::path& process) {
    char target[4096];
    const ssize_t length = ::readlink((process / "exe").c_str(), target, sizeof target - 1);
    if (length > 0) {
        std::string_view path(target, static_cast<size_t>(length));
        // An updated browser still runs the program it started with.
        constexpr std::string_view deleted = " (deleted)";
        if (path.ends_with(deleted)) path.remove_suffix(deleted.size());
        return std::string(path.substr(path.rfind('/') + 1));
    }
    std::string name = readHead(process / "comm", 64).value_or("");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

}  // namespace

std::optional<RunningBrowser> RunningBrowser::find(const fs::path& procRoot) {
    const auto names = listNames(procRoot, 1u << 22);
    if (!names) return std::nullopt;
    std::vector<std::optional<RunningBrowser>> firstOfEach(browserExecutables.size());
    for (const std::string& name : *names) {
        const auto pid = processId(name);
        struct stat info {};
        if (!pid || ::stat((procRoot / name).c_str(), &info) != 0 || info.st_uid != ::getuid()) continue;
        const std::string executable = executableOf(procRoot / name);
        for (size_t i = 0; i < browserExecutables.size(); ++i) {
            for (std::string_view candidate : browserExecutables[i]) {
                if (executable == candidate && !firstOfEach[i]) firstOfEach[i] = RunningBrowser{executable, *pid};
            }
        }
    }
    for (auto& browser : firstOfEach) {
        if (browser) return browser;
    }
    return std::nullopt;
}

}  // namespace quiltdeck
