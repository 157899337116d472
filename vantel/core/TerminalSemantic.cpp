// Shell integration: OSC 133 prompt tracking, submission of typed input and click-to-move.
#include <algorithm>
#include <cstdlib>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

constexpr uint8_t inputCode = 5;

struct SemanticPromptOptions {
    SemanticPromptKind kind = SemanticPromptKind::initial;
    // `none` stands for "not given" in both.
    SemanticPromptClickMode clickEvents = SemanticPromptClickMode::none();
    SemanticPromptClickMode cursorClickMode = SemanticPromptClickMode::none();
    bool specialKey = false;
};

// key=value options after the command; an unknown value refuses the whole command.
std::optional<SemanticPromptOptions> parseSemanticPromptOptions(std::span<const std::string_view> fields) {
    SemanticPromptOptions options;
    for (std::string_view field : fields) {
        const size_t equals = field.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = field.substr(0, equals);
        const std::string_view value = field.substr(equals + 1);
        if (key == "k") {
            if (value == "i") options.kind = SemanticPromptKind::initial;
            else if (value == "r") options.kind = SemanticPromptKind::right;
            else if (value == "c") options.kind = SemanticPromptKind::continuation;
            else if (value == "s") options.kind = SemanticPromptKind::secondary;
            else return std::nullopt;
        } else if (key == "cl") {
            using M = SemanticPromptCursorClickMode;
            if (value == "line") options.cursorClickMode = SemanticPromptClickMode::cursorKeys(M::line);
            else if (value == "m") options.cursorClickMode = SemanticPromptClickMode::cursorKeys(M::multiple);
            else if (value == "v") options.cursorClickMode = SemanticPromptClickMode::cursorKeys(M::conservativeVertical);
            else if (value == "w") options.cursorClickMode = SemanticPromptClickMode::cursorKeys(M::smartVertical);
            else return std::nullopt;
        } else if (key == "click_events") {
            if (value == "0") options.clickEvents = SemanticPromptClickMode::none();
            else if (value == "1") options.clickEvents = SemanticPromptClickMode::clickEventsAbsolute();
            else if (value == "2") options.clickEvents = SemanticPromptClickMode::clickEventsRelative();
            else return std::nullopt;
        } else if (key == "special_key") {
            if (value == "0") options.specialKey = false;
            else if (value == "1") options.specialKey = true;
            else return std::nullopt;
        }
    }
    return options;
}

// The active group's typed input laid out as one text: one offset per input cell,
// plus one for each hard line break between logical lines.
struct SemanticGroupGeometry {
    std::vector<int> rows;
    std::vector<int> rowStartOffsets;
    std::vector<int> lineIndices;
    std::vector<int> lineStartOffsets;
    int totalLength = 0;
    bool hasInput = false;

    std::optional<size_t> indexOf(int row) const {
        auto it = std::find(rows.begin(), rows.end(), row);
        if (it == rows.end()) return std::nullopt;
        return static_cast<size_t>(it - rows.begin());
    }
};

struct SemanticOffset {
    int offset = 0;
    int line = 0;
    int offsetInLine = 0;
};

// Input cells among the first `before` columns; the covered half of a wide character does not count.
int semanticInputCellCount(Buffer& buffer, int cols, int row, int before) {
    const BufferLine& line = buffer.lines()[row];
    const int limit = std::min({line.count(), cols, before});
    const CharData* cells = line.cells();
    int count = 0;
    for (int col = 0; col < limit; ++col) {
        if (cells[col].semanticContentCode == inputCode && cells[col].width != 0) ++count;
    }
    return count;
}

