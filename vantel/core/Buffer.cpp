#include "vantel/core/Buffer.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace vantel {

namespace {

int cappedLength(int rows, std::optional<int> scrollback) {
    int64_t total = static_cast<int64_t>(rows) + std::max(scrollback.value_or(0), 0);
    return static_cast<int>(std::min<int64_t>(total, INT_MAX));
}

}  // namespace

Buffer::Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback, BidiPresentationState bidiState)
    : defaultBidiState(bidiState),
      hasScrollback_(scrollback.has_value()),
      cols_(cols),
      rows_(rows),
      scrollback_(scrollback) {
    marginRight = cols - 1;
    scrollBottom_ = rows - 1;
    // Replaced by the owning terminal; a buffer on its own has nothing to scroll its region.
    scroll = [](bool) { noteInconsistency(Inconsistency::bufferScrollMissing); };
    installRing(getCorrectBufferLength(rows));
    setupTabStops(-1, tabStopWidth);
}

Buffer::~Buffer() {
    // Lines can outlive their buffer (snapshots, prompt anchors); make sure none points back here.
    semanticPromptStartLine = nullptr;
    lines_->forEachStoredLine([this](BufferLine& line) {
        if (line.owningBuffer() == this) line.setOwningBuffer(nullptr);
    });
}

void Buffer::installRing(int capacity) {
    lines_ = std::make_unique<CircularBufferLineList>(capacity);
    lines_->makeEmpty = [this](int) {
        LineRef line = BufferLine::make(cols_, std::nullopt, false, defaultBidiState);
        line->setOwningBuffer(this);
        return line;
    };
    setupLinesCallbacks();
}

void Buffer::setupLinesCallbacks() {
    lines_->onLineRecycled = [this](bool hadImages) {
        if (hadImages) --linesWithImagesCount_;
    };
    lines_->onLinePushed = [this](bool hasImages) {
        if (hasImages) ++linesWithImagesCount_;
    };
    lines_->onLineAttached = [this](BufferLine& line) { line.setOwningBuffer(this); };
}

int Buffer::getCorrectBufferLength(int rows) const {
    return hasScrollback_ ? cappedLength(rows, scrollback_) : rows;
}

LineRef Buffer::getBlankLine(const Attribute& attribute, bool isWrapped) const {
    LineRef line = BufferLine::make(cols_, CharData(attribute, 0, 1), isWrapped, defaultBidiState);
    line->setOwningBuffer(const_cast<Buffer*>(this));
    return line;
}

LineRef Buffer::blankLineForReuse(int row, const Attribute& attribute) {
    if (hasAnyImages()) clearImagesFromLine(row);
    LineRef line = lines_->ref(row);
    const CharData blank(attribute, 0, 1);
    if (line->count() != cols_) line->resize(cols_, blank);
    line->clear(attribute);
    line->destroySemanticState();
    line->setWrapped(false);
    line->setRenderMode(BufferLine::RenderLineMode::single);
    line->setBidiState(defaultBidiState);
    return line;
}

CharData Buffer::getNullCell(std::optional<Attribute> attribute) const {
    return CharData(attribute.value_or(Attribute::defaultAttribute), ' ', 1);
}

void Buffer::fillViewportRows(std::optional<Attribute> attribute) {
    if (lines_->count() != 0) return;
    const Attribute attr = attribute.value_or(Attribute::defaultAttribute);
    for (int i = 0; i < rows_; ++i) lines_->push(getBlankLine(attr, false));
}

CharData Buffer::getCharAtBufferRelative(Position position) {
    if (position.row < 0 || position.row >= lines_->count()) return CharData::Null;
    BufferLine& line = (*lines_)[position.row];
    if (position.col < 0 || position.col >= line.count()) return CharData::Null;
    return line[position.col];
}

std::optional<int> Buffer::findRow(int hint, const std::function<bool(const BufferLine&)>& predicate) {
    const int count = lines_->count();
    if (count < 1) return std::nullopt;
    const int start = std::clamp(hint, 0, count - 1);
    if (predicate((*lines_)[start])) return start;
    for (int distance = 1; start - distance >= 0 || start + distance < count; ++distance) {
        if (start + distance < count && predicate((*lines_)[start + distance])) return start + distance;
        if (start - distance >= 0 && predicate((*lines_)[start - distance])) return start - distance;
    }
    return std::nullopt;
}

void Buffer::setupTabStops(int index, int tabStopWidth) {
    if (tabStopWidth <= 0) return;
    if (index == -1) {
        tabStops.assign(std::max(cols_, 0), false);
        for (int i = 0; i < cols_; i += tabStopWidth) tabStops[i] = true;
        return;
    }
    if (static_cast<int>(tabStops.size()) > cols_) tabStops.resize(cols_);
    if (static_cast<int>(tabStops.size()) < cols_) tabStops.resize(cols_, false);
    if (cols_ <= 0) return;
    const int probe = std::clamp(index, 0, cols_ - 1);
    int start = tabStops[probe] ? index : previousTabStop(probe);
    for (int i = std::max(start, 0); i < cols_; i += tabStopWidth) tabStops[i] = true;
}

