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
#include <utility>

#include "vantel/graphics/KittyGraphicsPayload.h"
#include "vantel/graphics/KittyMediumReader.h"

namespace vantel {

namespace {

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

KittyMediumOpening openKittyFileMedium(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
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
    auto reader = KittyMediumReader::openFile(*resolved, control.dataOffset, control.dataSize, temporary, limit);
    if (!reader) return {std::nullopt, "EINVAL: bad payload"};
    return {std::move(reader), {}};
}

KittyMediumOpening openKittySharedMemoryMedium(const KittyGraphicsControl& control,
                                               std::span<const uint8_t> base64Payload) {
    bool decodedSomething = false;
    const auto name = decodeNamePayload(base64Payload, decodedSomething);
    if (!name) return {std::nullopt, "EINVAL: bad payload"};
    const auto expected = kittyExpectedDataSize(control);
    if (!expected && control.format != 100) return {std::nullopt, "EINVAL: bad payload"};
    // Compressed data is smaller than the pixels it gives: only the limit applies to it.
    const auto exactSize = control.compression ? std::nullopt : expected;
    auto reader = KittyMediumReader::openSharedMemory(*name, exactSize, control.dataOffset, control.dataSize,
                                                      kittyReadLimit(control));
    if (!reader) return {std::nullopt, "EINVAL: bad payload"};
    return {std::move(reader), {}};
}

std::optional<KittyMediumReader> KittyMediumReader::openFile(const std::string& path, int64_t offset, int64_t size,
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
    const int64_t amount = std::max<int64_t>(std::min<int64_t>(wanted, opened.st_size - offset), 0);
    KittyMediumReader reader(Kind::file, std::exchange(file.fd, -1), path, offset, static_cast<size_t>(amount),
                             deleteAfterRead);
    return reader;
}

std::optional<KittyMediumReader> KittyMediumReader::openSharedMemory(const std::string& name,
                                                                     std::optional<int64_t> expectedSize,
                                                                     int64_t offset, int64_t size,
                                                                     size_t maximumBytes) {
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
    KittyMediumReader reader(Kind::sharedMemory, std::exchange(object.fd, -1), name, offset,
                             static_cast<size_t>(end - offset), true);
    return reader;
}

KittyMediumReader::KittyMediumReader(Kind kind, int fd, std::string name, int64_t offset, size_t amount,
                                     bool removeAfterRead)
    : kind_(kind), fd_(fd), name_(std::move(name)), offset_(offset), amount_(amount), removeAfterRead_(removeAfterRead) {
    // Address space for all of it now, the pages as the steps fill them.
    out_.reserve(amount_);
    if (amount_ == 0) finish(false);
}

KittyMediumReader::KittyMediumReader(KittyMediumReader&& other) noexcept
    : kind_(other.kind_),
      fd_(std::exchange(other.fd_, -1)),
      name_(std::move(other.name_)),
      offset_(other.offset_),
      amount_(other.amount_),
      removeAfterRead_(other.removeAfterRead_),
      failed_(other.failed_),
      out_(std::move(other.out_)) {}

KittyMediumReader& KittyMediumReader::operator=(KittyMediumReader&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        kind_ = other.kind_;
        fd_ = std::exchange(other.fd_, -1);
        name_ = std::move(other.name_);
        offset_ = other.offset_;
        amount_ = other.amount_;
        removeAfterRead_ = other.removeAfterRead_;
        failed_ = other.failed_;
        out_ = std::move(other.out_);
    }
    return *this;
}

KittyMediumReader::~KittyMediumReader() {
    // Dropped before the end: a file or object half read is left as it is.
    if (fd_ >= 0) ::close(fd_);
}

bool KittyMediumReader::readSome(size_t bytes) {
    if (fd_ < 0) return true;
    const size_t got = out_.size();
    const size_t want = std::min(std::max<size_t>(bytes, 1), amount_ - got);
    out_.resize(got + want);
    ssize_t n;
    do {
        n = ::pread(fd_, out_.data() + got, want, static_cast<off_t>(offset_) + static_cast<off_t>(got));
    } while (n < 0 && errno == EINTR);
    out_.resize(got + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0 || (n == 0 && kind_ == Kind::sharedMemory)) {
        // A client that shrinks an object while it is read gives a short read here, not a bus error.
        finish(true);
    } else if (n == 0 || out_.size() == amount_) {
        finish(false);
    }
    return fd_ < 0;
}

void KittyMediumReader::finish(bool failed) {
    failed_ = failed;
    ::close(fd_);
    fd_ = -1;
    // A temporary file goes once read, and after a failed read too; an object only once read.
    if (kind_ == Kind::file && removeAfterRead_) ::unlink(name_.c_str());
    if (kind_ == Kind::sharedMemory && !failed) ::shm_unlink(name_.c_str());
}

std::optional<std::vector<uint8_t>> KittyMediumReader::take() {
    if (fd_ >= 0 || failed_) return std::nullopt;
    failed_ = true;
    return std::move(out_);
}

std::optional<std::vector<uint8_t>> readKittyFileData(const std::string& path, int64_t offset, int64_t size,
                                                      bool deleteAfterRead, size_t maximumBytes) {
    auto reader = KittyMediumReader::openFile(path, offset, size, deleteAfterRead, maximumBytes);
    if (!reader) return std::nullopt;
    while (!reader->readSome(kittyMaximumDataBytes)) {
    }
    return reader->take();
}

std::optional<std::vector<uint8_t>> readKittySharedMemory(const std::string& name, std::optional<int64_t> expectedSize,
                                                          int64_t offset, int64_t size, size_t maximumBytes) {
    auto reader = KittyMediumReader::openSharedMemory(name, expectedSize, offset, size, maximumBytes);
    if (!reader) return std::nullopt;
    while (!reader->readSome(kittyMaximumDataBytes)) {
    }
    return reader->take();
}

}  // namespace vantel
