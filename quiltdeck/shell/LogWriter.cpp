#include "quiltdeck/shell/LogWriter.h"

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <vector>

#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/StateFolder.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

bool readExactly(int fd, char* into, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, into, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        into += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// Keeps the last `keep` bytes of the file behind `fd` (opened for reading and
// appending); a file that cannot be read is left as it is.
void trimToTail(int fd, off_t size, size_t keep) {
    std::vector<char> tail(keep);
    if (!readExactly(fd, tail.data(), keep, size - static_cast<off_t>(keep)) || ::ftruncate(fd, 0) != 0) return;
    writeAll(fd, std::string_view(tail.data(), tail.size()));
}

constexpr char hexDigits[] = "0123456789abcdef";

void appendHex(std::string& out, uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += hexDigits[(value >> shift) & 0xF];
}

// Characters that are no ASCII but still break a line or turn the text around it in a viewer:
// C1 controls, the Unicode line and paragraph separators, and the marks that set bidi direction.
bool isEscapedScalar(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

LogWriter::LogWriter(std::filesystem::path file)
    : file_(std::move(file)), thread_([this](std::stop_token stop) { run(stop); }) {}

LogWriter::~LogWriter() {
    thread_.request_stop();
    thread_.join();
}

std::string LogWriter::escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = bytes[i];
        if (c >= 0x80) {
            const vantel::utf8::Sequence sequence = vantel::utf8::decode(bytes + i, text.size() - i);
            if (!sequence.isScalar()) {
                // Bytes that are no UTF-8 are told one by one.
                for (uint32_t k = 0; k < sequence.length; ++k) {
                    out += "\\x";
                    appendHex(out, bytes[i + k], 2);
                }
            } else if (isEscapedScalar(sequence.scalar)) {
                out += "\\u";
                appendHex(out, sequence.scalar, 4);
            } else {
                out.append(text.substr(i, sequence.length));
            }
            i += sequence.length;
            continue;
        }
        ++i;
        if (c >= 0x20 && c != 0x7F) {
            out += static_cast<char>(c);
            continue;
        }
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\x";
                appendHex(out, c, 2);
        }
    }
    return out;
}

std::string LogWriter::entry(std::string_view message, std::span<const std::string> more) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    const size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string text(stamp, length);
    text += "  ";
    text += escaped(message);
    for (const std::string& line : more) {
        text += '\n';
        text += escaped(line);
    }
    text += '\n';
    return text;
}

void LogWriter::append(std::string entry) {
    {
        std::lock_guard lock(mutex_);
        if (pendingBytes_ + entry.size() > pendingLimit) {
            ++dropped_;
            return;
        }
        pendingBytes_ += entry.size();
        pending_.push_back(std::move(entry));
        ++appendedCount_;
    }
    wake_.notify_one();
}

bool LogWriter::flush(std::chrono::milliseconds limit) {
    if (onWriterThread()) return true;
    std::unique_lock lock(mutex_);
    const uint64_t target = appendedCount_;
    const auto done = [&] { return writtenCount_ >= target; };
    if (limit == std::chrono::milliseconds::max()) {
        written_.wait(lock, done);
        return true;
    }
    return written_.wait_for(lock, limit, done);
}

void LogWriter::run(std::stop_token stop) {
    std::deque<std::string> batch;
    for (;;) {
        size_t dropped = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, stop, [&] { return !pending_.empty(); });
            if (pending_.empty()) return;  // stopped with nothing left
            batch.swap(pending_);
            pendingBytes_ = 0;
            std::swap(dropped, dropped_);
        }
        if (dropped > 0) batch.push_front(entry("log: " + std::to_string(dropped) + " entries dropped, the writer fell behind"));
        const size_t count = batch.size() - (dropped > 0 ? 1 : 0);
        writeBatch(batch);
        batch.clear();
        {
            std::lock_guard lock(mutex_);
            writtenCount_ += count;
        }
        written_.notify_all();
    }
}

int LogWriter::open() {
    struct stat before {};
    const bool there = ::lstat(file_.c_str(), &before) == 0;
    int fd = openRegularFile(file_, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        StateFolder::makeFolder(file_.parent_path());
        fd = openRegularFile(file_, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW);
    }
    if (fd >= 0 && !there) giveMadeToHomeOwner(file_, fd);
    // Another user's log in a folder of our own (left by a run as root): kept under a name of its
    // own, and a log of ours begun, so that nothing of either is lost.
    if (fd < 0 && there && (errno == EACCES || errno == EPERM) && S_ISREG(before.st_mode)) {
        struct stat folder {};
        // Whose files this process makes (an invalid id asks without changing it).
        const auto self = static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)));
        if (before.st_uid != self && ::stat(file_.parent_path().c_str(), &folder) == 0 && folder.st_uid == self) {
            const std::filesystem::path kept = file_.string() + "." + std::to_string(before.st_uid) + "-" + std::to_string(::time(nullptr));
            if (::renameat2(AT_FDCWD, file_.c_str(), AT_FDCWD, kept.c_str(), RENAME_NOREPLACE) == 0) {
                std::fprintf(stderr, "quiltdeck: %s was another user's and could not be written; kept as %s\n", file_.c_str(),
                             kept.c_str());
                fd = openRegularFile(file_, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW);
                movedAside_ = kept;
            }
        }
    }
    return fd;
}

void LogWriter::writeBatch(std::deque<std::string>& batch) {
    if (withoutFile_) return;
    int fd = open();
    // A link, a FIFO or a device at the name is not ours to write to or trim.
    if (fd < 0 && (errno == ELOOP || errno == EINVAL || errno == EISDIR)) {
        withoutFile_ = true;
        std::fprintf(stderr, "quiltdeck: %s is not a regular file; running without a log file\n", file_.c_str());
        return;
    }
    if (fd < 0) return;  // best effort: the entries are lost
    if (movedAside_) {
        writeAll(fd, entry("log: " + file_.filename().string() + " was another user's and could not be written; it is kept as " +
                           movedAside_->filename().string()));
        movedAside_.reset();
    }
    for (const std::string& text : batch) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && static_cast<uintmax_t>(info.st_size) > trimThreshold)
            trimToTail(fd, info.st_size, trimKeep);
        writeAll(fd, text);
    }
    ::close(fd);
}

}  // namespace quiltdeck
