#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vantel {

// A fixed-capacity ring of values whose empty slots are made on first read.
template <class T>
class CircularList {
public:
    explicit CircularList(int maxLength) : array_(std::max(maxLength, 1)), maxLength_(std::max(maxLength, 1)) {}

    std::function<T(int)> makeEmpty;

    int count() const { return count_; }
    void setCount(int n) {
        n = std::clamp(n, 0, maxLength_);
        if (n > static_cast<int>(array_.size())) array_.resize(n);
        count_ = n;
    }
    int maxLength() const { return maxLength_; }
    void setMaxLength(int newMax) {
        newMax = std::max(newMax, 1);
        if (newMax == maxLength_) return;
        std::vector<std::optional<T>> fresh(newMax);
        int k = std::min<int>(array_.size(), newMax);
        for (int i = 0; i < k; ++i) fresh[i] = std::move(array_[slot(i)]);
        array_ = std::move(fresh);
        startIndex_ = 0;
        maxLength_ = newMax;
        count_ = std::min(count_, newMax);
    }

    T& operator[](int index) {
        auto& cell = array_[slot(index)];
        if (!cell) cell = makeEmpty ? makeEmpty(slot(index)) : T{};
        return *cell;
    }
    void set(int index, T value) { array_[slot(index)] = std::move(value); }

    void push(T value) {
        array_[slot(count_)] = std::move(value);
        if (count_ != static_cast<int>(array_.size())) {
            ++count_;
        } else {
            startIndex_ = (startIndex_ + 1) % count_;
        }
    }

private:
    int slot(int index) const {
        const int64_t n = static_cast<int64_t>(array_.size());
        return static_cast<int>(((static_cast<int64_t>(startIndex_) + index) % n + n) % n);
    }
    std::vector<std::optional<T>> array_;
    int startIndex_ = 0;
    int count_ = 0;
    int maxLength_;
};

}  // namespace vantel
