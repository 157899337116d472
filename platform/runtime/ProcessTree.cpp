#include "platform/runtime/ProcessTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <set>
#include <string>

namespace platform::runtime {

namespace {

std::optional<pid_t> parsePid(std::string_view text) {
    pid_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
    return value;
}

// Parent to children over every process this user can see.
std::multimap<pid_t, pid_t> childrenTable() {
    std::multimap<pid_t, pid_t> table;
    DIR* folder = ::opendir("/proc");
    if (!folder) return table;
    while (const dirent* entry = ::readdir(folder)) {
        const auto pid = parsePid(entry->d_name);
        if (!pid) continue;
        const auto stat = ProcessTree::readProcFile("/proc/" + std::string(entry->d_name) + "/stat");
        if (!stat) continue;
        if (const auto parent = ProcessTree::parentInStat(*stat)) table.emplace(*parent, *pid);
    }
    ::closedir(folder);
    return table;
}

void collect(const std::multimap<pid_t, pid_t>& children, pid_t parent, std::set<pid_t>& seen,
             std::vector<pid_t>& order) {
    auto [first, last] = children.equal_range(parent);
    std::set<pid_t> sorted;
    for (auto it = first; it != last; ++it) sorted.insert(it->second);
    for (const pid_t child : sorted) {
        // A table read while processes come and go may hold a loop.
        if (!seen.insert(child).second) continue;
        collect(children, child, seen, order);
        order.push_back(child);
    }
}

}  // namespace

std::optional<std::string> ProcessTree::readProcFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char chunk[1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || text.size() > 65536) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

std::optional<pid_t> ProcessTree::parentInStat(std::string_view stat) {
    const size_t close = stat.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = stat.substr(close + 1);
    // " S 1234 ...": the state, then the parent.
    auto nextField = [&rest]() -> std::string_view {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        const size_t end = rest.find(' ');
        std::string_view field = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        return field;
    };
    if (nextField().empty()) return std::nullopt;
    return parsePid(nextField());
}

std::vector<pid_t> ProcessTree::deepestFirst(const std::multimap<pid_t, pid_t>& children, pid_t root) {
    std::vector<pid_t> order;
    std::set<pid_t> seen{root};
    collect(children, root, seen, order);
    return order;
}

std::vector<pid_t> ProcessTree::descendantsDeepestFirst(pid_t root) { return deepestFirst(childrenTable(), root); }

void ProcessTree::signalDescendants(pid_t root, int signal) {
    for (const pid_t pid : descendantsDeepestFirst(root)) ::kill(pid, signal);
}

}  // namespace platform::runtime
