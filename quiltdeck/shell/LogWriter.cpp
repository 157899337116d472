#include "quiltdeck/shell/LogWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <vector>

#include "quiltdeck/shell/DurableFile.h"

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

}  // namespace

LogWriter::LogWriter(std::filesystem::path file)
    : file_(std::move(file)), thread_([this](std::stop_token stop) { run(stop); }) {}

LogWriter::~LogWriter() {
    thread_.request_stop();
    thread_.join();
}

std::string LogWriter::escaped(std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C1 controls, U+0080 to U+009F: C2 80 to C2 9F in UTF-8.
        if (c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            const auto code = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out += hex[code >> 4];
            out += hex[code & 0xF];
            continue;
        }
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
                out += hex[c >> 4];
                out += hex[c & 0xF];
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

void LogWriter::flush() {
    if (onWriterThread()) return;
    std::unique_lock lock(mutex_);
    const uint64_t target = appendedCount_;
    written_.wait(lock, [&] { return writtenCount_ >= target; });
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

void LogWriter::writeBatch(std::deque<std::string>& batch) {
    if (withoutFile_) return;
    int fd = openRegularFile(file_, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        std::error_code ignored;
        std::filesystem::create_directories(file_.parent_path(), ignored);
        fd = openRegularFile(file_, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW);
    }
    // A link, a FIFO or a device at the name is not ours to write to or trim.
    if (fd < 0 && (errno == ELOOP || errno == EINVAL || errno == EISDIR)) {
        withoutFile_ = true;
        std::fprintf(stderr, "quiltdeck: %s is not a regular file; running without a log file\n", file_.c_str());
        return;
    }
    if (fd < 0) return;  // best effort: the entries are lost
    for (const std::string& text : batch) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && static_cast<uintmax_t>(info.st_size) > trimThreshold)
            trimToTail(fd, info.st_size, trimKeep);
        writeAll(fd, text);
    }
    ::close(fd);
}

}  // namespace quiltdeck
