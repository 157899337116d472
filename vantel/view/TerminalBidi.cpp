// Paragraph layout of right-to-left rows and its two process-wide caches.
#include "vantel/view/TerminalBidi.h"

#include <algorithm>
#include <mutex>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/HashCombine.h"
#include "vantel/core/Buffer.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

// Any well-mixed hash does: only equality of the results matters.
class Hasher {
public:
    void add(uint64_t value) { state_ = platform::gfx::hashCombine(state_, value); }
    uint64_t value() const { return state_; }

private:
    size_t state_ = 0;
};

struct ParagraphKey {
    uint64_t buffer;  // serial numbers, never addresses: a new object can take a freed one's place
    int firstRow;
    int lastRow;
    uint64_t revision;
    int cols;
    uint64_t font;
    BidiPresentationState state;
    friend bool operator==(const ParagraphKey&, const ParagraphKey&) = default;
};

struct ParagraphContentKey {
    uint64_t contentHash;
    int rowCount;
    int cols;
    uint64_t font;
    BidiPresentationState state;
    friend bool operator==(const ParagraphContentKey&, const ParagraphContentKey&) = default;
};

struct KeyHash {
    size_t operator()(const ParagraphKey& k) const {
        Hasher h;
        for (uint64_t v : {k.buffer, uint64_t(k.firstRow), uint64_t(k.lastRow), k.revision, uint64_t(k.cols), k.font,
                           uint64_t(k.state.packed())}) {
            h.add(v);
        }
        return h.value();
    }
    size_t operator()(const ParagraphContentKey& k) const {
        Hasher h;
        for (uint64_t v : {k.contentHash, uint64_t(k.rowCount), uint64_t(k.cols), k.font, uint64_t(k.state.packed())}) {
            h.add(v);
        }
        return h.value();
    }
};

// A laid-out paragraph by its content: its cells with rows relative to its first row, and the
// layout made for it (shared with the identity cache, not copied).
struct CachedParagraph {
    std::vector<TerminalBidi::Cell> cells;
    TerminalBidi::ParagraphResultRef laidOut;
    int firstRow = 0;  // of laidOut

    bool matches(const std::vector<TerminalBidi::Cell>& other, int firstRow) const {
        if (cells.size() != other.size()) return false;
        for (size_t i = 0; i < cells.size(); ++i) {
            const TerminalBidi::Cell& a = cells[i];
            const TerminalBidi::Cell& b = other[i];
            if (a.row != b.row - firstRow || a.logicalCol != b.logicalCol || a.width != b.width || a.text != b.text) {
                return false;
            }
        }
        return true;
    }
};

struct Caches {
    std::mutex cacheLock;
    platform::gfx::BoundedCache<ParagraphKey, TerminalBidi::ParagraphResultRef, KeyHash> paragraphCache{
        {.entries = TerminalBidi::cacheCapacity}};
    platform::gfx::BoundedCache<ParagraphContentKey, std::shared_ptr<const CachedParagraph>, KeyHash> contentCache{
        {.entries = TerminalBidi::cacheCapacity}};
    uint64_t builds = 0;
};

// Shared by every terminal and view for the life of the process.
Caches& caches() {
    static Caches* shared = new Caches();
    return *shared;
}

void storeIdentity(const ParagraphKey& key, const TerminalBidi::ParagraphResultRef& result) {
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    c.paragraphCache.insert(key, result);
}

// The result of every paragraph without right-to-left candidates and a left-to-right fallback.
TerminalBidi::ParagraphResultRef withoutCandidates() {
    static const auto shared = [] {
        TerminalBidi::ParagraphResult r;
        r.hasPotentialRTL = false;
        return std::make_shared<const TerminalBidi::ParagraphResult>(std::move(r));
    }();
    return shared;
}

TerminalBidi::ParagraphResultRef rebase(const CachedParagraph& cached, TerminalBidi::RowRange bounds,
                                        uint64_t revision) {
    TerminalBidi::ParagraphResult result;
    result.baseDirection = cached.laidOut->baseDirection;
    result.hasPotentialRTL = cached.laidOut->hasPotentialRTL;
    for (const auto& [row, laidOut] : cached.laidOut->rows) {
        BidiRowLayout layout = laidOut;
        layout.paragraphRevision = revision;
        result.rows.emplace(bounds.first + (row - cached.firstRow), std::move(layout));
    }
    return std::make_shared<const TerminalBidi::ParagraphResult>(std::move(result));
}

Character cellText(const CharData& cell, const Terminal& terminal) {
    return cell.code == 0 ? Character(U" ") : terminal.character(cell.code);
}

