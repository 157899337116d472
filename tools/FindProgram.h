// Finding a program to start the way a shell does: a name with a slash is taken as it is,
// any other is looked up along PATH.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vantel::tools {

// Where a program to start lives, or why it cannot be started.
struct Program {
    std::string path;
    std::string error;  // empty when path can be started
    int status = 0;     // the exit status for the error
};

inline Program findProgram(const std::string& name) {
    auto check = [](const std::string& path) -> Program {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) return {path, std::strerror(errno), 127};
        if (S_ISDIR(info.st_mode)) return {path, std::strerror(EISDIR), 126};
        if (::access(path.c_str(), X_OK) != 0) return {path, std::strerror(EACCES), 126};
        return {path, "", 0};
    };
    if (name.empty()) return {name, "command not found", 127};
    if (name.find('/') != std::string::npos) return check(name);
    const char* variable = std::getenv("PATH");
    const std::string_view directories = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    std::optional<Program> notExecutable;
    for (size_t at = 0; at <= directories.size();) {
        size_t end = directories.find(':', at);
        if (end == std::string_view::npos) end = directories.size();
        // An empty entry is the current directory.
        const std::string directory(end > at ? directories.substr(at, end - at) : ".");
        Program candidate = check(directory + "/" + name);
        if (candidate.error.empty()) return candidate;
        if (candidate.status == 126 && !notExecutable) notExecutable = candidate;
        at = end + 1;
    }
    if (notExecutable) return *notExecutable;
    return {name, "command not found", 127};
}

}  // namespace vantel::tools
