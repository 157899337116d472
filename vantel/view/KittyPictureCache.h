#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/ImageSampling.h"
#include "vantel/graphics/KittyGraphicsPayload.h"

namespace platform::runtime {
class MainLoop;
}

namespace vantel {

// The pictures of Kitty payloads, made once per payload for drawing: PNG decoded, straight alpha
// premultiplied. A picture lives while its payload does and the cache has room: pictures of payloads
// gone are dropped when a frame begins or a new one is made (and when the owner says,
// `dropPicturesOfPayloadsGone`), and past `capacity` pictures or the byte budget the least
// recently used go one at a time, never one the frame being drawn has used, so a frame that shows
// more than the budget holds still makes each picture once.
//
// A small picture is made when it is first drawn. A large one is made on a worker (a 10000 x 10000
// one takes a third of a second), and so is the copy a large picture is drawn from when it is shown
// much smaller than it is (scaling it each frame takes as long): until they are ready the view draws
// a placeholder, told by `setOnReady` to draw again. Large pictures are let go of on a worker too.
// Main thread only; the workers hand their results back through the main loop.
class KittyPictureCache {
public:
    static constexpr size_t capacity = 1024;
    // The terminal's image budget by default; a view sets its own terminal's.
    static constexpr size_t defaultCapacityBytes = size_t{320} << 20;
    // Pictures of at most this many pixels are made at once (a PNG's counting four times, for
    // its decoding): a millisecond or two.
    static constexpr int64_t largestMadeAtOnce = int64_t{1} << 20;
    // Pictures and copies made on workers at a time: one, as each may take hundreds of megabytes
    // beside its payload. The others wait their turn.
    static constexpr size_t jobsAtOnce = 1;
    // Copies kept per picture: the one drawn and the one before it (a resize, a scroll by part of
    // a pixel).
    static constexpr size_t copiesPerPicture = 2;

    // Runs a job off the main thread.
    using Worker = std::function<void(std::function<void()>)>;

    // Results come back through `loop` (the main loop by default), which outlives the cache; jobs
    // run on the program's worker pool unless `worker` is given (tests).
    explicit KittyPictureCache(platform::runtime::MainLoop* loop = nullptr, Worker worker = {});
    ~KittyPictureCache();
    KittyPictureCache(const KittyPictureCache&) = delete;
    KittyPictureCache& operator=(const KittyPictureCache&) = delete;

    // A payload's picture, made now: PNG decoded within the decoder's limits, straight alpha
    // premultiplied. Empty when it does not decode. Any thread.
    static platform::gfx::Image makePicture(const KittyGraphicsPayload& payload);
    // Whether the payload's picture is made on a worker.
    static bool madeOnWorker(const KittyGraphicsPayload& payload);

    // Pictures asked for from now on belong to a new frame. `capacityBytes`: the byte budget, at
    // least the image store's so that what the store keeps can be shown without remaking it.
    void beginFrame(size_t capacityBytes = defaultCapacityBytes);
    // Lets go of the pictures (and copies) of payloads that are gone: deleted images, a reset.
    void dropPicturesOfPayloadsGone();

    // What a payload shows now: its picture, a placeholder while it is being made, or nothing.
    struct Picture {
        enum class State : uint8_t { ready, making, failed };
        State state = State::failed;
        const platform::gfx::Image* image = nullptr;  // when ready
    };
    Picture lookup(const std::shared_ptr<const KittyGraphicsPayload>& payload);
    // The payload's picture when it is ready; null when it does not decode or is being made.
    const platform::gfx::Image* picture(const std::shared_ptr<const KittyGraphicsPayload>& payload) {
        return lookup(payload).image;
    }
    // The ready picture's copy for `sampling`, asked for on a worker the first time: null until it
    // is ready, `standIn` meanwhile the copy drawn last for another sampling, if any.
    struct Copy {
        const platform::gfx::Image* exact = nullptr;
        const platform::gfx::Image* standIn = nullptr;
        // None could be made: the picture is drawn as it is.
        bool failed = false;
    };
    Copy scaledCopy(const std::shared_ptr<const KittyGraphicsPayload>& payload,
                    const platform::gfx::ImageSampling& sampling);

    // Called on the main loop when something made on a worker is ready to be drawn.
    void setOnReady(std::function<void()> onReady) { onReady_ = std::move(onReady); }
    // Jobs running or waiting.
    bool busy() const { return running_ > 0 || !waiting_.empty(); }

    size_t count() const { return entries_.size(); }
    size_t bytes() const { return entries_.bytes(); }
    // Pictures made so far (each a decode or a conversion of a payload).
    uint64_t made() const { return entries_.counters().misses; }
    const platform::gfx::CacheCounters& counters() const { return entries_.counters(); }
    void clear() { entries_.clear(); }

private:
    using Payload = std::shared_ptr<const KittyGraphicsPayload>;
    using SharedImage = std::shared_ptr<const platform::gfx::Image>;

    struct ScaledCopy {
        platform::gfx::ImageSampling sampling;
        SharedImage image;    // null while it is being made, or when it could not be made
        uint64_t ticket = 0;  // of the job making it; 0 once it is done
        uint64_t frame = 0;   // the last frame that asked for it
    };
    struct Entry {
        // The key is the payload's address, good while this still points at it: an address freed
        // and used again by another payload is not the same picture.
        std::weak_ptr<const KittyGraphicsPayload> payload;
        SharedImage image;        // null while it is made, and when the payload does not decode
        uint64_t ticket = 0;      // of the job making it; 0 once it is done
        uint64_t frame = 0;       // the last frame that used it
        std::vector<ScaledCopy> copies;
        size_t bytes() const;
    };
    struct Job {
        const KittyGraphicsPayload* key = nullptr;
        uint64_t ticket = 0;
        bool copy = false;
        platform::gfx::ImageSampling sampling;
    };

    using Pictures = platform::gfx::BoundedCache<const KittyGraphicsPayload*, Entry>;

    Entry& store(const KittyGraphicsPayload* key, Entry entry);
    // Stores the entry again, for its new size.
    Entry& restore(const KittyGraphicsPayload* key);
    void queue(Job job);
    void startJobs();
    bool start(const Job& job);
    void finished(const Job& job, SharedImage image, bool payloadGone);
    platform::runtime::MainLoop& loop();

    Pictures entries_{{.entries = capacity, .bytes = defaultCapacityBytes}, Pictures::Eviction::leastRecentlyUsed};
    uint64_t frame_ = 1;
    uint64_t nextTicket_ = 1;
    std::deque<Job> waiting_;
    size_t running_ = 0;
    platform::runtime::MainLoop* loop_;
    Worker worker_;
    std::function<void()> onReady_;
    // Results that come back after the cache is gone find this expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace vantel
