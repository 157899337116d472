#include <algorithm>

#include "vantel/core/UnicodeUtil.h"
#include "vantel/graphics/KittyPlaceholders.h"
#include "vantel/view/FallbackFontCache.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace {

bool isPowerlineShape(char32_t c) { return c >= 0xE0B0 && c <= 0xE0B6 && ((0x55u >> (c - 0xE0B0)) & 1); }
bool isBoxDrawing(char32_t c) { return c >= 0x2500 && c <= 0x257F; }
bool isBlockElement(char32_t c) { return BlockElementMapping::rects(static_cast<uint32_t>(c)).has_value(); }

// Text that a row in visual order shapes on its own: letters that join (their forms are chosen
// per cell) and clusters, whose parts must not be reordered or joined with their neighbours.
bool shapesAlone(char32_t first, const Character& cluster) {
    auto in = [first](char32_t lo, char32_t hi) { return first >= lo && first <= hi; };
    return cluster.size() > 1 || in(0x0600, 0x06FF) || in(0x0750, 0x077F) || in(0x0870, 0x08FF) ||
           in(0xFB50, 0xFDFF) || in(0xFE70, 0xFEFC);
}

// The segment under construction.
class SegmentBuilder {
public:
    void start(int column, int columnWidth) {
        segment_ = ViewLineSegment{};
        segment_.column = column;
        segment_.columnWidth = columnWidth;
        nextOrdinal_ = 0;
        open_ = true;
    }
    bool isOpen() const { return open_; }
    void close() { open_ = false; }

    int columnWidth() const { return segment_.columnWidth; }
    bool isEmpty() const { return segment_.characterCount == 0; }

    // One piece of text with its attributes; each length is the UTF-16 units of one cell.
    void append(std::u16string_view text, const TextAttributes& attributes, std::span<const int> cellUTF16Lengths) {
        segment_.attributedString.append(text, attributes);
        segment_.characterCount += 1;
        for (int length : cellUTF16Lengths) {
            if (length >= 2) {
                segment_.utf16IsCellIdentity = false;
                segment_.utf16ToCellOrdinal.insert(segment_.utf16ToCellOrdinal.end(), length, nextOrdinal_);
            } else {
                segment_.utf16ToCellOrdinal.push_back(nextOrdinal_);
            }
            ++nextOrdinal_;
        }
    }

    ViewLineSegment take() { return std::move(segment_); }

private:
    ViewLineSegment segment_;
    int nextOrdinal_ = 0;
    bool open_ = false;
};

// Walks one row's cells left to right, gathering runs of equal look into segments of equal width.
class RowBuilder {
public:
    RowBuilder(TerminalView& view, int row, int cols)
        : view_(view), terminal_(view.getTerminal()), row_(row), selection_(view.selectedColumnsRange(row, cols)) {
        pending_.reserve(static_cast<size_t>(std::max(cols, 0)) + 8);
        pendingLengths_.reserve(static_cast<size_t>(std::max(cols, 0)));
    }

    ViewLineInfo build(const BufferLine& line, int cols) {
        if (const TerminalImageList* images = line.images()) info_.images = *images;
        // Without a layout the override is on for rows that hold right-to-left candidates.
        std::shared_ptr<const BidiRowLayout> layout = view_.bidiRowLayout(row_, &directionOverride_);
        int visualColumn = 0;
        if (layout) {
            // Visual order: each visual cell reads its logical cell, and may show another text.
            for (const BidiCell& visual : layout->visualCells) {
                const Character* display = visual.display ? &*visual.display : nullptr;
                addCell(line[visual.logicalCol], visual.logicalCol, visual.width, visualColumn, display, true);
                visualColumn += visual.width;
            }
        } else {
            for (int col = 0; col < cols;) {
                const CharData& cell = line[col];
                int width = cell.width < 2 ? 1 : cell.width;
                addCell(cell, col, width, visualColumn, nullptr, false);
                col += width;
                visualColumn += width;
            }
        }
        flushPending();
        emitSegment();
        return std::move(info_);
    }

private:
    void addCell(const CharData& cell, int col, int width, int visualColumn, const Character* display, bool bidiRow) {
        const CharacterStyle style = cell.attribute.style;
        bool highlighted = isHighlighted(cell, col, width);
        bool selected = selection_ && col < selection_->second && selection_->first < col + width;
        // Concealed text is hidden like blinked-off text; copying still gets it.
        const bool blinks = style.contains(CharacterStyle::blink);
        info_.blinks = info_.blinks || blinks;
        bool hidden = (blinks && !view_.textBlinkVisible()) || style.contains(CharacterStyle::invisible);

        if (!builder_.isOpen() || builder_.columnWidth() != width) {
            flushPending();
            emitSegment();
            builder_.start(visualColumn, width);
        }
        if (!runOpen_ || cell.attribute != runAttribute_ || highlighted != runHighlighted_ ||
            selected != runSelected_ || hidden != runHidden_) {
            flushPending();
            openRun(cell.attribute, highlighted, selected, hidden);
        }

        const char32_t first = display ? displayedScalar(*display) : firstScalar(cell);
        if (view_.customBlockGlyphs() && !hidden && cluster_.size() <= 1 && addCustomGlyph(first, visualColumn, width)) {
            return;
        }
        if (first == kittyPlaceholderCharacter && addPlaceholder(cell, col)) return;
        if (hidden) {
            pending_.push_back(u' ');
            pendingLengths_.push_back(1);
            return;
        }
        if (bidiRow && shapesAlone(first, cluster_)) {
            addShapedAlone(first, visualColumn, width);
            return;
        }
        size_t before = pending_.size();
        if (cluster_.empty()) {
            appendUtf16(pending_, first);
            if (first >= 0x100 && UnicodeUtil::prefersTextPresentation(Character(1, first))) pending_.push_back(u'\uFE0E');
        } else {
            for (char32_t c : cluster_) appendUtf16(pending_, c);
            if (UnicodeUtil::prefersTextPresentation(cluster_)) pending_.push_back(u'\uFE0E');
        }
        pendingLengths_.push_back(static_cast<int>(pending_.size() - before));
    }

