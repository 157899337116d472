#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <thread>

#include "quiltdeck/shell/DurableFile.h"

namespace quiltdeck {

// Writes one file durably (writeFileDurably) on a thread of its own, so that whoever changes
// the document never waits for its encoding or for the disk. Only the newest document counts: one
// handed over while another is written takes the place of any that waits, so a burst of changes
// costs one write.
class FileSaver {
public:
    // Makes the bytes, on the saver's thread; nothing, with an errno value, when there is nothing
    // that may be written.
    using Document = std::function<std::optional<std::string>(int& error)>;
    // After each attempt, on the saver's thread: whether it reached the disk, and the errno value
    // of a failure.
    using Done = std::function<void(bool saved, int error)>;

    // Where a link stands at the file's name: `replace` writes a regular file in its place,
    // `through` writes where the chain of links ends (beside it, then renamed there), so that
    // the link stays and its target holds the document, as an editor saves a linked file.
    // Through links, a file found where the chain ends that this saver never wrote nor was told
    // of (knowFile) is another document, or the one it knew changed since (a link mended while
    // the program runs, a sync tool's copy): its bytes are kept beside it (keepCopyBeside, the
    // newest `keptCopies` copies) before it is replaced, and `kept` is told, on the saver's
    // thread, with how many times this saver found another's version there; while they cannot
    // be kept, the save fails with the copy's cause. A file whose metadata alone changed (a
    // touch, a change of mode), or that was written again with the bytes this saver knows, is
    // still its own.
    enum class Links { replace, through };
    static constexpr size_t keptCopies = 3;
    struct KeptNews {
        std::filesystem::path file;
        std::filesystem::path copy;
        bool made = true;  // false: the newest copy held those bytes already
        size_t times = 1;  // another's version found there, this run
        std::vector<std::filesystem::path> removed;
    };
    using Kept = std::function<void(const KeptNews& news)>;

    FileSaver(std::filesystem::path file, mode_t mode, Done done, Links links = Links::replace, Kept kept = {});
    // Writes the document that waits, then ends the thread.
    ~FileSaver();
    FileSaver(const FileSaver&) = delete;
    FileSaver& operator=(const FileSaver&) = delete;

    // Any thread; returns at once.
    void submit(Document document);
    // The file as it stands now at `path` (where the links lead), holding `bytes`, is what its
    // owner read: its to replace. Any thread.
    void knowFile(const std::filesystem::path& path, std::string_view bytes);
    // Waits until every document handed over before the call was tried, at most `limit`. True
    // when the last attempt reached the disk (also when nothing was ever handed over); false when
    // it failed or the limit passed first. Any thread.
    bool flush(std::chrono::milliseconds limit = std::chrono::milliseconds::max());

private:
    void run(std::stop_token stop);

    const std::filesystem::path file_;
    const mode_t mode_;
    const Done done_;
    const Links links_;
    const Kept kept_;
    // What stood at each path when it was read or last written here (none: nothing stood there),
    // and what its bytes were.
    struct Known {
        std::optional<FileIdentity> identity;
        size_t size = 0;
        uint64_t digest = 0;
    };
    std::map<std::filesystem::path, Known> known_;  // guarded by mutex_
    std::map<std::filesystem::path, size_t> othersFound_;  // saver's thread only
    // Keeps what stands where the links end unless it is known; false, with errno set, when it
    // cannot be kept.
    bool keepUnknown(const std::filesystem::path& end);
    void noteWritten(const std::filesystem::path& end, std::string_view bytes);
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable tried_;
    std::optional<Document> waiting_;
    uint64_t submitted_ = 0;
    uint64_t triedCount_ = 0;
    bool lastSaved_ = true;
    std::jthread thread_;  // last: starts once the rest is ready
};

}  // namespace quiltdeck
