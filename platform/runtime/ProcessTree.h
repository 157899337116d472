#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::runtime {

// The descendants of a process, read from /proc, for stopping a job with
// everything it started (also what left its process group).
class ProcessTree {
public:
    ProcessTree() = delete;

    // Every descendant of `root` in the order they are to be signalled: each
    // child's own descendants first, then the child; siblings by process id.
    // `root` itself is not among them.
    static std::vector<pid_t> descendantsDeepestFirst(pid_t root);
    // The same over a given table of parent to children.
    static std::vector<pid_t> deepestFirst(const std::multimap<pid_t, pid_t>& children, pid_t root);

    // The parent's id in the text of /proc/<pid>/stat; the command name in it
    // may hold blanks and parentheses.
    static std::optional<pid_t> parentInStat(std::string_view stat);

    // Sends `signal` to every descendant of `root`, deepest first.
    static void signalDescendants(pid_t root, int signal);

    // A small /proc file read whole (64 KiB at most); none when it cannot be opened.
    static std::optional<std::string> readProcFile(const std::string& path);
};

}  // namespace platform::runtime