    // The cell's first scalar; a cell of several scalars also leaves them (at most
    // maxCellScalars) in cluster_, else cluster_ is empty.
    char32_t firstScalar(const CharData& cell) {
        cluster_.clear();
        if (cell.code == 0) return U' ';
        if (cell.code <= CharData::maxRune) {
            return isUnicodeScalar(static_cast<uint32_t>(cell.code)) ? static_cast<char32_t>(cell.code) : U' ';
        }
        cluster_ = terminal_.character(cell.code);
        if (cluster_.size() > TerminalView::maxCellScalars) cluster_.resize(TerminalView::maxCellScalars);
        if (cluster_.empty()) return U' ';
        char32_t first = cluster_.front();
        if (cluster_.size() == 1) cluster_.clear();
        return first;
    }

    // The same for the text a bidi layout shows in place of the cell's own.
    char32_t displayedScalar(const Character& display) {
        cluster_.clear();
        if (display.empty()) return U' ';
        if (display.size() > 1) cluster_.assign(display, 0, TerminalView::maxCellScalars);
        return display.front();
    }

    // A piece of its own in a segment of its own, in the font that has its glyphs.
    void addShapedAlone(char32_t first, int visualColumn, int width) {
        flushPending();
        emitSegment();
        builder_.start(visualColumn, width);
        const Character text = cluster_.empty() ? Character(1, first) : cluster_;
        std::u16string units;
        for (char32_t c : text) appendUtf16(units, c);
        TextAttributes attributes = run_;
        attributes.font = resolvedFont(text, run_.font ? run_.font : view_.fontSet().normal);
        const int lengths[] = {static_cast<int>(units.size())};
        builder_.append(units, attributes, lengths);
    }

    bool isHighlighted(const CharData& cell, int col, int width) const {
        auto hovered = [&] {
            if (!view_.linkHighlightRange()) return false;
            for (const auto& range : *view_.linkHighlightRange()) {
                if (range.row == row_ && range.range.start < range.range.end && range.range.start < col + width &&
                    col < range.range.end) {
                    return true;
                }
            }
            return false;
        };
        switch (view_.linkHighlightMode()) {
        case LinkHighlightMode::always: return cell.hasPayload();
        case LinkHighlightMode::alwaysWithModifier: return cell.hasPayload() && view_.commandActive();
        case LinkHighlightMode::hover: return hovered();
        case LinkHighlightMode::hoverWithModifier: return view_.commandActive() && hovered();
        }
        return false;
    }

    void openRun(const Attribute& attribute, bool highlighted, bool selected, bool hidden) {
        runOpen_ = true;
        runAttribute_ = attribute;
        runHighlighted_ = highlighted;
        runSelected_ = selected;
        runHidden_ = hidden;
        run_ = view_.getAttributes(attribute, highlighted);
        // The text is already in the order it shows in.
        run_.leftToRightOverride = directionOverride_;
        if (selected) {
            Rgba foreground = view_.selectedTextForegroundColor();
            run_.selectionBackground = view_.selectedTextBackgroundColor();
            run_.foreground = foreground;
            if (run_.underlineColor) run_.underlineColor = foreground;
            if (run_.strikethroughColor) run_.strikethroughColor = foreground;
        }
        if (hidden) {
            run_.foreground = Rgba{0, 0, 0, 0};
            run_.underlineStyle = UnderlineStyle::none;
            run_.underlineColor.reset();
            run_.strikethrough = false;
            run_.strikethroughColor.reset();
        }
    }