std::optional<SemanticGroupGeometry> semanticGroupGeometry(Buffer& buffer, int cols) {
    auto start = buffer.semanticPromptStartRow();
    if (!start) return std::nullopt;
    SemanticGroupGeometry geometry;
    const int count = buffer.lines().count();
    int offset = 0;
    int line = 0;
    int lineStart = 0;
    for (int row = *start;;) {
        geometry.rows.push_back(row);
        geometry.rowStartOffsets.push_back(offset);
        geometry.lineIndices.push_back(line);
        geometry.lineStartOffsets.push_back(lineStart);
        const int n = semanticInputCellCount(buffer, cols, row, cols);
        geometry.hasInput = geometry.hasInput || n > 0;
        offset += n;
        const int next = row + 1;
        if (next >= count) break;
        if (!buffer.lines()[next].isWrapped()) {
            if (!buffer.rowContinuesActiveGroupHard(next)) break;
            offset += 1;  // the line break between two logical lines
            line += 1;
            lineStart = offset;
        }
        row = next;
    }
    geometry.totalLength = offset;
    return geometry;
}

std::optional<SemanticOffset> semanticOffset(Buffer& buffer, int cols, Position position,
                                             const SemanticGroupGeometry& geometry) {
    auto index = geometry.indexOf(position.row);
    if (!index) return std::nullopt;
    SemanticOffset result;
    result.offset = geometry.rowStartOffsets[*index] + semanticInputCellCount(buffer, cols, position.row, position.col);
    result.line = geometry.lineIndices[*index];
    result.offsetInLine = result.offset - geometry.lineStartOffsets[*index];
    return result;
}

// A click on the covered half of a wide input character lands on its first half.
Position normalizeSemanticClickTarget(Buffer& buffer, Position position) {
    const BufferLine& line = buffer.lines()[position.row];
    if (position.col <= 0 || position.col >= line.count()) return position;
    while (position.col > 0 && line[position.col].width == 0 && line[position.col].semanticContentCode == inputCode) {
        --position.col;
    }
    return position;
}

void appendRepeated(std::string& out, std::string_view step, int count) {
    for (int i = 0; i < count; ++i) out.append(step);
}

std::optional<SemanticPromptClickModifiers> requiredModifiers(const SemanticPromptClickBehavior& behavior) {
    switch (behavior.kind) {
    case SemanticPromptClickBehavior::Kind::disabled: return std::nullopt;
    case SemanticPromptClickBehavior::Kind::enabled: return SemanticPromptClickModifiers{};
    case SemanticPromptClickBehavior::Kind::requireModifier: return behavior.modifiers;
    }
    return std::nullopt;
}

bool snapshotAllowsClick(const SemanticPromptPointerSnapshot& snapshot) {
    return !snapshot.selectionWasActive && !snapshot.didDrag && snapshot.pressWasSemanticEligible &&
           snapshot.clickCount == 1;
}

}  // namespace

// --- OSC 133 -------------------------------------------------------------------------------

void Terminal::oscSemanticPrompt(std::span<const uint8_t> data) {
    // Full-screen programs own the alternate screen: their prompts are not the shell's.
    if (isCurrentBufferAlternate()) return;
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    if (text.empty() || !isValidUtf8(text)) return;
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t at = text.find(';', start);
        fields.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    if (fields[0].size() != 1) return;
    auto options = parseSemanticPromptOptions(std::span(fields).subspan(1));
    if (!options) return;

    Buffer& b = *buffer_;
    auto cursorRow = [&] { return b.y() + b.yBase(); };
    auto freshLine = [&] {
        const int left = marginMode ? b.marginLeft : 0;
        if (b.x() == left) return;
        cmdCarriageReturn();
        cmdLineFeedBasic();
    };
    auto applyClickOptions = [&] {
        b.semanticClickMode = options->clickEvents != SemanticPromptClickMode::none() ? options->clickEvents
                                                                                      : options->cursorClickMode;
        b.semanticUsesSpecialCursorKeys = options->specialKey;
    };
    auto openGroup = [&] {
        const int row = cursorRow();
        b.beginSemanticPromptGroup(row);
        if (row >= 0 && row < b.lines().count()) b.lines()[row].setSemanticHardContinuationGroup(std::nullopt);
    };
    auto commonTail = [&](SemanticPromptKind kind) {
        markCurrentSemanticPrompt(kind);
        b.semanticContent = SemanticContent::prompt(kind);
        b.semanticInput = SemanticInputState::prompt;
    };
    const SemanticPromptKind kind = options->kind;

    switch (fields[0][0]) {
    case 'A':
    case 'N':
        if (kind == SemanticPromptKind::right) {
            markCurrentSemanticPrompt(kind);
        } else if (kind == SemanticPromptKind::continuation) {
            freshLine();
            b.semanticContent = SemanticContent::prompt(kind);
            b.semanticInput = SemanticInputState::prompt;
        } else {
            freshLine();
            if (fields[0][0] == 'N') {
                openGroup();
                applyClickOptions();
            } else if (kind == SemanticPromptKind::initial) {
                if (!b.canReuseSemanticGroup(cursorRow())) openGroup();
                applyClickOptions();
            } else if (!b.semanticPromptStartRow()) {
                openGroup();
                applyClickOptions();
            }
            commonTail(kind);
        }
        break;
    case 'P':
        if (kind == SemanticPromptKind::initial) {
            if (!b.canReuseSemanticGroup(cursorRow())) b.beginSemanticPromptGroup(cursorRow());
            applyClickOptions();
        }
        markCurrentSemanticPrompt(kind);
        b.semanticContent = SemanticContent::prompt(kind);
        break;
    case 'B':
    case 'I':
        b.semanticContent = SemanticContent::input();
        b.semanticInput = SemanticInputState::armed;
        break;
    case 'C':
    case 'D':
        b.semanticContent = SemanticContent::output();
        b.semanticInput = SemanticInputState::submitted;
        clearEchoedEnterContinuationBeforeOutput();
        break;
    case 'L': freshLine(); break;
    default: break;
    }
}

