#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace vantel::bench {

// The values a benchmark measured of one thing (milliseconds, microseconds), and their
// percentiles (nearest rank) and largest.
struct Stats {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double percentile(double p) {
        if (values.empty()) return 0;
        std::sort(values.begin(), values.end());
        const size_t at = std::min(values.size() - 1, static_cast<size_t>(std::ceil(p / 100 * values.size())) - 1);
        return values[at];
    }
    double max() { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

}  // namespace vantel::bench