    // Box drawing, block elements and powerline shapes become items; the cell keeps its place
    // in the text as a space.
    bool addCustomGlyph(char32_t c, int visualColumn, int width) {
        bool powerline = isPowerlineShape(c), box = isBoxDrawing(c), block = isBlockElement(c);
        if (!powerline && !box && !block) return false;
        flushPending();
        Rgba color = run_.foreground ? *run_.foreground : view_.effectiveNativeForegroundColor();
        auto code = static_cast<uint32_t>(c);
        if (powerline) {
            info_.powerlineGlyphs.push_back(PowerlineRenderItem{visualColumn, width, code, color});
        } else if (box) {
            info_.boxDrawings.push_back(BoxDrawingRenderItem{visualColumn, width, code, color});
        } else {
            info_.blockElements.push_back(
                BlockElementRenderItem{visualColumn, width, code, *BlockElementMapping::rects(code), color});
        }
        appendSpace();
        return true;
    }

    bool addPlaceholder(const CharData& cell, int col) {
        Character character = cluster_.empty() ? Character(1, kittyPlaceholderCharacter) : cluster_;
        auto decoded = KittyPlaceholderDecoder::decode(character, cell.attribute, row_, col, previousPlaceholder_,
                                                       previousPlaceholderAttribute_);
        if (!decoded) return false;
        flushPending();
        info_.kittyPlaceholders.push_back(*decoded);
        previousPlaceholder_ = decoded;
        previousPlaceholderAttribute_ = cell.attribute;
        appendSpace();
        return true;
    }

    void appendSpace() {
        static constexpr int one[] = {1};
        builder_.append(u" ", run_, one);
    }

    void flushPending() {
        if (!pending_.empty() && runOpen_ && builder_.isOpen()) builder_.append(pending_, run_, pendingLengths_);
        pending_.clear();
        pendingLengths_.clear();
    }

    void emitSegment() {
        if (builder_.isOpen() && !builder_.isEmpty()) info_.segments.push_back(builder_.take());
        builder_.close();
    }

    using Rgba = platform::gfx::Rgba;

    TerminalView& view_;
    Terminal& terminal_;
    int row_;
    std::optional<std::pair<int, int>> selection_;
    ViewLineInfo info_;
    SegmentBuilder builder_;
    std::u16string pending_;
    std::vector<int> pendingLengths_;
    Character cluster_;
    bool runOpen_ = false;
    bool directionOverride_ = false;
    Attribute runAttribute_;
    bool runHighlighted_ = false, runSelected_ = false, runHidden_ = false;
    TextAttributes run_;
    std::optional<KittyPlaceholderCell> previousPlaceholder_;
    std::optional<Attribute> previousPlaceholderAttribute_;
};

}  // namespace

std::optional<std::pair<int, int>> TerminalView::selectedColumnsRange(int row, int cols) const {
    if (!selection_ || !selection_->active()) return std::nullopt;
    const Position start = selection_->start(), end = selection_->end();
    const int lastColumn = terminal_->cols() - 1;
    int location = 0, length = 0;
    if (start.row == row && end.row == row) {
        if (start.col < end.col) {
            location = start.col;
            length = end.col - start.col + (end.col == lastColumn ? 1 : 0);
        } else if (end.col < start.col) {
            location = end.col;
            length = start.col - end.col;
        }
    } else if (start.row != end.row) {
        // Across rows the earlier end starts the selection, whichever way it was dragged.
        const Position first = start.row < end.row ? start : end, last = start.row < end.row ? end : start;
        if (row == first.row) {
            location = first.col, length = cols - first.col;
        } else if (row > first.row && row < last.row) {
            location = 0, length = cols;
        } else if (row == last.row) {
            location = 0, length = last.col + (last.col == lastColumn ? 1 : 0);
        }
    }
    if (length == 0) return std::nullopt;
    int lower = std::max(0, std::min(location, cols));
    int upper = std::min(location + length, cols);
    if (lower >= upper) return std::nullopt;
    return std::make_pair(lower, upper);
}

ViewLineInfo TerminalView::buildAttributedString(int row, const BufferLine& line, int cols) {
    return RowBuilder(*this, row, cols).build(line, cols);
}

}  // namespace vantel
