#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <span>
#include <vector>

namespace vantel {

struct KittyGraphicsControl;

// A range of a regular file (t=f, t=t) or of a shared-memory object (t=s), checked when it is
// opened and read in steps of the caller's size, so that a large picture never holds the loop.
// Whatever the range, nothing is read before every check has passed.
class KittyMediumReader {
public:
    // Bytes `offset` onward of a regular file, `size` of them (0: to the end). A range longer
    // than `maximumBytes` (or the data bound) is refused before anything is read. The file is
    // deleted once read, or once a read fails, when `deleteAfterRead`.
    static std::optional<KittyMediumReader> openFile(const std::string& path, int64_t offset, int64_t size,
                                                     bool deleteAfterRead, size_t maximumBytes);
    // A range of a POSIX shared-memory object, unlinked once it is read; an object refused
    // before that, or whose read fails, is left alone.
    static std::optional<KittyMediumReader> openSharedMemory(const std::string& name,
                                                             std::optional<int64_t> expectedSize, int64_t offset,
                                                             int64_t size, size_t maximumBytes);

    KittyMediumReader(KittyMediumReader&& other) noexcept;
    KittyMediumReader& operator=(KittyMediumReader&& other) noexcept;
    KittyMediumReader(const KittyMediumReader&) = delete;
    KittyMediumReader& operator=(const KittyMediumReader&) = delete;
    ~KittyMediumReader();

    // Reads at most `bytes` more; true once the range is read or a read failed.
    bool readSome(size_t bytes);
    bool finished() const { return fd_ < 0; }
    size_t readBytes() const { return out_.size(); }
    // Bytes the range holds.
    size_t size() const { return amount_; }
    // What was read (a file may end early), or nothing when a read failed.
    std::optional<std::vector<uint8_t>> take();

private:
    enum class Kind : uint8_t { file, sharedMemory };
    KittyMediumReader(Kind kind, int fd, std::string name, int64_t offset, size_t amount, bool removeAfterRead);
    void finish(bool failed);

    Kind kind_;
    int fd_;
    std::string name_;
    int64_t offset_;
    size_t amount_;
    bool removeAfterRead_;
    bool failed_ = false;
    std::vector<uint8_t> out_;
};

// The medium of a file (t=f, t=t) or shared-memory (t=s) transmission, its name taken from the
// payload, checked and opened; or the error to reply.
struct KittyMediumOpening {
    std::optional<KittyMediumReader> reader;
    std::string errorMessage;
};
KittyMediumOpening openKittyFileMedium(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                                       bool temporary);
KittyMediumOpening openKittySharedMemoryMedium(const KittyGraphicsControl& control,
                                               std::span<const uint8_t> base64Payload);

}  // namespace vantel
