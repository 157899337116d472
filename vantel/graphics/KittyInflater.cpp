#include "vantel/graphics/KittyInflater.h"

#include <zlib.h>

#include <algorithm>

#include "vantel/graphics/KittyGraphicsPayload.h"

namespace vantel {

KittyInflater::KittyInflater(std::span<const uint8_t> data, size_t limit)
    : stream_(std::make_unique<z_stream_s>()), limit_(std::min(limit, kittyMaximumDataBytes)) {
    if (data.size() > kittyMaximumDataBytes || inflateInit(stream_.get()) != Z_OK) {
        stream_.reset();
        finished_ = true;
        return;
    }
    stream_->next_in = const_cast<Bytef*>(data.data());
    stream_->avail_in = static_cast<uInt>(data.size());
    // A limit below the data bound is the exact pixel size: taken at once, the buffer never
    // doubles or shrinks by copying (untouched pages cost nothing).
    if (limit_ < kittyMaximumDataBytes) out_.reserve(limit_ + 1);
}

KittyInflater::~KittyInflater() {
    if (stream_) inflateEnd(stream_.get());
}

bool KittyInflater::inflateSome(size_t bytes) {
    if (finished_) return true;
    // One byte past the limit is room enough to see the stream pass it.
    const size_t used = out_.size();
    const size_t step = std::max<size_t>(std::min(bytes, limit_ + 1 - used), 1);
    out_.resize(used + step);
    stream_->next_out = out_.data() + used;
    stream_->avail_out = static_cast<uInt>(step);
    const int status = inflate(stream_.get(), Z_NO_FLUSH);
    out_.resize(used + (step - stream_->avail_out));
    if (status == Z_STREAM_END) {
        finished_ = true;
        whole_ = out_.size() <= limit_;
    } else if (status != Z_OK || out_.size() > limit_) {
        // Z_BUF_ERROR: no progress with the input used up, the stream was cut short.
        finished_ = true;
    }
    return finished_;
}

std::optional<std::vector<uint8_t>> KittyInflater::take() {
    if (!finished_ || !whole_) return std::nullopt;
    whole_ = false;
    if (out_.capacity() - out_.size() > 65'536) out_.shrink_to_fit();
    return std::move(out_);
}

}  // namespace vantel
