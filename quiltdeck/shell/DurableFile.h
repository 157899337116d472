#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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
// (EISDIR for a folder, EINVAL for a FIFO, a device or a socket).
// On failure the old file stays and false is returned with errno set.
bool writeFileDurably(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0644);

// A failed write's cause in the log's words: EINVAL is what writeFileDurably and openRegularFile
// say of something that is no regular file.
std::string writeFailureText(int error);

// Tests: while an errno value is set (not 0), every writeFileDurably fails with it and changes
// nothing, as on a full disk (ENOSPC). Any thread.
void failDurableWritesWith(int error);

// Where the chain of symbolic links at `path` ends: the path itself when it is no link, else the
// last link's target, which may not exist yet. Relative targets are taken from their link's
// folder. Nothing, with errno set, for a loop or a link that cannot be read (ELOOP past 40 links).
std::optional<std::filesystem::path> finalLinkTarget(std::filesystem::path path);

// Makes `folder` and whichever of its parents are missing, each with `mode`. False, with errno
// set, when one cannot be made or a name on the way is no folder.
bool makeMissingFolders(const std::filesystem::path& folder, mode_t mode);

// Removes the temporary files that writes to `path` cut short by a crash left
// behind. Only for the one process that writes the file.
void removeUnfinishedWrites(const std::filesystem::path& path);

}  // namespace quiltdeck
