#include "quiltdeck/panels/ClaudeFirstRun.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Log.h"

namespace quiltdeck {

namespace fs = std::filesystem;

namespace {

// The CLI keeps its projects' history in the document; it grows, but not this far.
constexpr size_t sizeLimit = size_t{256} << 20;
constexpr int nestingLimit = 256;

// What tells one version of the file from the next.
struct Version {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    mode_t mode = 0600;

    bool operator==(const Version& other) const {
        if (exists != other.exists) return false;
        if (!exists) return true;
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

std::optional<Version> versionOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return Version{};
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) return std::nullopt;
    return Version{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim, info.st_mode & 07777};
}

// Writes the bytes to a new private file beside `path`; its name, or nothing.
std::optional<std::string> writeAside(const fs::path& path, const std::string& bytes, mode_t mode) {
    std::string name = ".";
    name += path.filename().string();
    name += ".quiltdeck-XXXXXX";
    std::string temp = (path.parent_path() / name).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // The CLI's file stays its user's, also when written by a process run as root.
    struct stat existing {};
    const bool replaces = ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    // A new one in a user's home is theirs, made by a run as root or not.
    if (!replaces) giveMadeToHomeOwner(temp, fd);
    const bool owned = !replaces || keepOwner(fd, existing, path.parent_path());
    const bool written = owned && ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return std::nullopt;
    }
    return temp;
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

ClaudeFirstRun::Outcome ClaudeFirstRun::answer() { return answer(homeFolder() / ".claude.json"); }

ClaudeFirstRun::Outcome ClaudeFirstRun::answer(const fs::path& path, const std::function<void()>& beforeReplace) {
    const auto target = finalLinkTarget(path);
    if (!target) return Outcome::unreadable;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const auto before = versionOf(*target);
        if (!before) return Outcome::unreadable;
        nlohmann::json document = nlohmann::json::object();
        std::optional<std::string> bytes;
        if (before->exists) {
            bytes = readWholeFile(*target, sizeLimit);
            if (!bytes) return Outcome::unreadable;
            document = parseJsonText(*bytes, nestingLimit);
            if (document.is_discarded() || !document.is_object()) return Outcome::unreadable;
        }
        if (document.contains("hasCompletedOnboarding")) return Outcome::alreadyAnswered;
        if (!document.contains("theme")) document["theme"] = "dark";
        document["hasCompletedOnboarding"] = true;
        const std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        const auto temp = writeAside(*target, text, before->mode);
        if (!temp) {
            Log::write(std::string("claude.json: could not write (") + std::strerror(errno) + ")");
            return Outcome::failed;
        }
        if (beforeReplace) beforeReplace();
        // The CLI may have written it since we read it: then ours would drop its
        // change. Times move in coarse ticks, so the bytes are compared too.
        if (versionOf(*target) != before || (bytes && readWholeFile(*target, sizeLimit) != bytes)) {
            ::unlink(temp->c_str());
            continue;
        }
        if (::rename(temp->c_str(), target->c_str()) != 0) {
            const int saved = errno;
            ::unlink(temp->c_str());
            Log::write(std::string("claude.json: could not write (") + std::strerror(saved) + ")");
            return Outcome::failed;
        }
        syncFolder(target->parent_path());
        Log::write("claude.json: added theme defaults");
        return Outcome::written;
    }
    Log::write("claude.json: kept changing while the first-run answers were added, left as it is");
    return Outcome::failed;
}

}  // namespace quiltdeck
