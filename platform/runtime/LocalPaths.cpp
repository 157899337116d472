#include "platform/runtime/LocalPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace platform::runtime {

namespace {

// The reentrant lookups: link paths may be resolved off the main thread.
std::optional<std::string> homeOf(const char* name) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    const int error = name ? ::getpwnam_r(name, &entry, buffer.data(), buffer.size(), &found)
                           : ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error != 0 || !found || !found->pw_dir) return std::nullopt;
    return std::string(found->pw_dir);
}

}  // namespace

std::string LocalPaths::expandingTilde(const std::string& path) {
    if (path.empty() || path[0] != '~') return path;
    const size_t slash = path.find('/');
    const std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    const std::string rest = slash == std::string::npos ? "" : path.substr(slash);
    std::optional<std::string> home;
    if (user.empty()) {
        if (const char* variable = std::getenv("HOME"); variable && *variable) home = variable;
        else home = homeOf(nullptr);
    } else {
        home = homeOf(user.c_str());
    }
    return home ? *home + rest : path;
}

bool LocalPaths::exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace platform::runtime
