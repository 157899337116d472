#include "vantel/view/KittyPictureCache.h"

#include <algorithm>
#include <string>

#include "platform/gfx/ImageDecoder.h"
#include "platform/runtime/MainLoop.h"
#include "platform/runtime/SystemLog.h"
#include "platform/runtime/WorkerPool.h"

namespace vantel {

using platform::gfx::Image;

Image KittyPictureCache::makePicture(const KittyGraphicsPayload& payload) {
    if (!payload.isPng()) return Image::fromRgba(payload.bytes, payload.width, payload.height);
    std::optional<KittyPixels> pixels = decodePngToRgba(payload.bytes);
    return pixels ? Image::fromRgba(pixels->bytes, pixels->width, pixels->height) : Image{};
}

bool KittyPictureCache::madeOnWorker(const KittyGraphicsPayload& payload) {
    if (!payload.isPng()) return int64_t{payload.width} * payload.height > largestMadeAtOnce;
    const auto size = kittyPngPixelSize(payload.bytes);
    return size && int64_t{size->first} * size->second * 4 > largestMadeAtOnce;
}

namespace {

size_t bytesOf(const std::shared_ptr<const Image>& image) {
    return image ? image->pixels.size() * sizeof(uint32_t) : 0;
}

void sayUndecodable(const KittyGraphicsPayload& payload) {
    platform::runtime::SystemLog::writeRefusal(
        platform::runtime::LogLevel::error, "images", "Kitty pictures that do not decode",
        payload.isPng() ? "a Kitty picture did not decode: " + std::to_string(payload.bytes.size()) +
                              " bytes of PNG that libpng refuses"
                        : "a Kitty picture did not decode: " + std::to_string(payload.bytes.size()) +
                              " bytes do not make " + std::to_string(payload.width) + "x" +
                              std::to_string(payload.height) + " RGBA pixels");
}

}  // namespace

size_t KittyPictureCache::Entry::bytes() const {
    size_t total = bytesOf(image);
    for (const ScaledCopy& copy : copies) total += bytesOf(copy.image);
    return total;
}

KittyPictureCache::KittyPictureCache(platform::runtime::MainLoop* loop, Worker worker)
    : loop_(loop), worker_(std::move(worker)) {}

KittyPictureCache::~KittyPictureCache() = default;

platform::runtime::MainLoop& KittyPictureCache::loop() {
    return loop_ ? *loop_ : platform::runtime::MainLoop::main();
}

void KittyPictureCache::beginFrame(size_t capacityBytes) {
    ++frame_;
    entries_.setLimits({.entries = capacity, .bytes = capacityBytes});
    dropPicturesOfPayloadsGone();
}

void KittyPictureCache::dropPicturesOfPayloadsGone() {
    if (entries_.size() == 0) return;
    entries_.eraseIf([](const Entry& e) { return e.payload.expired(); });
}

KittyPictureCache::Entry& KittyPictureCache::store(const KittyGraphicsPayload* key, Entry entry) {
    const size_t bytes = entry.bytes();
    // The least recently used go first; what this frame has drawn stays, over the budget if need be.
    return entries_.insert(key, std::move(entry), bytes, [this](const Entry& e) { return e.frame == frame_; });
}

KittyPictureCache::Entry& KittyPictureCache::restore(const KittyGraphicsPayload* key) {
    Entry entry = std::move(*entries_.peek(key));
    return store(key, std::move(entry));
}

KittyPictureCache::Picture KittyPictureCache::lookup(const Payload& payload) {
    if (!payload) return {};
    Entry* found = entries_.find(payload.get(), [&](const Entry& e) { return e.payload.lock() == payload; });
    if (!found) {
        // Pictures of payloads that are gone (their images deleted) make room first.
        dropPicturesOfPayloadsGone();
        Entry entry{payload, nullptr, 0, frame_, {}};
        if (madeOnWorker(*payload)) {
            entry.ticket = nextTicket_++;
            found = &store(payload.get(), std::move(entry));
            queue(Job{payload.get(), found->ticket, false, {}});
        } else {
            Image image = makePicture(*payload);
            // Said once per payload: the empty picture is kept like any other.
            if (image.isEmpty()) sayUndecodable(*payload);
            else entry.image = platform::gfx::shareImage(std::move(image));
            found = &store(payload.get(), std::move(entry));
        }
    }
    found->frame = frame_;
    if (found->ticket != 0) return {Picture::State::making, nullptr};
    if (!found->image) return {};
    return {Picture::State::ready, found->image.get()};
}

KittyPictureCache::Copy KittyPictureCache::scaledCopy(const Payload& payload,
                                                      const platform::gfx::ImageSampling& sampling) {
    Entry* entry = payload ? entries_.peek(payload.get()) : nullptr;
    if (!entry || !entry->image || entry->payload.lock() != payload) return {};
    auto same = std::find_if(entry->copies.begin(), entry->copies.end(),
                             [&](const ScaledCopy& c) { return c.sampling.sameCopyAs(sampling); });
    if (same != entry->copies.end()) {
        same->frame = frame_;
        if (same->image) return {same->image.get(), nullptr, false};
        if (same->ticket == 0) return {nullptr, nullptr, true};
    } else {
        // The oldest goes, unless this frame draws it too.
        if (entry->copies.size() >= copiesPerPicture) {
            auto oldest = std::min_element(entry->copies.begin(), entry->copies.end(),
                                           [](const ScaledCopy& a, const ScaledCopy& b) { return a.frame < b.frame; });
            if (oldest->frame != frame_) entry->copies.erase(oldest);
        }
        const uint64_t ticket = nextTicket_++;
        entry->copies.push_back(ScaledCopy{sampling, nullptr, ticket, frame_});
        entry = &restore(payload.get());
        queue(Job{payload.get(), ticket, true, sampling});
    }
    const ScaledCopy* standIn = nullptr;
    for (const ScaledCopy& c : entry->copies) {
        if (c.image && (!standIn || c.frame > standIn->frame)) standIn = &c;
    }
    return {nullptr, standIn ? standIn->image.get() : nullptr, false};
}

void KittyPictureCache::queue(Job job) {
    waiting_.push_back(std::move(job));
    startJobs();
}

void KittyPictureCache::startJobs() {
    while (running_ < jobsAtOnce && !waiting_.empty()) {
        const Job job = std::move(waiting_.front());
        waiting_.pop_front();
        if (start(job)) ++running_;
    }
}

bool KittyPictureCache::start(const Job& job) {
    // Only what is still wanted: a picture gone, or a copy dropped, is not made.
    Entry* entry = entries_.peek(job.key);
    Payload payload = entry ? entry->payload.lock() : nullptr;
    if (!payload) return false;
    SharedImage picture;
    if (job.copy) {
        const bool wanted = std::any_of(entry->copies.begin(), entry->copies.end(),
                                        [&](const ScaledCopy& c) { return c.ticket == job.ticket; });
        if (!wanted || !entry->image) return false;
        picture = entry->image;
        payload.reset();
    } else if (entry->ticket != job.ticket) {
        return false;
    }
    platform::runtime::MainLoop& loop = this->loop();
    // The job holds the payload only while it works: one let go of before it starts is not made.
    auto work = [this, &loop, job, weakPayload = std::weak_ptr<const KittyGraphicsPayload>(payload),
                 picture = std::move(picture), alive = std::weak_ptr<int>(alive_)]() mutable {
        Payload payload = weakPayload.lock();
        SharedImage made;
        try {
            if (job.copy || payload) {
                Image image = job.copy ? job.sampling.scaledCopy(*picture) : makePicture(*payload);
                if (!image.isEmpty()) made = platform::gfx::shareImage(std::move(image));
            }
        } catch (...) {
            // Out of memory: no picture, as for one that does not decode.
        }
        // The payload goes back to the main thread, where its owner counts it.
        try {
            loop.post([this, job, payload = std::move(payload), picture = std::move(picture), made = std::move(made),
                       alive = std::move(alive)]() mutable {
                // Held by this alone: its picture is shown nowhere any more.
                const bool gone = !job.copy && (!payload || payload.use_count() == 1);
                if (alive.lock()) finished(job, gone ? nullptr : std::move(made), gone);
            });
        } catch (...) {
            // Out of memory for the hand-over too: the picture stays a placeholder.
        }
    };
    if (worker_) {
        worker_(std::move(work));
    } else {
        platform::runtime::WorkerPool::shared().submit(std::move(work));
    }
    return true;
}

void KittyPictureCache::finished(const Job& job, SharedImage image, bool payloadGone) {
    --running_;
    Entry* entry = entries_.peek(job.key);
    bool ready = false;
    if (entry && payloadGone) {
        if (entry->ticket == job.ticket) entries_.erase(job.key);
    } else if (entry && !job.copy && entry->ticket == job.ticket) {
        entry->ticket = 0;
        if (!image) {
            if (const Payload payload = entry->payload.lock()) sayUndecodable(*payload);
        }
        entry->image = std::move(image);
        // Stored again at its new size: the old slot, and `entry` with it, is gone.
        ready = restore(job.key).image != nullptr;
    } else if (entry && job.copy) {
        auto copy = std::find_if(entry->copies.begin(), entry->copies.end(),
                                 [&](const ScaledCopy& c) { return c.ticket == job.ticket; });
        if (copy != entry->copies.end()) {
            copy->ticket = 0;
            copy->image = std::move(image);
            restore(job.key);
            ready = true;
        }
    }
    startJobs();
    if (ready && onReady_) onReady_();
}

}  // namespace vantel
