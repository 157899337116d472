// The file, temporary-file and shared-memory media of Kitty graphics.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "vantel/graphics/KittyGraphicsPayload.h"

namespace vantel {

namespace {

constexpr size_t readPiece = 65'536;
constexpr int64_t dataLimit = static_cast<int64_t>(kittyMaximumDataBytes);

bool isValidUtf8(std::span<const uint8_t> text) {
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t c = text[i];
        int length;
        uint32_t scalar;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            scalar = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            scalar = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            scalar = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (int k = 1; k < length; ++k) {
            if ((text[i + k] & 0xC0) != 0x80) return false;
            scalar = (scalar << 6) | (text[i + k] & 0x3F);
        }
        static constexpr uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (scalar < smallest[length] || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// A name or path carried in the payload: decoded, without NUL and valid UTF-8.
std::optional<std::string> decodeNamePayload(std::span<const uint8_t> base64Payload, bool& decodedSomething) {
    auto decoded = decodeKittyBase64(base64Payload);
    decodedSomething = decoded && !decoded->empty();
    if (!decodedSomething) return std::nullopt;
    if (std::find(decoded->begin(), decoded->end(), 0) != decoded->end() || !isValidUtf8(*decoded)) return std::nullopt;
    return std::string(decoded->begin(), decoded->end());
}

bool startsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string userTemporaryDirectory() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string dir = tmpdir && *tmpdir ? tmpdir : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

KittyPayloadLoad finishLoad(const KittyGraphicsControl& control, std::optional<std::vector<uint8_t>> data) {
    if (!data) return {std::nullopt, "EINVAL: bad payload"};
    auto inflated = decompressKittyData(std::move(*data), control.compression, kittyInflateLimit(control));
    if (!inflated) return {std::nullopt, "EINVAL: bad payload"};
    auto payload = decodeKittyPayloadData(control, std::move(*inflated));
    if (!payload) return {std::nullopt, "EINVAL: bad payload"};
    return {std::move(payload), {}};
}

struct FileCloser {
    int fd;
    ~FileCloser() {
        if (fd >= 0) ::close(fd);
    }
};

// The first bytes at `offset` of a regular file (a PNG header), without consuming the file.
std::vector<uint8_t> peekFile(const std::string& path, int64_t offset) {
    std::vector<uint8_t> header(kittyPngHeaderBytes);
    FileCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)};
    struct stat info {};
    if (offset < 0 || file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return {};
    const ssize_t n = ::pread(file.fd, header.data(), header.size(), static_cast<off_t>(offset));
    header.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return header;
}

}  // namespace

std::optional<std::string> resolveKittyRealPath(const std::string& path) {
    // The allocating form: PATH_MAX buffers are too small for some Linux paths.
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}

bool isKittyTempPath(const std::string& path) {
    // Inside the folder, not merely a name that begins like it ("/tmpfoo").
    if (startsWith(path, "/tmp/") || startsWith(path, "/dev/shm/")) return true;
    const std::string folder = userTemporaryDirectory();
    if (startsWith(path, folder)) return true;
    const auto resolvedFolder = resolveKittyRealPath(folder);
    return resolvedFolder && startsWith(path, *resolvedFolder + (resolvedFolder->ends_with('/') ? "" : "/"));
}

KittyPayloadLoad loadKittyFilePayload(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                                      bool temporary) {
    bool decodedSomething = false;
    const auto path = decodeNamePayload(base64Payload, decodedSomething);
    if (!decodedSomething) return {std::nullopt, "EINVAL: bad payload"};
    if (!path) return {std::nullopt, "EINVAL: bad path"};
    const auto resolved = resolveKittyRealPath(*path);
    if (!resolved) return {std::nullopt, "EINVAL: bad path"};
    if (startsWith(*resolved, "/proc/") || startsWith(*resolved, "/sys/") ||
        (startsWith(*resolved, "/dev/") && !startsWith(*resolved, "/dev/shm/"))) {
        return {std::nullopt, "EINVAL: bad path"};
    }
    // The marker must be in the file's own name: a folder named so would make every file in it deletable.
    const std::string_view name = std::string_view(*resolved).substr(resolved->rfind('/') + 1);
    if (temporary && (!isKittyTempPath(*resolved) || name.find("tty-graphics-protocol") == std::string::npos)) {
        return {std::nullopt, "EINVAL: bad temp path"};
    }
    size_t limit = kittyReadLimit(control);
    if (control.format == 100 && !control.compression) {
        limit = std::min(limit, kittyPngReadLimit(peekFile(*resolved, control.dataOffset)));
    }
    return finishLoad(control, readKittyFileData(*resolved, control.dataOffset, control.dataSize, temporary, limit));
}

std::optional<std::vector<uint8_t>> readKittyFileData(const std::string& path, int64_t offset, int64_t size,
                                                      bool deleteAfterRead, size_t maximumBytes) {
    if (offset < 0 || size < 0) return std::nullopt;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (info.st_size < offset || info.st_size > dataLimit) return std::nullopt;
    // Refused before a byte is read: a large file would stall the terminal for nothing.
    const int64_t wanted = std::min(size == 0 ? dataLimit : std::min(size, dataLimit), info.st_size - offset);
    if (wanted > static_cast<int64_t>(std::min(maximumBytes, kittyMaximumDataBytes))) return std::nullopt;
    // No following a swapped-in link, no blocking on a swapped-in pipe, no controlling tty.
    FileCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)};
    if (file.fd < 0) return std::nullopt;
    struct stat opened {};
    if (::fstat(file.fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != info.st_dev ||
        opened.st_ino != info.st_ino) {
        return std::nullopt;
    }

    auto fail = [&]() -> std::optional<std::vector<uint8_t>> {
        if (deleteAfterRead) ::unlink(path.c_str());
        return std::nullopt;
    };
    if (offset != 0 && ::lseek(file.fd, static_cast<off_t>(offset), SEEK_SET) < 0) return fail();

    const int64_t amount = std::min<int64_t>(wanted, opened.st_size - offset);
    std::vector<uint8_t> out;
    if (amount > 0) {
        out.resize(static_cast<size_t>(amount));
        size_t got = 0;
        while (got < out.size()) {
            const ssize_t n = ::read(file.fd, out.data() + got, std::min(readPiece, out.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return fail();
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        out.resize(got);
    }
    ::close(file.fd);
    file.fd = -1;
    if (deleteAfterRead) ::unlink(path.c_str());
    return out;
}

KittyPayloadLoad loadKittySharedMemoryPayload(const KittyGraphicsControl& control,
                                              std::span<const uint8_t> base64Payload) {
    bool decodedSomething = false;
    const auto name = decodeNamePayload(base64Payload, decodedSomething);
    if (!name) return {std::nullopt, "EINVAL: bad payload"};
    const auto expected = kittyExpectedDataSize(control);
    if (!expected && control.format != 100) return {std::nullopt, "EINVAL: bad payload"};
    // Compressed data is smaller than the pixels it gives: only the limit applies to it.
    const auto exactSize = control.compression ? std::nullopt : expected;
    return finishLoad(control, readKittySharedMemory(*name, exactSize, control.dataOffset, control.dataSize,
                                                     kittyReadLimit(control)));
}

std::optional<std::vector<uint8_t>> readKittySharedMemory(const std::string& name, std::optional<int64_t> expectedSize,
                                                          int64_t offset, int64_t size, size_t maximumBytes) {
    if (offset < 0 || size < 0) return std::nullopt;
    // One component under the shared-memory folder, nothing that walks out of it.
    const size_t slash = name.find('/', name.starts_with('/') ? 1 : 0);
    const std::string bare = name.starts_with('/') ? name.substr(1) : name;
    if (slash != std::string::npos || bare.empty() || bare == "." || bare == ".." || bare.size() > NAME_MAX) {
        return std::nullopt;
    }
    FileCloser object{::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0)};
    if (object.fd < 0) return std::nullopt;
    // An object refused before it is read stays: the name may well be another program's.

    struct stat info {};
    if (::fstat(object.fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    const int64_t objectSize = info.st_size;
    if (objectSize <= 0 || objectSize > dataLimit) return std::nullopt;
    if (expectedSize && *expectedSize > objectSize) return std::nullopt;
    int64_t end = expectedSize.value_or(objectSize);
    // Both are below 2^63 / 2 here or the sum is far beyond the object anyway.
    if (size != 0 && offset <= dataLimit && size <= dataLimit) end = std::min(end, offset + size);
    if (offset >= end || end > objectSize) return std::nullopt;
    if (end - offset > static_cast<int64_t>(std::min(maximumBytes, kittyMaximumDataBytes))) return std::nullopt;

    // Read rather than mapped: a client that shrinks the object meanwhile gives a short
    // read here instead of a bus error.
    std::vector<uint8_t> out(static_cast<size_t>(end - offset));
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::pread(object.fd, out.data() + got, std::min(readPiece, out.size() - got),
                                  static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        got += static_cast<size_t>(n);
    }
    ::shm_unlink(name.c_str());
    return out;
}

}  // namespace vantel
