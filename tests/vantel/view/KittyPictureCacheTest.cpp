#include "vantel/view/KittyPictureCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <tuple>

#include "platform/runtime/VirtualMainLoop.h"

using namespace vantel;

namespace {

constexpr size_t pictureBytes = 64 * 64 * 4;

std::vector<std::shared_ptr<const KittyGraphicsPayload>> payloads(int count) {
    std::vector<std::shared_ptr<const KittyGraphicsPayload>> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(std::make_shared<KittyGraphicsPayload>(
            KittyGraphicsPayload::rgba(std::vector<uint8_t>(pictureBytes, static_cast<uint8_t>(i)), 64, 64)));
    }
    return out;
}

}  // namespace

// Seventeen pictures shown cell by cell in turn, as placeholders alternating across a screen: each
// is made once in the first frame and found in the next, whether the budget holds them all, one
// fewer (the frame's pictures stay over it) or none.
TEST(KittyPictureCache, AFrameMakesEachPictureOnce) {
    const auto pictures = payloads(17);
    for (size_t budget : {17 * pictureBytes, 16 * pictureBytes, size_t{0}}) {
        KittyPictureCache cache;
        for (int frame = 0; frame < 2; ++frame) {
            cache.beginFrame(budget);
            for (int cell = 0; cell < 80 * 24; ++cell) ASSERT_NE(cache.picture(pictures[cell % 17]), nullptr);
            EXPECT_EQ(cache.made(), 17u) << budget << " after frame " << frame;
        }
    }
}

// Past the budget the least recently used pictures go, one at a time, and never one the frame
// being drawn has shown.
TEST(KittyPictureCache, LeastRecentlyUsedGoFirst) {
    const auto pictures = payloads(5);
    KittyPictureCache cache;
    cache.beginFrame(3 * pictureBytes);
    for (int i : {0, 1, 2, 3}) cache.picture(pictures[i]);  // all four in one frame: over the budget
    EXPECT_EQ(cache.count(), 4u);
    cache.beginFrame(3 * pictureBytes);
    cache.picture(pictures[0]);
    cache.picture(pictures[4]);  // makes room: 1 and 2 go, 3 stays
    EXPECT_EQ(std::tuple(cache.count(), cache.bytes(), cache.made()), std::tuple(3u, 3 * pictureBytes, 5u));
    for (int i : {0, 3, 4}) cache.picture(pictures[i]);
    EXPECT_EQ(cache.made(), 5u);
    cache.picture(pictures[1]);
    EXPECT_EQ(cache.made(), 6u);
}

namespace {

using platform::runtime::VirtualMainLoop;

// Jobs held until the test runs them, each on a thread of its own.
struct HeldJobs {
    std::vector<std::function<void()>> jobs;
    KittyPictureCache::Worker worker() {
        return [this](std::function<void()> job) { jobs.push_back(std::move(job)); };
    }
    void runFirst() {
        std::function<void()> job = std::move(jobs.front());
        jobs.erase(jobs.begin());
        std::thread(std::move(job)).join();
    }
};

// A picture past the size made at once: 1100 x 1000 pixels.
std::shared_ptr<const KittyGraphicsPayload> largePayload(uint8_t fill = 200) {
    return std::make_shared<KittyGraphicsPayload>(
        KittyGraphicsPayload::rgba(std::vector<uint8_t>(size_t{1100} * 1000 * 4, fill), 1100, 1000));
}

}  // namespace

// A large picture is made on a worker: a placeholder is drawn meanwhile, the view is told once it
// is ready, and it is the picture made at once would be. One is made at a time.
TEST(KittyPictureCache, LargePicturesAreMadeOnWorkers) {
    VirtualMainLoop loop;
    HeldJobs held;
    KittyPictureCache cache(&loop, held.worker());
    int ready = 0;
    cache.setOnReady([&] { ++ready; });
    const auto small = payloads(1)[0];
    const auto large = {largePayload(1), largePayload(2), largePayload(3)};
    cache.beginFrame();
    EXPECT_NE(cache.picture(small), nullptr);
    for (const auto& payload : large) {
        EXPECT_EQ(cache.lookup(payload).state, KittyPictureCache::Picture::State::making);
    }
    EXPECT_EQ(held.jobs.size(), KittyPictureCache::jobsAtOnce);
    EXPECT_TRUE(cache.busy());
    held.runFirst();
    EXPECT_EQ(ready, 0);  // handed back through the loop
    loop.runPending();
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(held.jobs.size(), KittyPictureCache::jobsAtOnce);  // the next starts
    const KittyPictureCache::Picture made = cache.lookup(*large.begin());
    ASSERT_EQ(made.state, KittyPictureCache::Picture::State::ready);
    EXPECT_EQ(made.image->pixels, KittyPictureCache::makePicture(**large.begin()).pixels);
    while (!held.jobs.empty()) {
        held.runFirst();
        loop.runPending();
    }
    EXPECT_EQ(ready, 3);
    EXPECT_FALSE(cache.busy());
    EXPECT_EQ(cache.bytes(), pictureBytes + 3 * size_t{1100} * 1000 * 4);
}