void Terminal::markCurrentSemanticPrompt(SemanticPromptKind kind) {
    if (kind == SemanticPromptKind::continuation) return;
    Buffer& b = *buffer_;
    b.setSemanticMark(kind, b.y() + b.yBase(), b.x());
    updateRange(b.y());
}

void Terminal::clearEchoedEnterContinuationBeforeOutput() {
    Buffer& b = *buffer_;
    const int row = b.y() + b.yBase();
    if (row < 0 || row >= b.lines().count()) return;
    BufferLine& line = b.lines()[row];
    if (line.semanticHardContinuationGroup()) line.setSemanticHardContinuationGroup(std::nullopt);
}

void Terminal::markPromptLineAdvance() {
    Buffer& b = *buffer_;
    const int row = b.y() + b.yBase();
    if (row < 0 || row >= b.lines().count()) return;
    BufferLine& line = b.lines()[row];
    const uint64_t group = b.activeSemanticGroupID;
    const auto previous = line.semanticHardContinuationGroup();
    if (previous == group) return;
    if (previous) {
        // Prompt and input left over from another group's line are no longer either.
        CharData* cells = line.mutableCells();
        for (int col = 0; col < line.count(); ++col) {
            if (cells[col].semanticContentCode >= 1 && cells[col].semanticContentCode <= inputCode) {
                cells[col].semanticContentCode = 0;
            }
        }
    }
    line.setSemanticHardContinuationGroup(group);
}

void Terminal::semanticNoteAlternateScreenSwitch() {
    for (Buffer* b : {normalBuffer_.get(), altBuffer_.get()}) {
        b->semanticInput = SemanticInputState::submitted;
        if (b->semanticContent != SemanticContent::none() && b->semanticContent != SemanticContent::output()) {
            b->semanticContent = SemanticContent::output();
        }
    }
}

void Terminal::resetSemanticPromptState(bool clearingScreenMarks) {
    for (Buffer* b : {normalBuffer_.get(), altBuffer_.get()}) {
        b->semanticContent = SemanticContent::none();
        b->semanticInput = SemanticInputState::idle;
        b->semanticClickMode = SemanticPromptClickMode::none();
        b->semanticUsesSpecialCursorKeys = false;
        b->semanticPromptStartLine = nullptr;
    }
    if (clearingScreenMarks) {
        Buffer& b = *buffer_;
        const int end = std::min(b.yBase() + rows_, b.lines().count());
        for (int row = std::max(b.yBase(), 0); row < end; ++row) b.lines()[row].destroySemanticState();
    }
    resetUserInputScanner();
}

// --- Typed input ---------------------------------------------------------------------------

