#include "quiltdeck/shell/FileSaver.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "quiltdeck/shell/DurableFile.h"

namespace quiltdeck {

FileSaver::FileSaver(std::filesystem::path file, mode_t mode, Done done, Links links, Kept kept)
    : file_(std::move(file)),
      mode_(mode),
      done_(std::move(done)),
      links_(links),
      kept_(std::move(kept)),
      thread_([this](std::stop_token stop) { run(stop); }) {}

FileSaver::~FileSaver() {
    thread_.request_stop();
    thread_.join();
}

void FileSaver::submit(Document document) {
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::move(document);
        ++submitted_;
    }
    wake_.notify_one();
}

namespace {

// Two hashes of the bytes, so that two texts told apart by neither are as good as the same.
// The second takes eight bytes a step: a state of tens of MB is digested in milliseconds.
uint64_t digestOf(std::string_view bytes) {
    uint64_t mixed = 1469598103934665603ULL ^ bytes.size();
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, 8);
        mixed = (mixed ^ word) * 0x100000001B3ULL;
        mixed ^= mixed >> 29;
    }
    for (; at < bytes.size(); ++at) mixed = (mixed ^ static_cast<uint8_t>(bytes[at])) * 1099511628211ULL;
    return mixed ^ (std::hash<std::string_view>{}(bytes) * 0x9E3779B97F4A7C15ULL);
}

}  // namespace

void FileSaver::knowFile(const std::filesystem::path& path, std::string_view bytes) {
    struct stat info {};
    Known known{std::nullopt, bytes.size(), digestOf(bytes)};
    if (::stat(path.c_str(), &info) == 0) known.identity = FileIdentity::of(info);
    std::lock_guard lock(mutex_);
    known_[path] = known;
}

bool FileSaver::keepUnknown(const std::filesystem::path& end) {
    struct stat info {};
    // Nothing there, or what is no file (refused by the write itself).
    if (::stat(end.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
    std::optional<Known> known;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = known_.find(end); found != known_.end()) known = found->second;
    }
    if (known && known->identity == FileIdentity::of(info)) return true;
    // Touched, its mode changed, or written again with the very bytes this run knows: still ours.
    if (known && known->identity && static_cast<size_t>(info.st_size) == known->size) {
        if (const auto bytes = readWholeFile(end, known->size); bytes && digestOf(*bytes) == known->digest) {
            std::lock_guard lock(mutex_);
            known_[end].identity = FileIdentity::of(info);
            return true;
        }
    }
    const auto copy = keepCopyBeside(end, keptCopies);
    if (!copy) return false;
    if (kept_) kept_(KeptNews{end, copy->path, copy->made, ++othersFound_[end], copy->removed});
    return true;
}

void FileSaver::noteWritten(const std::filesystem::path& end, std::string_view bytes) {
    struct stat info {};
    if (::stat(end.c_str(), &info) != 0) return;
    // Digested before the lock: a submit from the main thread never waits on it.
    const Known known{FileIdentity::of(info), bytes.size(), digestOf(bytes)};
    std::lock_guard lock(mutex_);
    known_[end] = known;
}

bool FileSaver::flush(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    const uint64_t target = submitted_;
    const auto done = [&] { return triedCount_ >= target; };
    if (limit == std::chrono::milliseconds::max()) tried_.wait(lock, done);
    else if (!tried_.wait_for(lock, limit, done)) return false;
    return lastSaved_;
}

void FileSaver::run(std::stop_token stop) {
    for (;;) {
        Document document;
        uint64_t covers = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, stop, [&] { return waiting_.has_value(); });
            if (!waiting_) return;  // stopped with nothing left
            document = std::move(*waiting_);
            waiting_.reset();
            covers = submitted_;
        }
        int error = 0;
        bool saved = false;
        if (std::optional<std::string> bytes = document(error)) {
            errno = 0;
            // A link made before the folder it points into (a dotfile set up ahead): the save makes
            // the folder, as the program makes its own.
            if (links_ == Links::through) {
                // Where the links lead now: they may have been pointed elsewhere since the last save.
                const auto end = resolveLinks(file_);
                saved = (!end || end->namesFolder || keepUnknown(end->path)) && writeThroughLinks(file_, *bytes, mode_);
                if (saved && end) noteWritten(end->path, *bytes);
            } else {
                saved = writeFileDurably(file_, *bytes, mode_);
            }
            if (!saved) error = errno ? errno : EIO;
        }
        if (done_) done_(saved, error);
        {
            std::lock_guard lock(mutex_);
            triedCount_ = covers;
            lastSaved_ = saved;
        }
        tried_.notify_all();
    }
}

}  // namespace quiltdeck
