#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// Writes every byte, resuming after interruptions and short writes.
bool writeAll(int fd, std::string_view bytes);

// Opens `path` with `flags` and O_CLOEXEC | O_NONBLOCK (a FIFO or a device never
// holds the open up), and keeps it only when it is a regular file: -1 with
// errno set otherwise (EISDIR for a folder, EINVAL for anything else that is not
// a regular file). With O_CREAT, a new file gets `mode` (the user's alone by default).
int openRegularFile(const std::filesystem::path& path, int flags, mode_t mode = 0600);

// The whole content of a regular file of at most `limit` bytes; nothing when it
// cannot be read, with the reason in `error` (an errno value; EFBIG when it is
// too large, EISDIR for a folder, EINVAL for anything else that is not a
// regular file). Never waits on a FIFO or a device. `openFlags` join the open's
// own: with O_NOFOLLOW a symbolic link at the path is refused with ELOOP.
std::optional<std::string> readWholeFile(const std::filesystem::path& path, size_t limit, int* error = nullptr,
                                         int openFlags = 0);

// Replaces the file with `bytes` so that a reader, or the file after a crash or a
// power loss, holds either the old content or the new one whole: a temporary
// file beside it is written and synced, renamed over it, and the folder synced.
// What stands at `path` and is neither a regular file nor a link is never replaced
// (EISDIR for a folder, EINVAL for a FIFO, a device or a socket). A file replaced keeps its
// owner and group (keepOwner); another user's that it cannot keep theirs, outside the maker's
// own folder, is not replaced (EPERM). On failure the old file stays and false is returned with errno set.
bool writeFileDurably(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0644);

// Gives the file open at `fd` (just made in `folder`, to take the place of a file there) that
// file's owner and group, as `existing` tells them. Where the owner cannot be given (another
// user's file, and no right to give files away), the new file stays its maker's in a folder of
// the maker's own, whose names are the maker's to replace; elsewhere false, with errno EPERM. A
// group that cannot be kept is left as it is.
bool keepOwner(int fd, const struct stat& existing, const std::filesystem::path& folder);

// A run as root with another user's home (sudo keeping HOME) makes files and folders there as
// that user would: what it just made at `path` (open at `fd`, or by its name when -1) becomes
// the home's owner's, with their group, where `path` is inside that home; else nothing changes.
// Otherwise the user would find the program's own files unreadable on their next run. What is
// given is reached down from the home folder without following a link on the way, and with `fd`
// only where the file open there stands at `path`.
void giveMadeToHomeOwner(const std::filesystem::path& path, int fd = -1);
// Tests: runs between the look at where a made path leads and the change of its owner.
void setHomeOwnerCheckHook(std::function<void()> hook);

// Where `path` leads once every symbolic link on the way is followed, as `realpath -m` tells:
// links, "." and ".." are taken in order, names not there yet are kept as they are. Absolute (a
// relative path is taken from the working folder). Nothing, with errno set, for a loop (ELOOP
// past 40 links), a name on the way that is no folder (ENOTDIR), or one that cannot be looked at.
struct LinkEnd {
    std::filesystem::path path;
    // The path ends in "/", "." or "..": only a folder can stand there.
    bool namesFolder = false;
};
std::optional<LinkEnd> resolveLinks(const std::filesystem::path& path);

// Writes `bytes` where the chain of links at `path` ends, as writeFileDurably does there, so
// that a link stays a link as an editor saves through it; folders missing on the way (a link
// made ahead of its folder) are made first, each with `folderMode`. Where it ends is worked out
// whole before anything is made: a save refused for it (a name only a folder can have: EISDIR)
// makes nothing.
bool writeThroughLinks(const std::filesystem::path& path, std::string_view bytes, mode_t mode,
                       mode_t folderMode = 0700);

// A failed write's cause in the log's words: EINVAL is what writeFileDurably and openRegularFile
// say of something that is no regular file.
std::string writeFailureText(int error);

// Tests: while an errno value is set (not 0), every writeFileDurably fails with it and changes
// nothing, as on a full disk (ENOSPC). Any thread.
void failDurableWritesWith(int error);

// Where the chain of symbolic links at `path` ends: the path itself when it is no link, else
// where resolveLinks says it leads, which may not exist yet. Nothing, with errno set, for a loop
// or a link that cannot be read.
std::optional<std::filesystem::path> finalLinkTarget(const std::filesystem::path& path);

// Makes `folder` and whichever of the folders it leads through are missing, each with `mode`,
// following links on the way (a link to a folder not made yet gets it). False, with errno set,
// when one cannot be made or a name on the way is no folder.
bool makeMissingFolders(const std::filesystem::path& folder, mode_t mode);

// Copies the regular file at `file` beside it, durably, under "<name>.kept-<seconds since 1970>"
// (a later second where that name is taken): what is about to be written over is kept. Where the
// newest such copy holds the same bytes already, that copy stands for it and none is made; of the
// copies, only the newest `keepAtMost` stay. Nothing, with errno set, when it cannot be made.
struct KeptBeside {
    std::filesystem::path path;
    bool made = true;                          // false: the newest copy held these bytes already
    std::vector<std::filesystem::path> removed;  // older copies let go of
};
std::optional<KeptBeside> keepCopyBeside(const std::filesystem::path& file, size_t keepAtMost = SIZE_MAX);

// What a file held, as far as its metadata tells: the same file, not changed since. Its change
// time moves with every change of its bytes or of its metadata, and no program can set it back
// (a modification time put back, as `cp -p` or `touch -r` do, leaves it new).
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    struct timespec changed {};
    static FileIdentity of(const struct stat& info) {
        return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    }
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.device == b.device && a.inode == b.inode && a.size == b.size && a.modified.tv_sec == b.modified.tv_sec &&
               a.modified.tv_nsec == b.modified.tv_nsec && a.changed.tv_sec == b.changed.tv_sec &&
               a.changed.tv_nsec == b.changed.tv_nsec;
    }
};

// Removes the temporary files that writes to `path` cut short by a crash left
// behind. Only for the one process that writes the file.
void removeUnfinishedWrites(const std::filesystem::path& path);

}  // namespace quiltdeck