// Appends the row's cells up to its trimmed length; returns its used-column count.
int appendCells(std::vector<TerminalBidi::Cell>& out, int row, const BufferLine& line, int cols,
                const Terminal& terminal) {
    const int used = std::min({line.getTrimmedLength(), line.count(), cols});
    int col = 0;
    while (col < used) {
        const CharData& cell = line[col];
        const int width = std::max(1, static_cast<int>(cell.width));
        out.push_back({row, col, width, cellText(cell, terminal)});
        col += width;
    }
    return col;
}

// Places one cell at visual column v in both maps.
void mapCell(BidiRowLayout& layout, const BidiCell& cell, int v, int cols) {
    for (int k = 0; k < cell.width; ++k) {
        const int logical = cell.logicalCol + k;
        const int visual = v + k;
        if (logical >= 0 && logical < cols) layout.logicalToVisualCol[static_cast<size_t>(logical)] = visual;
        if (visual >= 0 && visual < cols) layout.visualToLogicalCol[static_cast<size_t>(visual)] = cell.logicalCol;
    }
}

// Blank columns, then (or before) the cells in the given visual order.
BidiRowLayout layoutRow(const std::vector<BidiCell>& orderedCells, int used, int cols, BidiDirection base,
                        uint64_t revision) {
    BidiRowLayout layout;
    layout.baseDirection = base;
    layout.paragraphRevision = revision;
    layout.logicalToVisualCol.assign(static_cast<size_t>(std::max(cols, 0)), 0);
    layout.visualToLogicalCol.assign(static_cast<size_t>(std::max(cols, 0)), 0);
    layout.visualCells.reserve(orderedCells.size() + static_cast<size_t>(std::max(cols - used, 0)));
    int v = 0;
    auto place = [&](BidiCell cell) {
        mapCell(layout, cell, v, cols);
        v += cell.width;
        layout.visualCells.push_back(std::move(cell));
    };
    // The blank tail of a right-to-left row stands at its left edge, so its text ends at the right margin.
    if (base == BidiDirection::rightToLeft) {
        for (int col = cols - 1; col >= used; --col) place({col, 1, std::nullopt});
    }
    for (const BidiCell& cell : orderedCells) place(cell);
    if (base == BidiDirection::leftToRight) {
        for (int col = used; col < cols; ++col) place({col, 1, std::nullopt});
    }
    return layout;
}

}  // namespace

std::optional<TerminalBidi::RowRange> TerminalBidi::paragraphBounds(int row, Buffer& buffer, int maximumRows) {
    CircularBufferLineList& lines = buffer.lines();
    if (row < 0 || row >= lines.count()) return std::nullopt;
    const int limit = std::max(1, maximumRows);
    int first = row;
    int count = 1;
    while (first > 0 && lines[first].isWrapped()) {
        if (count == limit) return std::nullopt;
        --first;
        ++count;
    }
    int last = row;
    while (last + 1 < lines.count() && lines[last + 1].isWrapped()) {
        if (count >= limit) return std::nullopt;
        ++last;
        ++count;
    }
    return RowRange{first, last};
}

uint64_t TerminalBidi::paragraphRevision(RowRange bounds, Buffer& buffer) {
    CircularBufferLineList& lines = buffer.lines();
    Hasher h;
    for (int r = bounds.first; r <= bounds.last; ++r) {
        const BufferLine& line = lines[r];
        h.add(line.serial());
        h.add(line.generation());
        h.add(line.isWrapped() ? 1 : 0);
    }
    return h.value();
}

