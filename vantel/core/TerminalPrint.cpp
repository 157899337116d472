// Print path: UTF-8 decoding, graphemes, widths, wrapping and the ASCII fast path.
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "vantel/core/ByteScan.h"
#include "vantel/core/GraphemeBreaker.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/UnicodeUtil.h"

namespace vantel {

namespace {

constexpr char32_t zeroWidthJoiner = 0x200D;
constexpr char32_t textPresentationSelector = 0xFE0E;
constexpr char32_t emojiPresentationSelector = 0xFE0F;
// The most scalars one cell holds; marks past them are dropped, so a flood of marks on one
// character costs neither memory nor time per mark.
constexpr size_t maximumClusterScalars = 32;

bool isContinuationByte(uint8_t byte) { return (byte & 0xC0) == 0x80; }

bool isRegionalIndicator(char32_t s) { return s >= 0x1F1E6 && s <= 0x1F1FF; }

// Selectors, joiners and modifiers that always belong to the character before them.
bool alwaysJoins(char32_t s) {
    return s == zeroWidthJoiner || (s >= 0xFE00 && s <= 0xFE0F) || (s >= 0x180B && s <= 0x180D) || s == 0x180F ||
           (s >= 0x1F3FB && s <= 0x1F3FF) || (s >= 0xE0100 && s <= 0xE01EF);
}

// Sequence length of a lead byte: 0 or 1 for single bytes, else 2 to 4.
int sequenceLength(uint8_t lead) { return UnicodeUtil::first[lead] & 0x0F; }

// The scalar of a complete sequence, or nothing for overlong forms, surrogates and
// values past U+10FFFF.
std::optional<char32_t> decodeSequence(const uint8_t* bytes, int length) {
    uint32_t value = bytes[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) value = value * 64 + (bytes[i] & 0x3F);
    static constexpr uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || !isUnicodeScalar(value)) return std::nullopt;
    return static_cast<char32_t>(value);
}

// How the print path treats a scalar: its width when it always takes a cell of its own,
// else `joinsOrSkips` (zero or negative width, combining class, selectors, joiners,
// modifiers, regional indicators). Built 256 scalars at a time, on first use.
constexpr uint8_t joinsOrSkips = 0xFF;
constexpr char32_t printClassLimit = 0x40000;

uint8_t computePrintClass(char32_t s) {
    const int width = s < UnicodeUtil::lowPlaneSize ? UnicodeUtil::lowPlaneWidths()[s] : UnicodeUtil::computeColumnWidth(s);
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

// The scalar of the complete, well-formed UTF-8 sequence at bytes (at most `available`
// bytes long), or notWellFormed.
constexpr char32_t notWellFormed = 0xFFFFFFFF;

char32_t decodeWellFormed(const uint8_t* bytes, size_t available) {
    const uint8_t lead = bytes[0];
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (available < 2 || !isContinuationByte(bytes[1])) return notWellFormed;
        return static_cast<char32_t>((lead & 0x1F) << 6 | (bytes[1] & 0x3F));
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (available < 3 || !isContinuationByte(bytes[1]) || !isContinuationByte(bytes[2])) return notWellFormed;
        const char32_t value = (lead & 0x0F) << 12 | (bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
        if (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)) return notWellFormed;
        return value;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (available < 4 || !isContinuationByte(bytes[1]) || !isContinuationByte(bytes[2]) ||
            !isContinuationByte(bytes[3])) {
            return notWellFormed;
        }
        const char32_t value = (lead & 0x07) << 18 | (bytes[1] & 0x3F) << 12 | (bytes[2] & 0x3F) << 6 | (bytes[3] & 0x3F);
        if (value < 0x10000 || value > 0x10FFFF) return notWellFormed;
        return value;
    }
    return notWellFormed;
}

// Whether data[i...] starts with printable ASCII or a complete character that takes a cell
// of its own (the kinds the fast run prints).
bool startsPlainCharacter(std::span<const uint8_t> data, size_t i) {
    const uint8_t lead = data[i];
    if (lead >= 0x20 && lead < 0x7F) return true;
    const int length = sequenceLength(lead);
    if (length < 2 || i + length > data.size()) return false;
    for (int k = 1; k < length; ++k) {
        if (!isContinuationByte(data[i + k])) return false;
    }
    const auto scalar = decodeSequence(data.data() + i, length);
    return scalar && printClass(*scalar) != joinsOrSkips;
}

int scalarWidth(char32_t s) {
    return s < UnicodeUtil::lowPlaneSize ? UnicodeUtil::lowPlaneWidths()[s] : UnicodeUtil::computeColumnWidth(s);
}

}  // namespace

