// Prompt groups and marks of shell integration on one buffer.
#include <algorithm>

#include "vantel/core/Buffer.h"

namespace vantel {

namespace {

bool isOpeningKind(SemanticPromptKind kind) {
    return kind == SemanticPromptKind::initial || kind == SemanticPromptKind::secondary;
}

bool hasAnyOpeningMark(const BufferLine& line) {
    const auto& marks = line.semanticMarks();
    return std::any_of(marks.begin(), marks.end(), [](const SemanticMark& m) { return isOpeningKind(m.kind); });
}

bool hasGroupOpeningMark(const BufferLine& line, uint64_t group) {
    const auto& marks = line.semanticMarks();
    return std::any_of(marks.begin(), marks.end(),
                       [&](const SemanticMark& m) { return isOpeningKind(m.kind) && m.group == group; });
}

std::optional<uint64_t> firstMarkGroup(const BufferLine& line, SemanticPromptKind kind) {
    for (const auto& mark : line.semanticMarks()) {
        if (mark.kind == kind) return mark.group;
    }
    return std::nullopt;
}

// The group of the row's initial mark; its secondary mark counts only on the active origin row.
std::optional<uint64_t> originMarkGroup(const BufferLine& line, int row, std::optional<int> activeOrigin) {
    if (auto group = firstMarkGroup(line, SemanticPromptKind::initial)) return group;
    if (activeOrigin == row) return firstMarkGroup(line, SemanticPromptKind::secondary);
    return std::nullopt;
}

// The group of the first mark that continues a prompt rather than opening one.
std::optional<uint64_t> joiningMarkGroup(const BufferLine& line) {
    for (const auto& mark : line.semanticMarks()) {
        if (mark.kind != SemanticPromptKind::initial && mark.group != 0) return mark.group;
    }
    return std::nullopt;
}

}  // namespace

void Buffer::beginSemanticPromptGroup(int originRow) {
    if (originRow < 0 || originRow >= lines_->count()) return;
    // Ids run 1 ... 2^64-1 and wrap to 1: 0 always means "no group".
    semanticGroupCounter = semanticGroupCounter + 1 == 0 ? 1 : semanticGroupCounter + 1;
    activeSemanticGroupID = semanticGroupCounter;
    semanticPromptStartLine = lines_->ref(originRow);
    semanticPromptStartRowCache = originRow;
}

bool Buffer::canReuseSemanticGroup(int row) {
    if (semanticInput != SemanticInputState::prompt && semanticInput != SemanticInputState::armed) return false;
    if (row < 0 || row >= lines_->count()) return false;
    auto start = semanticPromptStartRow();
    if (!start) return false;
    const BufferLine& line = (*lines_)[row];
    if (&(*lines_)[*start] != &line) return false;
    return hasGroupOpeningMark(line, activeSemanticGroupID);
}

void Buffer::setSemanticMark(SemanticPromptKind kind, int row, int column) {
    if (row < 0 || row >= lines_->count() || cols_ < 1) return;
    BufferLine& line = (*lines_)[row];
    if (line.count() < 1) return;
    line.setSemanticMark(kind, std::clamp(column, 0, cols_ - 1), activeSemanticGroupID);
}

std::optional<int> Buffer::semanticPromptStartRow() {
    const BufferLine* start = semanticPromptStartLine.get();
    if (!start) return std::nullopt;
    const int count = lines_->count();
    const int cached = semanticPromptStartRowCache;
    if (cached >= 0 && cached < count && &(*lines_)[cached] == start && hasAnyOpeningMark(*start)) return cached;

    ++semanticPromptRowScanCount;
    auto found = findRow(cached, [start](const BufferLine& line) { return &line == start; });
    if (found && hasAnyOpeningMark(*start)) {
        semanticPromptStartRowCache = *found;
        return found;
    }

    // The start line left the ring or lost its marks: bind to the nearest row that still opens
    // the active group, looking upward from the cursor first.
    if (count > 0) {
        const int cursorRow = std::clamp(y_ + yBase_, 0, count - 1);
        auto opens = [this](int row) { return hasGroupOpeningMark((*lines_)[row], activeSemanticGroupID); };
        std::optional<int> rebound;
        for (int row = cursorRow; row >= 0 && !rebound; --row) {
            if (opens(row)) rebound = row;
        }
        for (int row = cursorRow + 1; row < count && !rebound; ++row) {
            if (opens(row)) rebound = row;
        }
        if (rebound) {
            semanticPromptStartLine = lines_->ref(*rebound);
            semanticPromptStartRowCache = *rebound;
            return rebound;
        }
    }
    semanticPromptStartLine = nullptr;
    return std::nullopt;
}

std::optional<Position> Buffer::activeSemanticPromptOrigin() {
    auto row = semanticPromptStartRow();
    if (!row || cols_ < 1) return std::nullopt;
    if ((*lines_)[*row].count() < 1) return std::nullopt;
    auto origin = rawSemanticOrigin();
    if (!origin) return std::nullopt;
    return Position{std::clamp(origin->column, 0, cols_ - 1), *row};
}

std::optional<Position> Buffer::semanticPromptRelativeOrigin(Position position) {
    auto origin = activeSemanticPromptOrigin();
    if (!origin || origin->row > position.row) return std::nullopt;
    Position result = *origin;
    const int last = std::min(position.row, lines_->count() - 1);
    for (int row = origin->row; row <= last; ++row) {
        for (const auto& mark : (*lines_)[row].semanticMarks()) {
            if (mark.kind == SemanticPromptKind::secondary && mark.group == activeSemanticGroupID &&
                (mark.column <= position.col || row < position.row)) {
                result = Position{mark.column, row};
            }
        }
    }
    return result;
}

std::vector<SemanticPromptAnchor> Buffer::semanticPromptMarks(int row) {
    std::vector<SemanticPromptAnchor> anchors;
    if (row < 0 || row >= lines_->count() || cols_ < 1) return anchors;
    const BufferLine& line = (*lines_)[row];
    if (line.count() < 1) return anchors;
    for (const auto& mark : line.semanticMarks()) {
        anchors.push_back(SemanticPromptAnchor{Position{std::clamp(mark.column, 0, cols_ - 1), row}, mark.kind});
    }
    return anchors;
}

std::optional<SemanticPromptKind> Buffer::semanticRowKind(int row) {
    if (row < 0 || row >= lines_->count()) return std::nullopt;
    const auto start = semanticPromptStartRow();
    const BufferLine& line = (*lines_)[row];
    if (originMarkGroup(line, row, start)) return SemanticPromptKind::initial;
    if (joiningMarkGroup(line)) return SemanticPromptKind::continuation;

    // Walk up through soft wraps and hard continuations of one group to the row that owns them.
    std::optional<uint64_t> hard;
    for (int r = row; r >= 1; --r) {
        const BufferLine& current = (*lines_)[r];
        if (!current.isWrapped()) {
            auto group = current.semanticHardContinuationGroup();
            if (!group || (hard && *hard != *group)) return std::nullopt;
            hard = group;
        }
        const BufferLine& above = (*lines_)[r - 1];
        auto owner = originMarkGroup(above, r - 1, start);
        if (!owner) owner = joiningMarkGroup(above);
        if (owner) {
            if (!hard || *hard == *owner) return SemanticPromptKind::continuation;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool Buffer::rowContinuesActiveGroupHard(int row) {
    if (row < 0 || row >= lines_->count() || activeSemanticGroupID == 0) return false;
    const BufferLine& line = (*lines_)[row];
    if (line.semanticHardContinuationGroup() == activeSemanticGroupID) return true;
    return joiningMarkGroup(line) == activeSemanticGroupID;
}

}  // namespace vantel
