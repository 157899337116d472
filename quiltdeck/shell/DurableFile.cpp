#include "quiltdeck/shell/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace quiltdeck {

namespace {

std::atomic<int> injectedFailure{0};

std::string temporaryPrefix(const std::filesystem::path& path) {
    std::string prefix = ".";
    prefix += path.filename().string();
    prefix += ".tmp-";
    return prefix;
}

// Keeps errno of the failure that led here.
void discard(int fd, const std::string& path) {
    const int saved = errno;
    if (fd >= 0) ::close(fd);
    ::unlink(path.c_str());
    errno = saved;
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int openRegularFile(const std::filesystem::path& path, int flags, mode_t mode) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0) {
        // A FIFO without a reader, opened for writing.
        if (errno == ENXIO) errno = EINVAL;
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int code = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = code;
        return -1;
    }
    return fd;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& path, size_t limit, int* error, int openFlags) {
    auto fail = [&](int code) -> std::optional<std::string> {
        if (error) *error = code;
        return std::nullopt;
    };
    const int fd = openRegularFile(path, O_RDONLY | openFlags);
    if (fd < 0) return fail(errno);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(code);
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > limit) {
            ::close(fd);
            return fail(EFBIG);
        }
        bytes.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    if (error) *error = 0;
    return bytes;
}

std::string writeFailureText(int error) { return error == EINVAL ? "not a regular file" : std::strerror(error); }

void failDurableWritesWith(int error) { injectedFailure.store(error); }

bool writeFileDurably(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
    if (const int failure = injectedFailure.load()) {
        errno = failure;
        return false;
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string name = temporaryPrefix(path);
    name += "XXXXXX";
    std::string temp = (folder / name).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) {
        discard(fd, temp);
        return false;
    }
    if (::close(fd) != 0) {
        discard(-1, temp);
        return false;
    }
    // A save never replaces what is no file of ours: a link followed to a FIFO, a device or a
    // folder (pointed there since the last save) is refused, and stays as it is.
    struct stat there {};
    if (::lstat(path.c_str(), &there) == 0 && !S_ISREG(there.st_mode) && !S_ISLNK(there.st_mode)) {
        errno = S_ISDIR(there.st_mode) ? EISDIR : EINVAL;
        discard(-1, temp);
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        discard(-1, temp);
        return false;
    }
    // The rename itself is only durable once the folder is.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::optional<std::filesystem::path> finalLinkTarget(std::filesystem::path path) {
    // As many hops as the kernel takes before it says ELOOP.
    constexpr int hops = 40;
    for (int hop = 0; hop <= hops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        if (hop == hops) break;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0) return std::nullopt;
        if (n == 0 || static_cast<size_t>(n) == sizeof target) break;
        const std::filesystem::path next(std::string(target, static_cast<size_t>(n)));
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    errno = ELOOP;
    return std::nullopt;
}

bool makeMissingFolders(const std::filesystem::path& folder, mode_t mode) {
    if (folder.empty()) return true;
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT) return false;
    const std::filesystem::path parent = folder.parent_path();
    if (parent != folder && !makeMissingFolders(parent, mode)) return false;
    return ::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

void removeUnfinishedWrites(const std::filesystem::path& path) {
    const std::string prefix = temporaryPrefix(path);
    std::error_code error;
    auto it = std::filesystem::directory_iterator(path.has_parent_path() ? path.parent_path() : ".", error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->path().filename().string().starts_with(prefix)) std::filesystem::remove(it->path(), ignored);
    }
}

}  // namespace quiltdeck