TerminalBidi::ParagraphResultRef TerminalBidi::paragraphResult(int row, Buffer& buffer, int cols,
                                                               const Terminal& terminal,
                                                               const platform::gfx::Font& font) {
    CircularBufferLineList& lines = buffer.lines();
    if (row < 0 || row >= lines.count()) return nullptr;
    if (lines[row].bidiState().supportMode == BidiSupportMode::explicit_) return nullptr;
    const auto bounds = paragraphBounds(row, buffer, std::max(1, terminal.options().maximumBidiParagraphRows));
    if (!bounds) return nullptr;
    const BidiPresentationState state = lines[bounds->first].bidiState();
    const uint64_t revision = paragraphRevision(*bounds, buffer);
    const ParagraphKey key{buffer.serial(), bounds->first, bounds->last, revision, cols, font.id(), state};

    Caches& c = caches();
    {
        std::lock_guard lock(c.cacheLock);
        if (const ParagraphResultRef* found = c.paragraphCache.find(key)) return *found;
    }

    bool hasPotentialRTL = false;
    for (int r = bounds->first; r <= bounds->last && !hasPotentialRTL; ++r) {
        hasPotentialRTL = mayNeedBidi(lines[r], cols, terminal);
    }
    if (!hasPotentialRTL && state.fallbackDirection == BidiDirection::leftToRight) {
        storeIdentity(key, withoutCandidates());
        return withoutCandidates();
    }

    const int rowCount = bounds->last - bounds->first + 1;
    std::vector<Cell> cells;
    cells.reserve(static_cast<size_t>(std::clamp(cols, 0, 80) * rowCount));
    std::vector<std::pair<int, int>> ranges(static_cast<size_t>(rowCount));
    std::vector<int> usedColumns(static_cast<size_t>(rowCount));
    for (int r = bounds->first; r <= bounds->last; ++r) {
        const int lo = static_cast<int>(cells.size());
        usedColumns[static_cast<size_t>(r - bounds->first)] = appendCells(cells, r, lines[r], cols, terminal);
        ranges[static_cast<size_t>(r - bounds->first)] = {lo, static_cast<int>(cells.size())};
    }

    Hasher content;
    content.add(cells.size());
    for (const Cell& cell : cells) {
        content.add(static_cast<uint64_t>(cell.row - bounds->first));
        content.add(static_cast<uint64_t>(cell.logicalCol));
        content.add(static_cast<uint64_t>(cell.width));
        content.add(cell.text.size());
        for (char32_t s : cell.text) content.add(s);
    }
    const ParagraphContentKey contentKey{content.value(), rowCount, cols, font.id(), state};
    std::shared_ptr<const CachedParagraph> cached;
    {
        // Equal hashes of other cells are not a hit.
        std::lock_guard lock(c.cacheLock);
        auto* found = c.contentCache.find(
            contentKey, [&](const std::shared_ptr<const CachedParagraph>& p) { return p->matches(cells, bounds->first); });
        if (found) cached = *found;
    }
    if (cached) {
        ParagraphResultRef result = rebase(*cached, *bounds, revision);
        storeIdentity(key, result);
        return result;
    }

    ParagraphResultRef result = std::make_shared<const ParagraphResult>(
        buildParagraph(*bounds, cells, ranges, usedColumns, cols, state, hasPotentialRTL, revision));
    auto entry = std::make_shared<CachedParagraph>();
    entry->cells = std::move(cells);
    for (Cell& cell : entry->cells) cell.row -= bounds->first;
    entry->laidOut = result;
    entry->firstRow = bounds->first;
    {
        std::lock_guard lock(c.cacheLock);
        ++c.builds;
        c.contentCache.insert(contentKey, std::move(entry));
    }
    storeIdentity(key, result);
    return result;
}

TerminalBidi::ParagraphResult TerminalBidi::buildParagraph(RowRange bounds, const std::vector<Cell>& cells,
                                                           const std::vector<std::pair<int, int>>& ranges,
                                                           const std::vector<int>& usedColumns, int cols,
                                                           const BidiPresentationState& state, bool hasPotentialRTL,
                                                           uint64_t revision) {
    ParagraphResult result;
    result.hasPotentialRTL = hasPotentialRTL;
    BidiDirection base = state.fallbackDirection;
    if (state.autodetectDirection) base = detectedBaseDirection(cells, state.fallbackDirection);
    result.baseDirection = base;
    if (!hasPotentialRTL && base == BidiDirection::leftToRight) return result;

    const auto typesetter = makeTypesetter(cells, base);
    // Forms over the whole paragraph, so that letters join across soft wraps.
    std::vector<std::optional<Character>> display = shapeArabic(cells);
    for (int r = bounds.first; r <= bounds.last; ++r) {
        const size_t offset = static_cast<size_t>(r - bounds.first);
        if (offset >= ranges.size()) break;
        const auto [lo, hi] = ranges[offset];
        std::optional<VisualOrder> visual;
        if (lo == hi) visual = VisualOrder{};
        else if (typesetter) visual = computeVisualOrder(lo, hi, *typesetter, base);
        if (!visual) continue;
        for (size_t i = 0; i < visual->rtl.size(); ++i) {
            const size_t at = static_cast<size_t>(lo) + i;
            if (visual->rtl[i] && !display[at]) display[at] = mirroredText(cells[at].text, state.boxMirroring);
        }
        std::vector<BidiCell> ordered;
        ordered.reserve(visual->order.size());
        for (int k : visual->order) {
            const size_t at = static_cast<size_t>(lo + k);
            ordered.push_back({cells[at].logicalCol, cells[at].width, display[at]});
        }
        const int used = std::min(offset < usedColumns.size() ? usedColumns[offset] : 0, cols);
        result.rows.emplace(r, layoutRow(ordered, used, cols, base, revision));
    }
    return result;
}