void Terminal::handlePrint(std::span<const uint8_t> data) {
    Buffer& b = *buffer_;
    updateRange(b.y());
    size_t i = putbackBuffer_.empty() ? 0 : finishPutback(data);
    const size_t n = data.size();
    while (i < n) {
        if (const size_t next = printFastRun(data, i); next > i) {
            i = next;
            continue;
        }
        const uint8_t lead = data[i];
        if (lead < 0x80) {
            i = printAsciiRun(data, i);
            continue;
        }
        const int length = sequenceLength(lead);
        if (length < 2) {
            printSingleByte(lead);
            ++i;
            continue;
        }
        int have = 1;
        while (have < length && i + have < n && isContinuationByte(data[i + have])) ++have;
        if (have < length) {
            if (i + have == n) {
                // Cut off by the end of the run: the next run may complete it.
                putbackBuffer_.assign(data.begin() + i, data.end());
                break;
            }
            // Broken sequence: show the lead byte, drop the continuation bytes seen so far,
            // and read the byte that broke it afresh.
            printSingleByte(lead);
            i += have;
            continue;
        }
        if (auto scalar = decodeSequence(data.data() + i, length)) printScalar(*scalar);
        else printSingleByte(lead);
        i += length;
    }
    if (!b.wraparound) holdCursorAtRightMargin();
    updateRange(b.y());
}

void Terminal::handlePrintAscii(std::span<const uint8_t> data) {
    Buffer& b = *buffer_;
    if (!putbackBuffer_.empty() || b.insertMode || (charset && charset->size > 0)) {
        handlePrint(data);
        return;
    }
    // Short runs between escape sequences mostly fit the rest of the row: no wrap to plan.
    const int x = b.x();
    const int lastX = x + static_cast<int>(data.size()) - 1;
    const int right = b.marginMode ? b.marginRight : cols_ - 1;
    if (data.size() <= 256 && lastX <= right) {
        const int row = b.yBase() + b.y();
        if (row >= 0 && row < b.lines().count()) {
            BufferLine& line = b.lines()[row];
            if (lastX < line.count()) {
                const TinyAtom payload =
                    activeHyperlink ? resolveActiveHyperlink().value_or(TinyAtom()) : TinyAtom();
                const int count = static_cast<int>(data.size());
                asciiWriter(payload, b.semanticContent.code()).write(line.mutableCells(x, count), data.data(), count);
                b.setX(lastX + 1);
                if (lastX == right && !b.wraparound) holdCursorAtRightMargin();
                updateRange(b.y());
                return;
            }
        }
    }
    printAsciiWrapping(data);
}

const CellWriter& Terminal::asciiWriter(TinyAtom payload, uint8_t semanticCode) {
    // A byte compare of the attribute: a false mismatch only rebuilds the writer.
    if (!asciiWriterValid_ || payload.code != asciiWriterPayload_.code || semanticCode != asciiWriterSemanticCode_ ||
        std::memcmp(&curAttr, &asciiWriterAttribute_, sizeof(Attribute)) != 0) {
        asciiWriter_ = CellWriter(CharData(0, 1, payload, semanticCode, curAttr));
        asciiWriterAttribute_ = curAttr;
        asciiWriterPayload_ = payload;
        asciiWriterSemanticCode_ = semanticCode;
        asciiWriterValid_ = true;
    }
    return asciiWriter_;
}

