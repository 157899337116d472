#include "quiltdeck/sessions/FileReading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "quiltdeck/shell/DurableFile.h"

namespace quiltdeck {

namespace fs = std::filesystem;

namespace {

// Fills up to `size` bytes; fewer only at the end of the file. -1 on an error.
ssize_t readFull(int fd, char* buffer, size_t size) {
    size_t filled = 0;
    while (filled < size) {
        const ssize_t n = ::read(fd, buffer + filled, size - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        filled += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(filled);
}

}  // namespace

std::optional<std::vector<std::string>> listNames(const fs::path& folder, size_t limit) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return std::nullopt;
    std::vector<std::string> names;
    for (const fs::directory_iterator end; it != end && names.size() < limit; it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    if (error) return std::nullopt;
    return names;
}

bool pathExists(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool isFolder(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::string> readHead(const fs::path& path, size_t count) {
    const int fd = openRegularFile(path, O_RDONLY);
    if (fd < 0) return std::nullopt;
    std::string bytes(count, '\0');
    const ssize_t n = readFull(fd, bytes.data(), count);
    ::close(fd);
    if (n < 0) return std::nullopt;
    bytes.resize(static_cast<size_t>(n));
    return bytes;
}

std::optional<std::string> readRegularFile(const fs::path& path, size_t limit) {
    std::string bytes;
    bool tooLarge = false;
    const bool opened = readChunks(path, 64 * 1024, [&](std::string_view piece) {
        tooLarge = bytes.size() + piece.size() > limit;
        if (!tooLarge) bytes.append(piece);
        return !tooLarge;
    });
    if (!opened || tooLarge) return std::nullopt;
    return bytes;
}

bool readChunks(const fs::path& path, size_t chunkSize, const std::function<bool(std::string_view)>& chunk) {
    const int fd = openRegularFile(path, O_RDONLY);
    if (fd < 0 || chunkSize == 0) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    const std::unique_ptr<char[]> buffer(new char[chunkSize]);
    for (;;) {
        const ssize_t n = readFull(fd, buffer.get(), chunkSize);
        if (n <= 0 || !chunk(std::string_view(buffer.get(), static_cast<size_t>(n)))) break;
        if (static_cast<size_t>(n) < chunkSize) break;
    }
    ::close(fd);
    return true;
}

}  // namespace quiltdeck
