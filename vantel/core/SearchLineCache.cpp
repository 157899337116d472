#include "vantel/core/SearchLineCache.h"

#include <chrono>

#include "vantel/core/Terminal.h"

namespace vantel {

std::string SearchLineText::lineAsString() const {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

SearchLineCache::SearchLineCache(Terminal& terminal) : terminal_(terminal) {
    clock = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
}

void SearchLineCache::initLinesCache() {
    const double now = clock();
    const Buffer& buffer = terminal_.buffer();
    const int count = buffer.lines().count();
    // Beyond the age and count rules, a switch of screen or a scroll of a full ring also stales it.
    const bool fresh = linesCache_ && now - lastAccessTimestamp < maximumAgeSeconds &&
                       static_cast<int>(linesCache_->size()) == count && cachedBuffer_ == &buffer &&
                       cachedTrimmed_ == buffer.totalLinesTrimmed();
    lastAccessTimestamp = now;
    if (fresh) return;
    linesCache_.emplace(static_cast<size_t>(count));
    cachedBuffer_ = &buffer;
    cachedTrimmed_ = buffer.totalLinesTrimmed();
}

void SearchLineCache::invalidate() {
    linesCache_.reset();
    lastAccessTimestamp = 0;
    cachedBuffer_ = nullptr;
}

void SearchLineCache::setLineInCache(int row, SearchLineText entry) {
    if (!linesCache_ || row < 0 || row >= static_cast<int>(linesCache_->size())) return;
    (*linesCache_)[row] = std::move(entry);
}

const SearchLineText& SearchLineCache::line(int row) {
    if (linesCache_ && row >= 0 && row < static_cast<int>(linesCache_->size())) {
        auto& slot = (*linesCache_)[row];
        if (!slot) slot = translateBufferLineToStringWithWrap(row, true);
        return *slot;
    }
    scratch_ = translateBufferLineToStringWithWrap(row, true);
    return scratch_;
}

SearchLineText SearchLineCache::translateBufferLineToStringWithWrap(int lineIndex, bool trimRight) const {
    SearchLineText out;
    out.offsets.push_back(0);
    Buffer& buffer = terminal_.buffer();
    auto& lines = buffer.lines();
    const int count = lines.count();
    if (lineIndex < 0 || lineIndex >= count) return out;

    for (int row = lineIndex, rowInLine = 0;; ++row, ++rowInLine) {
        const BufferLine& line = lines[row];
        const BufferLine* next = row + 1 < count ? &lines[row + 1] : nullptr;
        const bool continues = next && next->isWrapped();
        int length = line.count();
        if (trimRight && !continues) length = std::clamp(line.getTrimmedLength(), 0, line.count());
        // The empty filler a wide character left when it moved to the next row is no text.
        if (continues && length > 0 && length == line.count() && line[length - 1].code == 0 &&
            line[length - 1].width < 2 && next->count() > 0 && (*next)[0].width == 2) {
            --length;
        }
        const CharData* cells = line.cells();
        for (int col = 0; col < length; ++col) {
            const CharData& cell = cells[col];
            if (col > 0 && cell.code == 0 && cells[col - 1].width == 2) continue;
            out.characterStarts.push_back(static_cast<int32_t>(out.text.size()));
            for (char32_t c : terminal_.character(cell.code)) {
                if (c == 0) c = U' ';
                if (c >= 0x10000) {
                    out.text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                    out.text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
                } else {
                    out.text.push_back(static_cast<char16_t>(c));
                }
            }
            out.cells.push_back({rowInLine, static_cast<int16_t>(std::min(col, 0x7FFF)), cell.width});
            if (cell.width == 2 && col + 1 < length && cells[col + 1].code == 0) ++col;
        }
        if (!continues) break;
        out.offsets.push_back(out.characterCount());
    }
    return out;
}

}  // namespace vantel