void Terminal::printAsciiWrapping(std::span<const uint8_t> data) {
    Buffer& b = *buffer_;
    const int startY = b.y();
    updateRange(startY);
    const int limit = b.marginMode ? b.marginRight : cols_ - 1;
    const TinyAtom payload = activeHyperlink ? resolveActiveHyperlink().value_or(TinyAtom()) : TinyAtom();
    const CellWriter& writer = asciiWriter(payload, b.semanticContent.code());
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
        const size_t count = std::min(n - i, static_cast<size_t>(right - x + 1));
        writer.write(line.mutableCells(x, static_cast<int>(count)), bytes + i, static_cast<int>(count));
        b.setX(x + static_cast<int>(count));
        i += count;
    }
    if (i < n) {
        // A cursor held at the margin, or a row shorter than the screen.
        handlePrint(data.subspan(i));
        return;
    }
    if (!b.wraparound) holdCursorAtRightMargin();
    if (b.y() != startY) updateRange(b.y());
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
}

int Terminal::columnBeforeCursor(const Buffer& buffer, const BufferLine& line) const {
    const int x = buffer.x();
    if (!buffer.wraparound && &line == heldLine_ && x == heldColumn_ && x < line.count()) {
        // Still the written cell, or the second half of a wide one.
        const CharData& cell = line[x];
        if (cell.code != 0 || cell.width == 0) return x;
    }
    return x - 1;
}

// Completes the sequence kept from the previous run; returns how many bytes of data it used.
size_t Terminal::finishPutback(std::span<const uint8_t> data) {
    const uint8_t lead = putbackBuffer_[0];
    const size_t length = static_cast<size_t>(sequenceLength(lead));
    size_t used = 0;
    while (putbackBuffer_.size() < length) {
        if (used == data.size()) return used;  // still incomplete; keep waiting
        if (!isContinuationByte(data[used])) {
            putbackBuffer_.clear();
            printSingleByte(lead);
            return used;
        }
        putbackBuffer_.push_back(data[used++]);
    }
    auto scalar = decodeSequence(putbackBuffer_.data(), static_cast<int>(length));
    putbackBuffer_.clear();
    if (scalar) printScalar(*scalar);
    else printSingleByte(lead);
    return used;
}

// Prints the ASCII bytes from start on; returns the index after them.
size_t Terminal::printAsciiRun(std::span<const uint8_t> data, size_t start) {
    // Only printable ASCII takes the fast path; controls and DEL are dropped one by one below.
    const size_t end = printableAsciiEnd(data, start);
    if (end == start) {
        printSingleByte(data[start]);
        return start + 1;
    }
    size_t done = start;
    // A designated set without replacements (US ASCII, as "ESC ( B" selects) translates nothing.
    if (!charset || charset->size == 0) {
        done += static_cast<size_t>(buffer_->insertAsciiRun(data.subspan(start, end - start), curAttr,
                                                            payloadResolver()));
    }
    // Translated sets, insert mode and a cursor held at the margin without wraparound.
    for (; done < end; ++done) printSingleByte(data[done]);
    return end;
}

bool Terminal::cellBeforeCursorEndsWithJoiner() {
    auto target = combiningTarget(*buffer_);
    if (!target) return false;
    char32_t scratch;
    const std::u32string_view text = codeText(buffer_->lines()[target->first][target->second].code, scratch);
    return !text.empty() && text.back() == zeroWidthJoiner;
}