std::optional<BidiRowLayout> TerminalBidi::explicitRightToLeftLayout(int row, Buffer& buffer, int cols,
                                                                     const Terminal& terminal) {
    CircularBufferLineList& lines = buffer.lines();
    if (row < 0 || row >= lines.count()) return std::nullopt;
    const BufferLine& line = lines[row];
    std::vector<Cell> cells;
    const int used = std::min(appendCells(cells, row, line, cols, terminal), cols);
    const bool boxMirroring = line.bidiState().boxMirroring;
    std::vector<BidiCell> ordered;
    ordered.reserve(cells.size());
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        ordered.push_back({it->logicalCol, it->width, mirroredText(it->text, boxMirroring)});
    }
    return layoutRow(ordered, used, cols, BidiDirection::rightToLeft, line.generation());
}

std::shared_ptr<const BidiRowLayout> TerminalBidi::rowLayout(int row, Buffer& buffer, int cols,
                                                             const Terminal& terminal,
                                                             const platform::gfx::Font& font, bool* mayNeedBidi) {
    CircularBufferLineList& lines = buffer.lines();
    if (row < 0 || row >= lines.count()) return nullptr;
    const BidiPresentationState state = lines[row].bidiState();
    std::shared_ptr<const BidiRowLayout> layout;
    ParagraphResultRef result;
    if (state.supportMode == BidiSupportMode::explicit_) {
        if (state.fallbackDirection == BidiDirection::rightToLeft) {
            if (auto explicitLayout = explicitRightToLeftLayout(row, buffer, cols, terminal)) {
                layout = std::make_shared<const BidiRowLayout>(std::move(*explicitLayout));
            }
        }
    } else {
        result = paragraphResult(row, buffer, cols, terminal, font);
        // Shares ownership of the paragraph it belongs to.
        if (const BidiRowLayout* own = result ? result->row(row) : nullptr) layout = {result, own};
    }
    if (mayNeedBidi) {
        // A paragraph found without candidates spares the row its scan.
        if (layout) *mayNeedBidi = true;
        else if (result && !result->hasPotentialRTL) *mayNeedBidi = false;
        else *mayNeedBidi = TerminalBidi::mayNeedBidi(lines[row], cols, terminal);
    }
    return layout;
}

TerminalBidi::RowRange TerminalBidi::renderingDependencyRange(RowRange rows, Buffer& buffer, int maximumRows) {
    CircularBufferLineList& lines = buffer.lines();
    const int count = lines.count();
    if (count == 0) return rows;
    int lo = std::clamp(rows.first, 0, count - 1);
    int hi = std::clamp(rows.last, lo, count - 1);
    if (lines[lo].bidiState().supportMode == BidiSupportMode::implicit) {
        if (auto bounds = paragraphBounds(lo, buffer, maximumRows)) {
            if (bounds->contains(hi)) return *bounds;
            lo = bounds->first;
        }
    }
    if (lines[hi].bidiState().supportMode == BidiSupportMode::implicit) {
        if (auto bounds = paragraphBounds(hi, buffer, maximumRows)) hi = bounds->last;
    }
    return {lo, hi};
}

uint64_t TerminalBidi::layoutRevision(int row, Buffer& buffer, int maximumRows) {
    CircularBufferLineList& lines = buffer.lines();
    if (row < 0 || row >= lines.count()) return 0;
    if (lines[row].bidiState().supportMode == BidiSupportMode::explicit_) return 0;
    auto bounds = paragraphBounds(row, buffer, maximumRows);
    return bounds ? paragraphRevision(*bounds, buffer) : 0;
}

TerminalBidi::CacheStatistics TerminalBidi::cacheStatistics() {
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    CacheStatistics statistics;
    statistics.paragraphEntries = c.paragraphCache.size();
    statistics.contentEntries = c.contentCache.size();
    statistics.paragraphHits = c.paragraphCache.counters().hits;
    statistics.contentHits = c.contentCache.counters().hits;
    statistics.builds = c.builds;
    statistics.paragraph = c.paragraphCache.counters();
    statistics.content = c.contentCache.counters();
    return statistics;
}

void TerminalBidi::emptyCaches() {
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    c.paragraphCache.clear();
    c.contentCache.clear();
    c.paragraphCache.resetCounters();
    c.contentCache.resetCounters();
    c.builds = 0;
}

}  // namespace vantel