void Buffer::tabSet(int pos) {
    if (pos >= 0 && pos < static_cast<int>(tabStops.size())) tabStops[pos] = true;
}

void Buffer::tabClear(int pos) {
    if (pos >= 0 && pos < static_cast<int>(tabStops.size())) tabStops[pos] = false;
}

int Buffer::previousTabStop(int index) const {
    int i = index == -1 ? x_ : index;
    i = std::min(i, static_cast<int>(tabStops.size()));
    while (--i > 0) {
        if (tabStops[i]) break;
    }
    return std::min(std::max(i, 0), cols_ - 1);
}

int Buffer::nextTabStop(bool marginMode, int index) const {
    const int limit = marginMode ? marginRight : cols_ - 1;
    int i = index == -1 ? x_ : index;
    while (++i < limit) {
        if (i >= 0 && i < static_cast<int>(tabStops.size()) && tabStops[i]) break;
    }
    return std::min(i, limit);
}

void Buffer::clearImagesFromLine(int row) {
    if (row < 0) return;
    BufferLine& line = (*lines_)[row];
    if (line.hasImages()) {
        --linesWithImagesCount_;
        line.setImages(std::nullopt);
    }
}

void Buffer::attachImage(std::shared_ptr<TerminalImage> image, int row) {
    if (row < 0 || row >= lines_->count()) return;
    BufferLine& line = (*lines_)[row];
    if (!line.hasImages()) ++linesWithImagesCount_;
    line.attach(std::move(image));
}

void Buffer::recalculateLinesWithImagesCount() {
    int count = 0;
    for (int i = 0; i < lines_->count(); ++i) {
        if (BufferLine* line = lines_->peek(i); line && line->hasImages()) ++count;
    }
    linesWithImagesCount_ = count;
}

void Buffer::clear() {
    yDisp_ = 0;
    linesTop_ = 0;
    xBase = 0;
    x_ = 0;
    y_ = 0;
    yBase_ = 0;
    lines_->forEachStoredLine([this](BufferLine& line) {
        if (line.owningBuffer() == this) line.setOwningBuffer(nullptr);
    });
    installRing(getCorrectBufferLength(rows_));
    linesWithImagesCount_ = 0;
    scrollTop_ = 0;
    scrollBottom_ = rows_ - 1;
    marginLeft = 0;
    marginRight = cols_ - 1;
    semanticContent = SemanticContent::none();
    semanticInput = SemanticInputState::idle;
    semanticClickMode = SemanticPromptClickMode::none();
    semanticUsesSpecialCursorKeys = false;
    semanticPromptStartLine = nullptr;
    semanticGroupCounter = 0;
    activeSemanticGroupID = 0;
}

void Buffer::softReset() {
    savedAttr = Attribute::defaultAttribute;
    savedX = 0;
    savedY = 0;
    savedCharset = nullptr;
    marginLeft = 0;
    marginRight = cols_ - 1;
    savedOriginMode = false;
    savedMarginMode = false;
    savedWraparound = true;
    savedReverseWraparound = false;
}

void Buffer::clearScrollback() {
    const int n = yBase_;
    if (n <= 0) return;
    lines_->trimStart(n);
    yBase_ = 0;
    yDisp_ = 0;
}

void Buffer::changeHistorySize(std::optional<int> scrollback) {
    scrollback_ = scrollback;
    hasScrollback_ = scrollback.has_value();
    const int capacity = hasScrollback_ ? cappedLength(rows_, scrollback) : rows_;
    if (capacity == lines_->maxLength()) return;
    if (capacity > lines_->maxLength()) {
        lines_->setMaxLength(capacity);
        return;
    }
    const int excess = lines_->count() - capacity;
    if (excess > 0) {
        lines_->trimStart(excess);
        yBase_ = std::max(yBase_ - excess, 0);
        yDisp_ = std::max(yDisp_ - excess, 0);
    }
    lines_->setMaxLength(capacity);
}

std::optional<Buffer::RawSemanticOrigin> Buffer::rawSemanticOrigin() const {
    const BufferLine* line = semanticPromptStartLine.get();
    if (!line) return std::nullopt;
    for (SemanticPromptKind kind : {SemanticPromptKind::initial, SemanticPromptKind::secondary}) {
        for (const auto& mark : line->semanticMarks()) {
            if (mark.kind == kind) return RawSemanticOrigin{line, kind, mark.column};
        }
    }
    return std::nullopt;
}

}  // namespace vantel