// Prints printable ASCII and well-formed characters that each take a cell of their own,
// wrapping as needed; returns where it stopped (start when it printed nothing). Joining
// characters, broken UTF-8, translated sets, insert mode and a cursor held at the margin
// without wraparound are left to the general path.
size_t Terminal::printFastRun(std::span<const uint8_t> data, size_t start) {
    Buffer& b = *buffer_;
    if (b.insertMode || (charset && charset->size > 0)) return start;
    const size_t n = data.size();
    const uint8_t* bytes = data.data();
    const int limit = b.marginMode ? b.marginRight : cols_ - 1;
    const TinyAtom payload = activeHyperlink ? resolveActiveHyperlink().value_or(TinyAtom()) : TinyAtom();
    const uint8_t semanticCode = b.semanticContent.code();
    const CharData cell(0, 1, payload, semanticCode, curAttr);
    const CellWriter& writer = asciiWriter(payload, semanticCode);
    const CharData wideSpacer(0, 0, payload, semanticCode, b.curAttr);
    const bool regionalWide = options_.regionalIndicatorWidth == RegionalIndicatorWidth::wide;

    // Whether the cell before the cursor ends with a joiner, which the next character
    // would join; only asked when that character is not ASCII.
    bool beforeCursorChecked = false;
    bool stop = false;
    size_t i = start;
    while (i < n && !stop) {
        if (b.x() > limit) {
            // Only a character that takes a cell wraps; a joining one attaches to the last column.
            if (!b.wraparound || !startsPlainCharacter(data, i)) break;
            if (bytes[i] >= 0x80 && !beforeCursorChecked && cellBeforeCursorEndsWithJoiner()) break;
            b.wrapCursorToNextRow();
            beforeCursorChecked = true;  // a fresh row: nothing to join
        }
        const int row = b.yBase() + b.y();
        if (row < 0 || row >= b.lines().count()) break;
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
        // Written directly; the line is told what changed once, below.
        CharData* cells = line.cellsForWriting(firstX);
        while (i < n && x <= right) {
            const uint8_t lead = bytes[i];
            if (lead >= 0x20 && lead < 0x7F) {
                if (i + 1 == n || static_cast<uint8_t>(bytes[i + 1] - 0x20) >= 0x5F) {
                    // A lone ASCII character, like the space between words of other scripts.
                    writer.writeOne(cells + x, lead, 1);
                    lastX = x++;
                    ++i;
                    afterJoiner = false;
                    beforeCursorChecked = true;
                    continue;
                }
                const size_t limit = std::min(n, i + static_cast<size_t>(right - x + 1));
                CharData* target = cells + x;
                size_t end = i;
                if (limit - i >= 16) {
                    // Long runs: find the end first, then fill; short ones check as they go.
                    end = printableAsciiEnd(data, i, limit - i);
                    writer.write(target, bytes + i, static_cast<int>(end - i));
                } else {
                    for (; end < limit && static_cast<uint8_t>(bytes[end] - 0x20) < 0x5F; ++end) {
                        target[end - i] = cell;
                        target[end - i].code = bytes[end];
                    }
                }
                const int count = static_cast<int>(end - i);
                if (count > 0) {
                    lastX = x + count - 1;
                    afterJoiner = false;
                }
                x += count;
                i = end;
                beforeCursorChecked = true;
                continue;
            }
            const char32_t scalar = decodeWellFormed(bytes + i, n - i);
            if (scalar == notWellFormed) break;
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
                i += static_cast<size_t>(sequenceLength(lead));
                continue;
            }
            if (x + width - 1 > right) {
                // Nothing printed on this row yet: the general path wraps (or drops) it.
                stop = x == firstX && rowStart == i;
                break;
            }
            if (!beforeCursorChecked) {
                beforeCursorChecked = true;
                b.setX(x);
                if (cellBeforeCursorEndsWithJoiner()) {
                    stop = true;
                    break;
                }
            }
            writer.writeOne(cells + x, scalar <= 0xFFFF ? static_cast<int32_t>(scalar) : scalarCode(scalar),
                            static_cast<int8_t>(width));
            if (width == 2) cells[x + 1] = wideSpacer;
            lastX = x;
            afterJoiner = false;
            x += width;
            i += static_cast<size_t>(sequenceLength(lead));
        }
        if (x != firstX) {
            line.noteCellsWritten(firstX, x - firstX);
            b.setX(x);
        }
        if (i == rowStart || i == n) break;
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