void Terminal::sendUserInput(std::span<const uint8_t> data) {
    if (scanUserInputForSubmission(data) && buffer_->semanticInput == SemanticInputState::armed) {
        buffer_->semanticInput = SemanticInputState::submitted;
    }
    if (tdel_) tdel_->send(*this, data);
}

bool Terminal::scanUserInputForSubmission(std::span<const uint8_t> data) {
    bool submitted = false;
    for (uint8_t byte : data) {
        if (byte == 0x0D || byte == 0x0A) {
            // A pasted line break is text, not Enter.
            if (!semanticScanInPaste_) submitted = true;
            semanticScanState_ = SemanticScanState::ground;
            continue;
        }
        switch (semanticScanState_) {
        case SemanticScanState::ground:
            if (byte == 0x1B) semanticScanState_ = SemanticScanState::escape;
            break;
        case SemanticScanState::escape:
            if (byte == 0x1B) break;
            if (byte == 'O') {
                semanticScanState_ = SemanticScanState::ss3;
            } else if (byte == '[') {
                semanticScanState_ = SemanticScanState::csi;
                semanticScanParamsCount_ = 0;
            } else {
                semanticScanState_ = SemanticScanState::ground;
            }
            break;
        case SemanticScanState::csi:
            if (byte >= 0x20 && byte <= 0x3F) {
                if (semanticScanParamsCount_ < semanticScanParamsCapacity) {
                    semanticScanParams_[semanticScanParamsCount_++] = byte;
                }
            } else if (byte >= 0x40 && byte <= 0x7E) {
                if (interpretSemanticCSI(byte)) submitted = true;
                semanticScanState_ = SemanticScanState::ground;
            } else if (byte == 0x1B) {
                semanticScanState_ = SemanticScanState::escape;
            } else {
                semanticScanState_ = SemanticScanState::ground;
            }
            break;
        case SemanticScanState::ss3:
            if (byte == 'M') submitted = true;  // keypad Enter
            semanticScanState_ = SemanticScanState::ground;
            break;
        }
    }
    return submitted;
}

void Terminal::resetUserInputScanner() {
    semanticScanState_ = SemanticScanState::ground;
    semanticScanInPaste_ = false;
    semanticScanParamsCount_ = 0;
}

bool Terminal::interpretSemanticCSI(uint8_t final) {
    // Parameter bytes are 0x20-0x3F, always ASCII.
    const std::string_view params(reinterpret_cast<const char*>(semanticScanParams_.data()), semanticScanParamsCount_);
    if (final == '~') {
        if (params == "200") semanticScanInPaste_ = true;
        else if (params == "201") semanticScanInPaste_ = false;
        return false;
    }
    if (final != 'u') return false;
    const size_t firstEnd = params.find(';');
    const std::string_view first = params.substr(0, firstEnd);
    if (first.substr(0, first.find(':')) != "13") return false;
    if (firstEnd == std::string_view::npos) return true;
    // The event type of the modifiers field: 3 is a key release.
    std::string_view second = params.substr(firstEnd + 1);
    second = second.substr(0, second.find(';'));
    const size_t colon = second.find(':');
    if (colon == std::string_view::npos) return true;
    std::string_view eventType = second.substr(colon + 1);
    eventType = eventType.substr(0, eventType.find(':'));
    return eventType != "3";
}

// --- Readers -------------------------------------------------------------------------------

std::optional<SemanticContent> Terminal::semanticContent(Position position) {
    Buffer& b = *buffer_;
    if (position.col < 0 || position.row < 0 || position.col >= cols_ || position.row >= b.lines().count()) {
        return std::nullopt;
    }
    return b.lines()[position.row][position.col].semanticContent();
}

std::optional<int> Terminal::semanticRow(const BufferLine& line, uint64_t recycleGeneration) {
    if (line.recycleGeneration() != recycleGeneration) return std::nullopt;
    Buffer& b = *buffer_;
    return b.findRow(b.semanticPromptStartRowCache, [&line](const BufferLine& candidate) { return &candidate == &line; });
}

BufferLine* Terminal::bufferLine(int row) {
    if (row < 0 || row >= buffer_->lines().count()) return nullptr;
    return &buffer_->lines()[row];
}

