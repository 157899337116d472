// Print path: the printable runs the parser hands over become cells, in three steps.
//   decode:   every byte goes through the one UTF-8 decoder (Utf8.h); a character cut off at
//             the end of a run waits in the put-back bytes for the next run.
//   classify: a run of printable ASCII, a character that takes a cell (or two) of its own, a
//             character that joins the cell before the cursor, or one that is dropped.
//   write:    one cell writer (CellWriter.h) makes every new cell from a template of the
//             attribute, hyperlink and semantic content: whole stretches of a row of ASCII and
//             plain characters in the fast steps, one character with wrapping, insert mode
//             and spacers in Buffer::insertCharacter. (A join rewrites the cell it joins.)
// The common cases never leave the fast steps: runs of ASCII (writeAsciiInRow, writeAscii),
// and runs of plain characters with joins seen before (writeRun).
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "vantel/core/ByteScan.h"
#include "vantel/core/CellWriter.h"
#include "vantel/core/GraphemeBreaker.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/UnicodeUtil.h"
#include "vantel/core/Utf8.h"

namespace vantel {

namespace {

constexpr char32_t zeroWidthJoiner = 0x200D;
constexpr char32_t textPresentationSelector = 0xFE0E;
constexpr char32_t emojiPresentationSelector = 0xFE0F;
// The most scalars one cell holds; marks past them are dropped, so a flood of marks on one
// character costs neither memory nor time per mark.
constexpr size_t maximumClusterScalars = 32;

bool isRegionalIndicator(char32_t s) { return s >= 0x1F1E6 && s <= 0x1F1FF; }

// Selectors, joiners and modifiers that always belong to the character before them.
bool alwaysJoins(char32_t s) {
    return s == zeroWidthJoiner || (s >= 0xFE00 && s <= 0xFE0F) || (s >= 0x180B && s <= 0x180D) || s == 0x180F ||
           (s >= 0x1F3FB && s <= 0x1F3FF) || (s >= 0xE0100 && s <= 0xE01EF);
}

int scalarWidth(char32_t s) {
    return s < UnicodeUtil::lowPlaneSize ? UnicodeUtil::lowPlaneWidths()[s] : UnicodeUtil::computeColumnWidth(s);
}

// How the print path treats a scalar: its width when it always takes a cell of its own,
// else `joinsOrSkips` (zero or negative width, combining class, selectors, joiners,
// modifiers, regional indicators). Built 256 scalars at a time, on first use.
constexpr uint8_t joinsOrSkips = 0xFF;
constexpr char32_t printClassLimit = 0x40000;

uint8_t computePrintClass(char32_t s) {
    const int width = scalarWidth(s);
    if (width <= 0 || alwaysJoins(s) || isRegionalIndicator(s)) return joinsOrSkips;
    if (s >= 0x300 && UnicodeUtil::canonicalCombiningClass(s) != 0) return joinsOrSkips;
    return static_cast<uint8_t>(width);
}

uint8_t printClass(char32_t s) {
    if (s >= printClassLimit) return computePrintClass(s);
    static std::array<std::atomic<const uint8_t*>, printClassLimit / 256> blocks{};
    std::atomic<const uint8_t*>& slot = blocks[s >> 8];
    const uint8_t* block = slot.load(std::memory_order_acquire);
    if (!block) {
        auto* fresh = new uint8_t[256];
        for (char32_t c = 0; c < 256; ++c) fresh[c] = computePrintClass((s & ~char32_t(0xFF)) | c);
        const uint8_t* expected = nullptr;
        if (slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
            block = fresh;
        } else {
            delete[] fresh;  // another thread built it first
            block = expected;
        }
    }
    return block[s & 0xFF];
}

// The end of the run of printable ASCII (0x20-0x7E) that starts at start, looking at most
// `limit` bytes ahead.
size_t printableAsciiEnd(std::span<const uint8_t> data, size_t start, size_t limit = SIZE_MAX) {
    const size_t length = limit < data.size() - start ? start + limit : data.size();
    return bytescan::printableAsciiEnd(data.data(), start, length);
}

// The width of the character at data[i...] when it is printable ASCII or a complete
// character that takes a cell of its own (the kinds writeRun prints), else 0.
int plainCharacterWidth(std::span<const uint8_t> data, size_t i) {
    const uint8_t lead = data[i];
    if (lead >= 0x20 && lead < 0x7F) return 1;
    if (lead < 0x80) return 0;
    const utf8::Sequence sequence = utf8::decode(data.data() + i, data.size() - i);
    if (!sequence.isScalar()) return 0;
    const uint8_t printWidth = printClass(sequence.scalar);
    return printWidth == joinsOrSkips ? 0 : printWidth;
}

}  // namespace

void Terminal::handlePrint(std::span<const uint8_t> data, bool printableAscii) {
    Buffer& b = *buffer_;
    size_t i = 0;
    if (printableAscii && putbackBuffer_.empty() && !b.insertMode && !(charset && charset->size > 0)) {
        if (writeAsciiInRow(data)) return;
        i = writeAscii(data);
        if (i == data.size()) return;
    }
    updateRange(b.y());
    if (!putbackBuffer_.empty()) i = finishPutback(data);
    const size_t n = data.size();
    while (i < n) {
        i = writeRun(data, i);
        if (i < n) i = printCharacter(data, i);
    }
    if (!b.wraparound) holdCursorAtRightMargin();
    updateRange(b.y());
}

// The general way for printAsciiCharacter (TerminalPrintOne.h), kept out of its short way.
void Terminal::printAsciiCharacterByRun(uint8_t c) { handlePrint(std::span<const uint8_t>(&c, 1), true); }

// A run of printable ASCII that fits the rest of the cursor's row: the commonest run of all,
// words and lines between escape sequences, written at once. False leaves it to writeAscii.
[[gnu::always_inline]] inline bool Terminal::writeAsciiInRow(std::span<const uint8_t> data) {
    Buffer& b = *buffer_;
    const int x = b.x();
    const int right = b.marginMode ? b.marginRight : cols_ - 1;
    if (data.size() > static_cast<size_t>(std::max(right - x + 1, 0))) return false;
    const int row = b.yBase() + b.y();
    if (row < 0 || row >= b.lines().count()) return false;
    BufferLine& line = b.lines()[row];
    const int count = static_cast<int>(data.size());
    if (x + count > line.count()) return false;
    const TinyAtom payload = activeHyperlink ? resolveActiveHyperlink().value_or(TinyAtom()) : TinyAtom();
    cellWriter(payload, b.semanticContent.code()).write(line.mutableCells(x, count), data.data(), count);
    b.setX(x + count);
    if (!b.wraparound) holdCursorAtRightMargin();
    updateRange(b.y());
    return true;
}

// A run of printable ASCII over several rows, as whole stretches of cells per row. Returns
// how many bytes it wrote: all of them unless the cursor is held at the margin without
// wraparound or a row is narrower than the screen, where the other steps take over.
size_t Terminal::writeAscii(std::span<const uint8_t> data) {
    Buffer& b = *buffer_;
    const int startY = b.y();
    // The first row is marked before a wrap at the region's bottom scrolls it away, the last
    // one after: both hold new text, and with scroll-back their numbers differ.
    updateRange(startY);
    const int limit = b.marginMode ? b.marginRight : cols_ - 1;
    const TinyAtom payload = activeHyperlink ? resolveActiveHyperlink().value_or(TinyAtom()) : TinyAtom();
    const CellWriter& writer = cellWriter(payload, b.semanticContent.code());
    const uint8_t* bytes = data.data();
    const size_t n = data.size();
    size_t i = 0;
    while (i < n) {
        int x = b.x();
        if (x > limit) {
            if (!b.wraparound) break;
            b.wrapCursorToNextRow();
            x = b.x();
        }
        const int row = b.yBase() + b.y();
        if (row < 0 || row >= b.lines().count()) break;
        BufferLine& line = b.lines()[row];
        const int right = std::min(limit, line.count() - 1);
        if (x > right) break;
        const int count = static_cast<int>(std::min(n - i, static_cast<size_t>(right - x + 1)));
        writer.write(line.mutableCells(x, count), bytes + i, count);
        b.setX(x + count);
        i += static_cast<size_t>(count);
    }
    if (i == n && !b.wraparound) holdCursorAtRightMargin();
    updateRange(b.y());
    return i;
}

const CellWriter& Terminal::cellWriter(TinyAtom payload, uint8_t semanticCode) {
    return cellWriters_->writerFor(curAttr, payload, semanticCode);
}

// Without autowrap a write into the last usable column leaves the cursor on that column. The
// cell there, not the one left of the cursor, stays the one a mark joins and REP repeats.
void Terminal::holdCursorAtRightMargin() {
    Buffer& b = *buffer_;
    const int right = b.marginMode ? b.marginRight : cols_ - 1;
    if (b.x() != right + 1) return;
    b.setX(right);
    const int row = b.yBase() + b.y();
    heldLine_ = row >= 0 && row < b.lines().count() ? &b.lines()[row] : nullptr;
    heldColumn_ = right;
    heldGeneration_ = heldLine_ ? heldLine_->generation() : 0;
}

// Held only while the row is as the write left it: a later write that merely advanced the
// cursor to the last column does not make the last column's cell the one before the cursor.
bool Terminal::cursorHeldOn(const BufferLine& line) const {
    return &line == heldLine_ && line.generation() == heldGeneration_;
}

int Terminal::columnBeforeCursor(const Buffer& buffer, const BufferLine& line) const {
    const int x = buffer.x();
    if (!buffer.wraparound && x == heldColumn_ && cursorHeldOn(line) && x < line.count()) {
        // Still the written cell, or the second half of a wide one.
        const CharData& cell = line[x];
        if (cell.code != 0 || cell.width == 0) return x;
    }
    return x - 1;
}

// Completes the character kept from the previous run; returns how many bytes of data it used.
size_t Terminal::finishPutback(std::span<const uint8_t> data) {
    std::array<uint8_t, 4> bytes{};
    const size_t kept = putbackBuffer_.size();
    const size_t more = std::min(bytes.size() - kept, data.size());
    std::copy(putbackBuffer_.begin(), putbackBuffer_.end(), bytes.begin());
    std::copy_n(data.begin(), more, bytes.begin() + kept);
    const utf8::Sequence sequence = utf8::decode(bytes.data(), kept + more);
    if (sequence.isCut()) {
        // Still incomplete; keep waiting.
        putbackBuffer_.insert(putbackBuffer_.end(), data.begin(), data.begin() + more);
        return more;
    }
    putbackBuffer_.clear();
    if (sequence.isScalar()) printScalar(sequence.scalar);
    else printSingleByte(bytes[0]);
    // A byte that broke the character is read again as the start of the next.
    return sequence.length - kept;
}

// One character that writeRun left: decoded, then printed by the general rules.
size_t Terminal::printCharacter(std::span<const uint8_t> data, size_t i) {
    const utf8::Sequence sequence = utf8::decode(data.data() + i, data.size() - i);
    if (sequence.isCut()) {
        // Cut off by the end of the run: the next run may complete it.
        putbackBuffer_.assign(data.begin() + static_cast<std::ptrdiff_t>(i), data.end());
    } else if (sequence.isScalar() && sequence.scalar >= 0x80) {
        printScalar(sequence.scalar);
    } else {
        // ASCII, or the lead byte of a broken sequence, which shows as itself (a byte that
        // broke the sequence starts the next one).
        printSingleByte(data[i]);
    }
    return i + sequence.length;
}

bool Terminal::cellBeforeCursorEndsWithJoiner() {
    auto target = combiningTarget(*buffer_);
    if (!target) return false;
    char32_t scratch;
    const std::u32string_view text = codeText(buffer_->lines()[target->first][target->second].code, scratch);
    return !text.empty() && text.back() == zeroWidthJoiner;
}

// Writes printable ASCII and well-formed characters that each take a cell of their own,
// and joins onto them that were seen before, row by row, wrapping as needed; returns where
// it stopped (start when it wrote nothing). Other joining characters, broken UTF-8,
// controls, translated sets, insert mode and a cursor held at the margin without wraparound
// are left to printCharacter.
size_t Terminal::writeRun(std::span<const uint8_t> data, size_t start) {
    Buffer& b = *buffer_;
    if (b.insertMode || (charset && charset->size > 0)) return start;
    const size_t n = data.size();
    const uint8_t* bytes = data.data();
    const int limit = b.marginMode ? b.marginRight : cols_ - 1;
    const TinyAtom payload = activeHyperlink ? resolveActiveHyperlink().value_or(TinyAtom()) : TinyAtom();
    const CellWriter& writer = cellWriter(payload, b.semanticContent.code());
    const bool regionalWide = options_.regionalIndicatorWidth == RegionalIndicatorWidth::wide;

    // Whether the cell before the cursor was looked at: a character that is not ASCII joins
    // it when it ends with a joiner. Only needed before this run wrote anything.
    bool beforeCursorChecked = false;
    size_t i = start;
    while (i < n) {
        if (b.x() > limit) {
            // Only a character that takes a cell wraps; a joining one attaches to the last column.
            // One wider than the margins leaves the wrap to the general path, which wraps once.
            const int width = plainCharacterWidth(data, i);
            if (!b.wraparound || width == 0 || (b.marginMode ? b.marginLeft : 0) + width - 1 > limit) break;
            if (bytes[i] >= 0x80 && !beforeCursorChecked && cellBeforeCursorEndsWithJoiner()) break;
            b.wrapCursorToNextRow();
            beforeCursorChecked = true;  // a fresh row: nothing to join
        }
        const int row = b.yBase() + b.y();
        if (row < 0 || row >= b.lines().count()) break;
        if (!beforeCursorChecked && bytes[i] >= 0x80) {
            beforeCursorChecked = true;
            if (cellBeforeCursorEndsWithJoiner()) break;
        }
        BufferLine& line = b.lines()[row];
        const int right = std::min(limit, line.count() - 1);
        const int firstX = b.x();
        int x = firstX;
        if (x > right) break;
        const size_t rowStart = i;
        // The cell this run wrote last on this row: what a mark or modifier attaches to.
        int lastX = -1;
        // Whether that cell ends with a joiner, so the next character may join it too.
        bool afterJoiner = false;
        bool stop = false;
        // Written directly; the line is told what changed once, below.
        CharData* cells = line.cellsForWriting(firstX);
        while (i < n && x <= right) {
            const uint8_t lead = bytes[i];
            if (lead >= 0x20 && lead < 0x7F) {
                afterJoiner = false;
                if (i + 1 == n || static_cast<uint8_t>(bytes[i + 1] - 0x20) >= 0x5F) {
                    // A lone ASCII character, like the space between words of other scripts.
                    writer.writeOne(cells + x, lead, 1);
                    lastX = x++;
                    ++i;
                    continue;
                }
                const size_t end = printableAsciiEnd(data, i, static_cast<size_t>(right - x + 1));
                const int count = static_cast<int>(end - i);
                writer.write(cells + x, bytes + i, count);
                x += count;
                lastX = x - 1;
                i = end;
                continue;
            }
            const char32_t scalar = utf8::decode(bytes + i, n - i).scalar;
            if (scalar >= utf8::Sequence::invalid) break;
            const uint32_t length = utf8::wellFormedLength(lead);
            uint8_t width = printClass(scalar);
            if (isRegionalIndicator(scalar) && lastX >= 0 && !afterJoiner && regionalWide &&
                !isLoneRegionalIndicator(cells[lastX].code)) {
                // The first half of a flag prints as a wide character; the second joins it.
                width = 2;
            }
            if (width == joinsOrSkips || afterJoiner) {
                // Joins seen before, onto a character of this run, stay here; the rest takes
                // the general path.
                if (lastX < 0 || !joinInRun(cells, lastX, x, right, scalar, afterJoiner)) break;
                i += length;
                continue;
            }
            if (x + width - 1 > right) {
                // Nothing written on this row yet: the general path wraps (or drops) it.
                stop = x == firstX && rowStart == i;
                break;
            }
            writer.writeOne(cells + x, scalar <= 0xFFFF ? static_cast<int32_t>(scalar) : scalarCode(scalar),
                            static_cast<int8_t>(width));
            // The second half of a wide character: the same cell without code or width.
            if (width == 2) writer.writeSpacer(cells + x + 1);
            lastX = x;
            afterJoiner = false;
            x += width;
            i += length;
        }
        line.noteCellsWritten(firstX, x - firstX);
        if (x != firstX) {
            b.setX(x);
            beforeCursorChecked = true;  // the cell before the cursor is this run's own
        }
        if (stop || i == rowStart || i == n) break;
        // Stopped before the right limit: something the general path must handle.
        if (x <= right) break;
    }
    return i;
}

// Joins s onto cells[lastX], written by the current fast run, as joinWithTarget would, when
// the join is known from before; x advances when an emoji selector widens the cell. False
// leaves everything as it was, for the general path.
bool Terminal::joinInRun(CharData* cells, int lastX, int& x, int right, char32_t s, bool& afterJoiner) {
    if (s == textPresentationSelector) return false;
    CharData& cell = cells[lastX];
    // Only the second half of a flag joins, and only where that leaves the width alone.
    if (isRegionalIndicator(s) &&
        (options_.regionalIndicatorWidth != RegionalIndicatorWidth::wide || !isLoneRegionalIndicator(cell.code))) {
        return false;
    }
    const uint64_t key = static_cast<uint64_t>(static_cast<uint32_t>(cell.code)) << 21 | s;
    const KnownJoin* cached = knownJoin(key);
    if (!cached || cached->code < 0) return false;
    if (s == emojiPresentationSelector) {
        if (cell.code >= CharData::maxRune) return false;
        // After a character without two presentations the selector means nothing.
        if (!UnicodeUtil::isPresentationSequenceBase(static_cast<char32_t>(cell.code))) return true;
        if (cell.width != 2) {
            if (lastX + 1 != x || x > right) return false;
            cells[x] = CharData(0, 0, cell.payload, cell.semanticContentCode, cell.attribute);
            cell.width = 2;
            ++x;
        }
    }
    cell.code = cached->code;
    afterJoiner = s == zeroWidthJoiner;
    return true;
}

bool Terminal::isLoneRegionalIndicator(int32_t cellCode) const {
    char32_t scratch;
    const std::u32string_view text = codeText(cellCode, scratch);
    return text.size() == 1 && isRegionalIndicator(text[0]);
}

void Terminal::printSingleByte(uint8_t byte) {
    if (byte < 0x7F && charset && charset->size > 0) {
        if (char32_t replacement = charset->translate(byte)) {
            buffer_->insertCharacter(CharData(curAttr, scalarCode(replacement), 1), payloadResolver());
            return;
        }
    }
    const int width = UnicodeUtil::lowPlaneWidths()[byte];
    if (width > 0) buffer_->insertCharacter(CharData(curAttr, byte, static_cast<int8_t>(width)), payloadResolver());
}

void Terminal::printScalar(char32_t s) {
    int width = scalarWidth(s);
    if (width < 0) return;
    const bool regional = isRegionalIndicator(s);
    const bool narrowRegional = options_.regionalIndicatorWidth == RegionalIndicatorWidth::narrow;
    if (width == 2 && regional && narrowRegional) width = 1;

    if (auto target = combiningTarget(*buffer_)) {
        bool joins = width == 0 || alwaysJoins(s) || (s >= 0x300 && UnicodeUtil::canonicalCombiningClass(s) != 0);
        if (!joins) {
            char32_t scratch;
            const CharData& cell = buffer_->lines()[target->first][target->second];
            std::u32string_view text = codeText(cell.code, scratch);
            joins = (!text.empty() && text.back() == zeroWidthJoiner) ||
                    (regional && text.size() == 1 && isRegionalIndicator(text[0]));
        }
        if (joins && joinWithTarget(s, target->first, target->second)) return;
    }
    if (width == 0) return;
    buffer_->insertCharacter(CharData(curAttr, scalarCode(s), static_cast<int8_t>(width)), payloadResolver());
}

// Attaches s to the cell at ring row `row`, column `col`. False when the two do not form
// one grapheme cluster, so s is printed on its own.
bool Terminal::joinWithTarget(char32_t s, int row, int col) {
    Buffer& b = *buffer_;
    BufferLine& line = b.lines()[row];
    CharData cell = line[col];
    // A join changes the row, not where the cursor is held.
    const bool held = cursorHeldOn(line);
    char32_t scratch;
    std::u32string_view text;
    const bool selector = s == textPresentationSelector || s == emojiPresentationSelector;
    // The cell's text is only needed to decide a join not seen before, and for selectors.
    if (selector) text = codeText(cell.code, scratch);
    const uint64_t key = static_cast<uint64_t>(static_cast<uint32_t>(cell.code)) << 21 | s;
    int32_t joinedCode;
    if (const KnownJoin* cached = knownJoin(key)) {
        if (cached->code < 0) return false;
        joinedCode = cached->code;
    } else {
        ++joinsDecided_;
        if (!selector) text = codeText(cell.code, scratch);
        if (!isSingleGraphemeCluster(text, s)) {
            rememberJoin(key, -1);
            return false;
        }
        if (text.size() >= maximumClusterScalars) {
            // Dropped; remembered as a join that changes nothing, so the next one is a cache hit.
            // Selectors and flags may change the width on a hit, so they are decided each time.
            if (!selector && !isRegionalIndicator(s)) rememberJoin(key, cell.code);
            return true;
        }
        Character joined(text);
        joined.push_back(s);
        auto interned = internedCode(joined);
        // No room for another cluster: the joining character is dropped.
        if (!interned) return true;
        joinedCode = *interned;
        rememberJoin(key, joinedCode);
    }

    int width = cell.width;
    if (selector) {
        // A selector only means something after a character that has both presentations.
        if (text.empty() || !UnicodeUtil::isPresentationSequenceBase(text.back())) return true;
        if (s == textPresentationSelector) {
            if (width == 2) {
                width = 1;
                // The freed second half becomes an ordinary empty cell.
                if (col + 1 < line.count() && line[col + 1].width == 0) {
                    CharData freed = line[col + 1];
                    freed.width = 1;
                    line.setCell(col + 1, freed);
                }
                // A cursor held on the freed half stays there, right after the character.
                if (b.x() > col + 1) b.setX(b.x() - 1);
            }
        } else if (width != 2 && col + 1 < cols_) {
            width = 2;
            line.setCell(col + 1, CharData(0, 0, cell.payload, cell.semanticContentCode, cell.attribute));
            b.setX(std::min(b.x() + 1, cols_));
        }
    } else if (isRegionalIndicator(s) && options_.regionalIndicatorWidth == RegionalIndicatorWidth::narrow &&
               width == 1 && col + 1 < cols_) {
        width = 2;
        line.setCell(col + 1, CharData(0, 0, cell.payload, cell.semanticContentCode, cell.attribute));
        b.setX(std::min(b.x() + 1, cols_));
    }
    cell.setValue(joinedCode, width);
    line.setCell(col, cell);
    if (held) heldGeneration_ = line.generation();
    updateRange(row - b.yBase());
    return true;
}

void Terminal::rememberJoin(uint64_t key, int32_t joinedCode) {
    KnownJoin* set = joinCache_.data() + joinSet(key);
    // An empty way if there is one, else one picked by the key's low bits.
    size_t way = key & (joinWays - 1);
    for (size_t i = 0; i < joinWays; ++i) {
        if (set[i].key == ~uint64_t(0) || set[i].key == key) {
            way = i;
            break;
        }
    }
    set[way] = KnownJoin{key, joinedCode};
}

std::optional<std::pair<int, int>> Terminal::combiningTarget(Buffer& target) {
    const int row = target.y() + target.yBase();
    if (row < 0 || row >= target.lines().count()) return std::nullopt;
    const BufferLine& line = target.lines()[row];
    int col = std::min(columnBeforeCursor(target, line), line.count() - 1);
    if (col < 0) return std::nullopt;
    while (col > 0 && line[col].width == 0) --col;
    const CharData& cell = line[col];
    if (cell.code == 0 || cell.width < 1) return std::nullopt;
    return std::make_pair(row, col);
}

std::optional<TinyAtom> Terminal::resolveActiveHyperlink() {
    if (!activeHyperlink) return std::nullopt;
    switch (activeHyperlink->kind) {
    case ActiveHyperlink::Kind::resolved: return activeHyperlink->atom;
    case ActiveHyperlink::Kind::unavailable: return std::nullopt;
    case ActiveHyperlink::Kind::pending: break;
    }
    if (auto atom = makePayload(std::any(activeHyperlink->uri))) {
        activeHyperlink->kind = ActiveHyperlink::Kind::resolved;
        activeHyperlink->atom = *atom;
        return atom;
    }
    activeHyperlink->kind = ActiveHyperlink::Kind::unavailable;
    return std::nullopt;
}

int32_t Terminal::scalarCode(char32_t s) {
    if (s <= 0xFFFF) return static_cast<int32_t>(s);
    // Emoji repeat a lot: a small direct-mapped memory in front of the table (codes never change).
    auto& recent = recentScalarCodes_[s & (recentScalarCodes_.size() - 1)];
    if (recent.first == s) return recent.second;
    auto known = scalarToIndexMap_.find(s);
    const int32_t result = known != scalarToIndexMap_.end() ? known->second : code(Character(1, s));
    recent = {s, result};
    return result;
}

// The text of a cell code without copying it (scalars are written into scratch).
std::u32string_view Terminal::codeText(int32_t cellCode, char32_t& scratch) const {
    if (cellCode > CharData::maxRune) {
        auto it = indexToCharMap_.find(cellCode);
        if (it != indexToCharMap_.end()) return it->second;
        scratch = U' ';
    } else {
        scratch = cellCode >= 0 && isUnicodeScalar(static_cast<uint32_t>(cellCode)) ? static_cast<char32_t>(cellCode)
                                                                                      : U' ';
    }
    return std::u32string_view(&scratch, 1);
}

}  // namespace vantel
