#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct z_stream_s;

namespace vantel {

// A zlib stream inflated in steps of the caller's size, never past a limit: a small stream that
// would inflate to gigabytes stops as soon as its output passes the limit.
class KittyInflater {
public:
    // `data` must outlive the inflater.
    KittyInflater(std::span<const uint8_t> data, size_t limit);
    ~KittyInflater();
    KittyInflater(const KittyInflater&) = delete;
    KittyInflater& operator=(const KittyInflater&) = delete;

    // Inflates at most `bytes` more in one call of zlib; true once the stream is over, whole or not.
    bool inflateSome(size_t bytes);
    bool finished() const { return finished_; }
    size_t inflatedBytes() const { return out_.size(); }
    // The output, when the stream ended within the limit.
    std::optional<std::vector<uint8_t>> take();

private:
    std::unique_ptr<z_stream_s> stream_;
    size_t limit_;
    std::vector<uint8_t> out_;
    bool finished_ = false;
    bool whole_ = false;
};

}  // namespace vantel