// --- Clicks --------------------------------------------------------------------------------

bool Terminal::mightRouteSemanticPromptClick(SemanticPromptClickModifiers modifiers,
                                             const SemanticPromptPointerSnapshot& snapshot) const {
    if (!snapshotAllowsClick(snapshot)) return false;
    auto required = requiredModifiers(semanticPromptClickBehavior);
    if (!required || modifiers != *required) return false;
    if (isCurrentBufferAlternate()) return false;
    return buffer_->semanticInput == SemanticInputState::armed &&
           buffer_->semanticClickMode != SemanticPromptClickMode::none();
}

bool Terminal::handleSemanticPromptClick(Position position, SemanticPromptClickModifiers modifiers,
                                         const SemanticPromptPointerSnapshot& snapshot) {
    if (!snapshotAllowsClick(snapshot)) return false;
    return handleSemanticPromptClick(position, modifiers);
}

bool Terminal::handleSemanticPromptClick(Position position, SemanticPromptClickModifiers modifiers) {
    auto required = requiredModifiers(semanticPromptClickBehavior);
    if (!required || modifiers != *required || isCurrentBufferAlternate()) return false;
    Buffer& b = *buffer_;
    if (position.col < 0 || position.row < 0 || position.col >= cols_ || position.row >= b.lines().count()) {
        return false;
    }
    if (b.semanticInput != SemanticInputState::armed) return false;
    auto geometry = semanticGroupGeometry(b, cols_);
    if (!geometry || !geometry->indexOf(position.row) || !geometry->hasInput) return false;

    using ClickKind = SemanticPromptClickMode::Kind;
    const SemanticPromptClickMode mode = b.semanticClickMode;
    switch (mode.kind) {
    case ClickKind::none: return false;
    case ClickKind::clickEventsAbsolute:
    case ClickKind::clickEventsRelative: {
        int y;
        if (mode.kind == ClickKind::clickEventsAbsolute) {
            y = std::clamp(position.row - b.yBase() + 1, 1, rows_);
        } else {
            auto origin = b.semanticPromptRelativeOrigin(position);
            if (!origin || position.row < origin->row) return false;
            y = position.row - origin->row;  // 0 on the origin's own row
        }
        sendResponseParts("\x1b[<0;", std::to_string(position.col + 1), ";", std::to_string(y), "M");
        return true;
    }
    case ClickKind::cursorKeys: break;
    }

    const Position cursorPosition{b.x(), b.y() + b.yBase()};
    if (!geometry->indexOf(cursorPosition.row)) return false;
    auto cursor = semanticOffset(b, cols_, cursorPosition, *geometry);
    auto target = semanticOffset(b, cols_, normalizeSemanticClickTarget(b, position), *geometry);
    if (!cursor || !target) return false;
    using CursorMode = SemanticPromptCursorClickMode;
    if (mode.cursorMode == CursorMode::line && cursor->line != target->line) return false;
    const int delta = target->offset - cursor->offset;
    if (delta == 0) return false;

    const bool special = b.semanticUsesSpecialCursorKeys;
    const std::string_view right = special ? "\x1b[1u" : applicationCursor ? "\x1bOC" : "\x1b[C";
    const std::string_view left = special ? "\x1b[1;1u" : applicationCursor ? "\x1bOD" : "\x1b[D";
    std::string bytes;
    if (cursor->line == target->line || mode.cursorMode == CursorMode::line ||
        mode.cursorMode == CursorMode::multiple || special) {
        appendRepeated(bytes, delta > 0 ? right : left, std::abs(delta));
    } else {
        const bool down = target->line > cursor->line;
        const std::string_view vertical = down ? (applicationCursor ? "\x1bOB" : "\x1b[B")
                                               : (applicationCursor ? "\x1bOA" : "\x1b[A");
        appendRepeated(bytes, left, cursor->offsetInLine);
        appendRepeated(bytes, vertical, std::abs(target->line - cursor->line));
        appendRepeated(bytes, right, target->offsetInLine);
    }
    if (bytes.empty()) return false;
    if (tdel_) tdel_->send(*this, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    return true;
}

}  // namespace vantel