// A picture whose making ends after its payload, the cache or its entry is gone is dropped
// without harm, and one not yet started is not made at all.
TEST(KittyPictureCache, WorkThatOutlivesWhatAskedForItIsDropped) {
    struct Case {
        const char* name;
        bool started;  // the job runs before the loss
        std::function<void(std::unique_ptr<KittyPictureCache>&, std::shared_ptr<const KittyGraphicsPayload>&)> lose;
        bool madeFirst = false;  // and its picture is handed back before the loss
    } cases[] = {
        {"payload gone before the job ran", false, [](auto&, auto& payload) { payload.reset(); }},
        {"payload gone while the job ran", true, [](auto&, auto& payload) { payload.reset(); }},
        {"cache cleared", true, [](auto& cache, auto&) { cache->clear(); }},
        {"cache gone", true, [](auto& cache, auto&) { cache.reset(); }},
        // Its last holder let go after it was shown: the next frame has no picture of it.
        {"payload gone after its picture was made", true,
         [](auto& cache, auto& payload) {
             payload.reset();
             cache->beginFrame();
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualMainLoop loop;
        HeldJobs held;
        auto cache = std::make_unique<KittyPictureCache>(&loop, held.worker());
        int ready = 0;
        cache->setOnReady([&] { ++ready; });
        auto payload = largePayload();
        const std::weak_ptr<const KittyGraphicsPayload> watched = payload;
        cache->beginFrame();
        cache->lookup(payload);
        ASSERT_EQ(held.jobs.size(), 1u);
        if (c.started) held.runFirst();
        if (c.madeFirst) loop.runPending();
        const int readyBefore = ready;
        c.lose(cache, payload);
        if (!c.started) held.runFirst();
        loop.runPending();
        EXPECT_EQ(ready, readyBefore);
        EXPECT_EQ(readyBefore, c.madeFirst ? 1 : 0);
        // The payload is let go of on the loop's thread, never kept.
        if (!payload) {
            EXPECT_TRUE(watched.expired());
        }
        if (cache) {
            EXPECT_FALSE(cache->busy());
            EXPECT_EQ(cache->bytes(), 0u);
        }
    }
}

// A large picture drawn much smaller is drawn from a copy made on a worker; while a copy for a new
// size is made the last one stands in, and a picture keeps two copies.
TEST(KittyPictureCache, ScaledCopiesAreMadeOnWorkers) {
    VirtualMainLoop loop;
    HeldJobs held;
    KittyPictureCache cache(&loop, held.worker());
    const auto payload = largePayload();
    cache.beginFrame();
    cache.lookup(payload);
    held.runFirst();
    loop.runPending();
    ASSERT_NE(cache.picture(payload), nullptr);
    auto sampling = [](int width) {
        platform::gfx::ImageSampling s;
        s.imageWidth = 1100;
        s.imageHeight = 1000;
        s.scaleX = s.scaleY = width / 1100.0;
        s.width = width;
        s.height = static_cast<int>(std::ceil(1000 * s.scaleY));
        return s;
    };
    const size_t before = cache.bytes();
    KittyPictureCache::Copy copy = cache.scaledCopy(payload, sampling(110));
    EXPECT_EQ(std::tuple(copy.exact, copy.standIn, held.jobs.size()), std::tuple(nullptr, nullptr, 1u));
    cache.scaledCopy(payload, sampling(110));
    EXPECT_EQ(held.jobs.size(), 1u);  // asked for once
    held.runFirst();
    loop.runPending();
    copy = cache.scaledCopy(payload, sampling(110));
    ASSERT_NE(copy.exact, nullptr);
    EXPECT_EQ(std::tuple(copy.exact->width, copy.exact->height), std::tuple(110, 100));
    EXPECT_EQ(cache.bytes(), before + 110 * 100 * 4);

    cache.beginFrame();
    copy = cache.scaledCopy(payload, sampling(220));
    EXPECT_EQ(copy.exact, nullptr);
    ASSERT_NE(copy.standIn, nullptr);
    EXPECT_EQ(copy.standIn->width, 110);
    held.runFirst();
    loop.runPending();
    cache.beginFrame();
    cache.scaledCopy(payload, sampling(330));  // the oldest, 110, goes
    held.runFirst();
    loop.runPending();
    EXPECT_EQ(cache.bytes(), before + (220 * 200 + 330 * 300) * 4);
    EXPECT_EQ(cache.scaledCopy(payload, sampling(110)).standIn->width, 330);
}
