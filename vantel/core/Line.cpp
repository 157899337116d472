#include "vantel/core/Line.h"

namespace vantel {

void Line::add(LineFragment fragment) {
    length_ += fragment.length;
    fragments_.push_back(std::move(fragment));
}

std::optional<int64_t> Line::startLine() const {
    if (fragments_.empty()) return std::nullopt;
    return fragments_.front().line;
}

std::optional<int64_t> Line::startLocation() const {
    if (fragments_.empty()) return std::nullopt;
    return fragments_.front().location;
}

std::string Line::toString() const {
    std::string out;
    for (const auto& fragment : fragments_) {
        if (fragment.text) out += *fragment.text;
    }
    return out;
}

int Line::getFragmentIndex(int64_t position) const {
    if (position < 0) return -1;
    int64_t start = 0;
    for (size_t i = 0; i < fragments_.size(); ++i) {
        start += fragments_[i].length;
        if (position < start) return static_cast<int>(i);
    }
    return -1;
}

std::string Line::debugDescription() const {
    if (fragments_.empty()) return "[]";
    std::string out = std::to_string(fragments_.size()) + "/" + std::to_string(length_) + ": [";
    for (const auto& fragment : fragments_) {
        if (fragment.text) out += *fragment.text == "\n" ? std::string("\\n") : *fragment.text;
        out += "][";
    }
    return out;
}

std::string Line::joinedText(const std::vector<Line>& lines) {
    std::string out;
    for (const auto& line : lines) {
        for (const auto& fragment : line.fragments()) {
            if (fragment.text) out += *fragment.text;
        }
    }
    return out;
}

}  // namespace vantel
