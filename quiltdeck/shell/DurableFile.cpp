#include "quiltdeck/shell/DurableFile.h"

#include "quiltdeck/shell/Env.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <vector>

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

namespace {

std::function<void()> ownerCheckHook;

// The folder that holds `made`, reached down from `home` one name at a time, none of them a link
// (a folder swapped for one meanwhile ends the walk): its descriptor, and the name `made` has in
// it; -1 where it cannot be reached so.
std::pair<int, std::string> reachedFromHome(const std::filesystem::path& home, const std::filesystem::path& made) {
    std::vector<std::string> names;
    for (const auto& name : made.lexically_relative(home)) names.push_back(name.string());
    if (names.empty() || names.front() == ".." || names.front() == ".") return {-1, {}};
    int folder = ::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; folder >= 0 && i + 1 < names.size(); ++i) {
        const int next = ::openat(folder, names[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    return {folder, names.back()};
}

}  // namespace

void setHomeOwnerCheckHook(std::function<void()> hook) { ownerCheckHook = std::move(hook); }

void giveMadeToHomeOwner(const std::filesystem::path& path, int fd) {
    // Whose files this process makes: its file-system user (an invalid id asks without changing it).
    if (::setfsuid(static_cast<uid_t>(-1)) != 0) return;
    const auto home = resolveLinks(homeFolder());
    struct stat owner {};
    if (!home || ::stat(home->path.c_str(), &owner) != 0 || owner.st_uid == 0) return;
    const auto made = resolveLinks(path);
    const std::string inside = home->path.string() + "/";
    if (!made || !made->path.string().starts_with(inside)) return;
    gid_t group = owner.st_gid;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(owner.st_uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) group = found->pw_gid;
    const int saved = errno;
    if (ownerCheckHook) ownerCheckHook();
    // Given by what is there now, reached without a link, never by a name looked at before: a
    // folder on the way swapped for a link meanwhile would hand the user a file of root's.
    const auto [folder, name] = reachedFromHome(home->path, made->path);
    if (folder >= 0) {
        struct stat there {}, opened {};
        if (fd >= 0) {
            // What was opened is what stands there.
            if (::fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &opened) == 0 &&
                there.st_dev == opened.st_dev && there.st_ino == opened.st_ino)
                (void)!::fchown(fd, owner.st_uid, group);
        } else if (const int entry = ::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); entry >= 0) {
            (void)!::fchownat(entry, "", owner.st_uid, group, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
            ::close(entry);
        }
        ::close(folder);
    }
    errno = saved;
}

bool keepOwner(int fd, const struct stat& existing, const std::filesystem::path& folder) {
    struct stat made {};
    if (::fstat(fd, &made) != 0) return false;
    if (made.st_uid != existing.st_uid) {
        // Only a process that may give files away (root) keeps another user's file theirs.
        if (::fchown(fd, existing.st_uid, existing.st_gid) == 0) return true;
        // In the maker's own folder every name is the maker's to replace (a file left by a run
        // as root): it becomes the maker's. Anywhere else it would be taken over.
        struct stat place {};
        if (::stat(folder.c_str(), &place) == 0 && place.st_uid == made.st_uid) return true;
        errno = EPERM;
        return false;
    }
    // A group the user is no member of stays the user's: the file's mode may give it nothing.
    if (made.st_gid != existing.st_gid) (void)!::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    return true;
}

bool writeFileDurably(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
    if (const int failure = injectedFailure.load()) {
        errno = failure;
        return false;
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    struct stat before {};
    const bool replaces = ::lstat(path.c_str(), &before) == 0 && S_ISREG(before.st_mode);
    std::string name = temporaryPrefix(path);
    name += "XXXXXX";
    std::string temp = (folder / name).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    // The file keeps whose it is: a save run as root through a user's link leaves it the user's;
    // a new one in a user's home is theirs.
    if (!replaces) giveMadeToHomeOwner(temp, fd);
    if ((replaces && !keepOwner(fd, before, folder)) || ::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) {
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

std::optional<LinkEnd> resolveLinks(const std::filesystem::path& path) {
    // As many links as the kernel follows before it says ELOOP.
    constexpr int mostLinks = 40;
    std::vector<std::string> resolved;  // names below the root, none of them a link
    std::deque<std::string> pending;    // names still to walk, in order
    const auto take = [&](std::string_view text) {
        // "a//b" and a trailing slash: an empty name, which names the folder before it.
        std::vector<std::string> names;
        for (size_t at = 0; at <= text.size();) {
            const size_t end = std::min(text.find('/', at), text.size());
            names.emplace_back(text.substr(at, end - at));
            at = end + 1;
        }
        if (!text.empty() && text.front() == '/') names.erase(names.begin());
        pending.insert(pending.begin(), names.begin(), names.end());
    };
    const std::string text = path.string();
    if (text.empty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    if (text.front() != '/') {
        std::error_code error;
        const std::string here = std::filesystem::current_path(error).string();
        if (error) {
            errno = error.value();
            return std::nullopt;
        }
        take(text);
        take(here);
    } else {
        take(text);
    }
    const auto joined = [&](const std::string* last) {
        std::string out;
        for (const std::string& name : resolved) out += "/" + name;
        if (last) out += "/" + *last;
        return out.empty() ? std::string("/") : out;
    };
    bool namesFolder = false;
    int links = 0;
    while (!pending.empty()) {
        std::string name = std::move(pending.front());
        pending.pop_front();
        const bool last = pending.empty();
        if (name.empty() || name == "." || name == "..") {
            if (name == ".." && !resolved.empty()) resolved.pop_back();
            namesFolder = last;
            continue;
        }
        namesFolder = false;
        const std::string here = joined(&name);
        struct stat info {};
        if (::lstat(here.c_str(), &info) != 0) {
            // Not there yet: kept as it is, and so is what follows it.
            if (errno != ENOENT) return std::nullopt;
            resolved.push_back(std::move(name));
            continue;
        }
        if (S_ISLNK(info.st_mode)) {
            if (++links > mostLinks) {
                errno = ELOOP;
                return std::nullopt;
            }
            char target[PATH_MAX];
            const ssize_t n = ::readlink(here.c_str(), target, sizeof target);
            if (n < 0) return std::nullopt;
            if (n == 0 || static_cast<size_t>(n) == sizeof target) {
                errno = n == 0 ? ENOENT : ENAMETOOLONG;
                return std::nullopt;
            }
            const std::string_view into(target, static_cast<size_t>(n));
            if (into.front() == '/') resolved.clear();
            take(into);
            continue;
        }
        // A file or anything else that is no folder ends the walk; followed by slashes alone it
        // is where the path leads, by a name only a folder could have.
        if (!S_ISDIR(info.st_mode) && !last) {
            const bool slashes = std::all_of(pending.begin(), pending.end(), [](const std::string& n) { return n.empty() || n == "."; });
            if (!slashes) {
                errno = ENOTDIR;
                return std::nullopt;
            }
            resolved.push_back(std::move(name));
            return LinkEnd{joined(nullptr), true};
        }
        resolved.push_back(std::move(name));
    }
    return LinkEnd{joined(nullptr), namesFolder};
}

std::optional<std::filesystem::path> finalLinkTarget(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    const auto end = resolveLinks(path);
    if (!end) return std::nullopt;
    return end->path;
}

bool makeMissingFolders(const std::filesystem::path& folder, mode_t mode) {
    if (folder.empty()) return true;
    const auto end = resolveLinks(folder);
    if (!end) return false;
    // Walked down from the root: past resolveLinks, no name on the way is a link.
    std::filesystem::path made("/");
    for (const auto& name : end->path.relative_path()) {
        made /= name;
        struct stat info {};
        if (::stat(made.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) continue;
            errno = ENOTDIR;
            return false;
        }
        if (errno != ENOENT) return false;
        if (::mkdir(made.c_str(), mode) == 0) {
            giveMadeToHomeOwner(made);
            continue;
        }
        // Made meanwhile by someone else: a folder will do.
        if (errno != EEXIST || ::stat(made.c_str(), &info) != 0) return false;
        if (!S_ISDIR(info.st_mode)) {
            errno = ENOTDIR;
            return false;
        }
    }
    return true;
}

bool writeThroughLinks(const std::filesystem::path& path, std::string_view bytes, mode_t mode, mode_t folderMode) {
    // Looked up at each save: a link may have been pointed elsewhere meanwhile.
    const auto end = resolveLinks(path);
    if (!end) return false;
    if (end->namesFolder) {
        errno = EISDIR;
        return false;
    }
    return makeMissingFolders(end->path.parent_path(), folderMode) && writeFileDurably(end->path, bytes, mode);
}

namespace {

// The copies "<name>.kept-<seconds>" kept beside `file`, oldest first.
std::vector<std::pair<long long, std::filesystem::path>> keptCopiesOf(const std::filesystem::path& file) {
    std::vector<std::pair<long long, std::filesystem::path>> copies;
    const std::string prefix = file.filename().string() + ".kept-";
    std::error_code error;
    auto it = std::filesystem::directory_iterator(file.has_parent_path() ? file.parent_path() : ".", error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix) || !it->is_regular_file(error)) continue;
        char* end = nullptr;
        const long long seconds = std::strtoll(name.c_str() + prefix.size(), &end, 10);
        if (end == name.c_str() + prefix.size() || *end != 0) continue;
        copies.emplace_back(seconds, it->path());
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

// Two regular files hold the same bytes.
bool sameBytes(const std::filesystem::path& one, const std::filesystem::path& other) {
    const int a = openRegularFile(one, O_RDONLY | O_NOFOLLOW);
    const int b = a < 0 ? -1 : openRegularFile(other, O_RDONLY | O_NOFOLLOW);
    struct stat sa {}, sb {};
    bool same = b >= 0 && ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_size == sb.st_size;
    char ca[65536], cb[65536];
    while (same) {
        const ssize_t n = ::read(a, ca, sizeof ca);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            same = n == 0;
            break;
        }
        ssize_t got = 0;
        while (got < n) {
            const ssize_t m = ::read(b, cb + got, static_cast<size_t>(n - got));
            if (m < 0 && errno == EINTR) continue;
            if (m <= 0) break;
            got += m;
        }
        same = got == n && std::memcmp(ca, cb, static_cast<size_t>(n)) == 0;
    }
    if (a >= 0) ::close(a);
    if (b >= 0) ::close(b);
    return same;
}

}  // namespace

std::optional<KeptBeside> keepCopyBeside(const std::filesystem::path& file, size_t keepAtMost) {
    auto copies = keptCopiesOf(file);
    // Kept already, by the newest copy: a writer that puts its version back keeps no more of it.
    if (!copies.empty() && sameBytes(file, copies.back().second)) return KeptBeside{copies.back().second, false, {}};
    const int from = openRegularFile(file, O_RDONLY | O_NOFOLLOW);
    if (from < 0) return std::nullopt;
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string temp = (folder / (temporaryPrefix(file) + "XXXXXX")).string();
    const int to = ::mkostemp(temp.data(), O_CLOEXEC);
    if (to < 0) {
        discard(from, "");
        return std::nullopt;
    }
    // The copy is whose the file is.
    struct stat original {};
    if (::geteuid() == 0 && ::fstat(from, &original) == 0) (void)!::fchown(to, original.st_uid, original.st_gid);
    bool copied = ::fchmod(to, 0600) == 0;
    char chunk[65536];
    while (copied) {
        const ssize_t n = ::read(from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            copied = n == 0;
            break;
        }
        copied = writeAll(to, std::string_view(chunk, static_cast<size_t>(n)));
    }
    ::close(from);
    if (!copied || ::fsync(to) != 0 || ::close(to) != 0) {
        discard(-1, temp);
        return std::nullopt;
    }
    // A name of its own, never one taken: the copy replaces nothing. After the newest copy's,
    // also where copies made within a second went past the clock: names tell their order.
    const auto now = static_cast<long long>(std::time(nullptr));
    for (auto seconds = copies.empty() ? now : std::max(now, copies.back().first + 1);; ++seconds) {
        const std::filesystem::path kept = folder / (file.filename().string() + ".kept-" + std::to_string(seconds));
        // Renamed only where the name is free; where the file system cannot tell, linked.
        int moved = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, kept.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && errno == EINVAL && (moved = ::link(temp.c_str(), kept.c_str())) == 0) ::unlink(temp.c_str());
        if (moved == 0) {
            const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dirFd >= 0) {
                ::fsync(dirFd);
                ::close(dirFd);
            }
            // The newest stay: another program that keeps writing the file leaves a few of its
            // versions, not one a save.
            KeptBeside made{kept, true, {}};
            for (size_t over = copies.size() + 1 > keepAtMost ? copies.size() + 1 - keepAtMost : 0, at = 0;
                 over > 0 && at < copies.size(); ++at, --over) {
                if (::unlink(copies[at].second.c_str()) == 0) made.removed.push_back(copies[at].second);
            }
            return made;
        }
        if (errno != EEXIST) {
            discard(-1, temp);
            return std::nullopt;
        }
    }
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
