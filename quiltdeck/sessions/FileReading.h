#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// Reading folders that belong to other programs and to the user: browsers'
// profiles, project folders. Nothing here blocks on a FIFO or a device, and
// nothing grows without a bound.

// The entry names of a folder in the order the file system returns them, at
// most `limit` of them; nothing when the folder cannot be listed.
std::optional<std::vector<std::string>> listNames(const std::filesystem::path& folder, size_t limit = 100000);

// Whether anything exists at the path (symbolic links followed).
bool pathExists(const std::filesystem::path& path);
bool isFolder(const std::filesystem::path& path);

// At most `count` bytes from the start of a regular file; nothing when it is
// not one or cannot be opened.
std::optional<std::string> readHead(const std::filesystem::path& path, size_t count);

// The whole of a regular file of at most `limit` bytes; nothing when it is not
// one, cannot be opened or is larger.
std::optional<std::string> readRegularFile(const std::filesystem::path& path, size_t limit);

// Hands the content of a regular file to `chunk` in pieces of at most
// `chunkSize` bytes, until the end or until `chunk` returns false. False when
// the path is not a regular file that can be opened.
bool readChunks(const std::filesystem::path& path, size_t chunkSize,
                const std::function<bool(std::string_view)>& chunk);

}  // namespace quiltdeck
