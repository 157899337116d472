#include "vantel/graphics/KittyPayloadLoader.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace vantel {

KittyPayloadLoader::KittyPayloadLoader(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                                       Medium medium)
    : control_(control) {
    const char transmission = medium == Medium::inBand ? 'd' : control.transmission;
    if (transmission == 'd') {
        auto decoded = base64Payload.empty() ? std::nullopt : decodeKittyBase64(base64Payload);
        if (decoded) haveData(std::move(*decoded));
        else fail("EINVAL: bad payload");
    } else if (transmission == 'f' || transmission == 't' || transmission == 's') {
        KittyMediumOpening opening = transmission == 's'
                                         ? openKittySharedMemoryMedium(control, base64Payload)
                                         : openKittyFileMedium(control, base64Payload, transmission == 't');
        if (opening.reader) {
            reader_ = std::move(opening.reader);
            stage_ = Stage::read;
        } else {
            fail(std::move(opening.errorMessage));
        }
    } else {
        fail("ENOTSUP: unsupported transmission");
    }
}

// The reading thread and whether it is done; it reads in slices, so a stop request is seen soon.
struct KittyPayloadLoader::ReadAside {
    std::atomic<bool> done{false};
    std::jthread thread;
};

KittyPayloadLoader::~KittyPayloadLoader() = default;

bool KittyPayloadLoader::step() {
    if (stage_ == Stage::finished) return true;
    ++steps_;
    waiting_ = false;
    // Stages follow each other within a step while it has work left: a small picture is read,
    // inflated and checked in one.
    size_t done = 0;
    while (stage_ != Stage::finished && done < stepWork) {
        if (stage_ == Stage::read && !readAside_ && reader_->readBytes() == 0 &&
            reader_->size() > stepWork * cheapWorkPerByte && startReadingAside()) {
            continue;
        }
        if (readAside_ && !takeReadAside()) {
            waiting_ = true;
            break;
        }
        done += work(stepWork - done);
    }
    largestStepWork_ = std::max(largestStepWork_, done);
    return stage_ == Stage::finished;
}

bool KittyPayloadLoader::startReadingAside() {
    constexpr size_t slice = size_t{4} << 20;
    auto aside = std::make_unique<ReadAside>();
    try {
        aside->thread = std::jthread([reader = &*reader_, done = &aside->done](std::stop_token stop) {
            while (!stop.stop_requested() && !reader->readSome(slice)) {
            }
            done->store(true, std::memory_order_release);
        });
    } catch (...) {
        // No thread to be had: read here, in steps.
        return false;
    }
    readAside_ = std::move(aside);
    return true;
}

bool KittyPayloadLoader::takeReadAside() {
    if (!readAside_->done.load(std::memory_order_acquire)) return false;
    readAside_.reset();
    bytesReadAside_ = reader_->readBytes();
    haveRead();
    return true;
}

void KittyPayloadLoader::waitForReader() {
    if (!readAside_) return;
    readAside_->thread.join();
}

size_t KittyPayloadLoader::work(size_t budget) {
    switch (stage_) {
        case Stage::read: {
            const size_t before = reader_->readBytes();
            const bool over = reader_->readSome(budget * cheapWorkPerByte);
            const size_t read = reader_->readBytes() - before;
            if (over) haveRead();
            return std::max<size_t>(read / cheapWorkPerByte, 1);
        }
        case Stage::inflate: {
            const size_t before = inflater_->inflatedBytes();
            const bool over = inflater_->inflateSome(budget);
            const size_t made = inflater_->inflatedBytes() - before;
            if (over) {
                auto data = inflater_->take();
                inflater_.reset();
                std::vector<uint8_t>().swap(compressed_);
                if (!data) fail("EINVAL: bad payload");
                else haveRawData(std::move(*data));
            }
            return std::max<size_t>(made, 1);
        }
        case Stage::widen: {
            const size_t total = rgb_.size() / 3;
            const size_t done = rgba_.size() / 4;
            const size_t pixels = std::min(total - done, std::max<size_t>(budget * cheapWorkPerByte / 4, 1));
            rgba_.resize(rgba_.size() + pixels * 4);
            widenRgbToRgba(rgb_.data() + done * 3, rgba_.data() + done * 4, pixels);
            if (done + pixels == total) {
                result_.payload = KittyGraphicsPayload::rgba(std::move(rgba_), static_cast<int>(control_.width),
                                                             static_cast<int>(control_.height));
                std::vector<uint8_t>().swap(rgb_);
                stage_ = Stage::finished;
            }
            return std::max<size_t>(pixels * 4 / cheapWorkPerByte, 1);
        }
        case Stage::finished: break;
    }
    return 0;
}

void KittyPayloadLoader::haveRead() {
    auto data = reader_->take();
    reader_.reset();
    if (!data) fail("EINVAL: bad payload");
    else haveData(std::move(*data));
}

void KittyPayloadLoader::haveData(std::vector<uint8_t> data) {
    if (data.size() > kittyMaximumDataBytes) return fail("EINVAL: bad payload");
    if (!control_.compression) return haveRawData(std::move(data));
    if (*control_.compression != 'z') return fail("EINVAL: bad payload");
    compressed_ = std::move(data);
    inflater_ = std::make_unique<KittyInflater>(compressed_, kittyInflateLimit(control_));
    stage_ = Stage::inflate;
}

void KittyPayloadLoader::haveRawData(std::vector<uint8_t> data) {
    const auto expected = kittyExpectedDataSize(control_);
    if (control_.format == 24 && expected && static_cast<int64_t>(data.size()) == *expected) {
        // Pixels of three bytes gain their alpha byte in steps too.
        rgb_ = std::move(data);
        rgba_.reserve(rgb_.size() / 3 * 4);
        stage_ = Stage::widen;
        return;
    }
    auto payload = decodeKittyPayloadData(control_, std::move(data));
    if (!payload) return fail("EINVAL: bad payload");
    result_.payload = std::move(payload);
    stage_ = Stage::finished;
}

void KittyPayloadLoader::fail(std::string message) {
    result_ = {std::nullopt, std::move(message)};
    stage_ = Stage::finished;
}

KittyPayloadLoad KittyPayloadLoader::takeResult() { return std::move(result_); }

KittyPayloadLoad KittyPayloadLoader::runToEnd() {
    while (!step()) {
        if (waiting_) waitForReader();
    }
    return takeResult();
}

}  // namespace vantel
