#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"
#include "quiltdeck/sessions/Date.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/SessionStatus.h"

namespace quiltdeck {

// The geometry, texts and chrome colours of a tile card, as pure functions of
// what the card shows: the card itself only measures its labels and applies
// the results. Every rectangle is in the tile's flipped coordinates (origin at
// the top left, y downwards), in points.
class TileLayout {
public:
    TileLayout() = delete;

    using Rect = platform::gfx::Rect;
    using Size = platform::gfx::Size;
    using Rgba = platform::gfx::Rgba;

    static constexpr double headerHeight = 52;
    static constexpr double headerWithMetrics = 86;
    static constexpr double cornerRadius = 16;
    static constexpr size_t feedRows = 4;
    static constexpr size_t zoomedFeedRows = 3;
    static constexpr double feedRowHeight = 19;
    static constexpr size_t folderLimit = 48;

    // The point lies in the rectangle: on its top or left edge, or inside.
    static bool holds(const Rect& rect, platform::gfx::Point point) {
        return point.x >= rect.x && point.y >= rect.y && point.x < rect.maxX() && point.y < rect.maxY();
    }

    // --- The header, the feed band and the body ---------------------------------------------------
    // Where the feed band starts: under the title row, and under the metric chips when there are any.
    static double bandTop(size_t metricCount) { return metricCount > 0 ? headerWithMetrics : headerHeight; }
    // Rows of headlines shown: none without a feed, else the items (at least one row's room) capped
    // at four, three while zoomed.
    static size_t shownFeedRows(bool hasFeed, size_t items, bool zoomed);
    // 20 + 19 per row; an empty feed keeps one row's room, so it is never under 39.
    static double feedHeight(bool hasFeed, size_t items, bool zoomed);
    // Light theme: the terminal sits 10 pt in from the card's sides and bottom, rounded 10.
    static double terminalInset(bool dark) { return dark ? 0 : 10; }

    // The metric chips under the title row: a value over its upper-case name.
    struct Chip {
        Rect value;
        Rect name;
    };
    // Chips share the width less 40, each 72 to 170 wide, centred while they fit and from x 20
    // otherwise (running past the right edge).
    static std::vector<Chip> chips(size_t count, double tileWidth);
    static Rect feedSourceFrame(double bandTop, double tileWidth);
    static Rect feedRowFrame(double bandTop, size_t row, double tileWidth);

    // What the header layout needs measured.
    struct HeaderInput {
        Size tile;
        Size index;                  // the wall number's fitted size
        bool logoVisible = false;
        std::optional<Size> badge;   // the badge's fitted size, when it shows
        bool editing = false;        // the rename editor is open
        Size save, cancel, suggest;  // the editor buttons' fitted sizes, in words
        Size symbolButton;           // an editor button's size as a symbol
        double bodyTop = headerHeight;
        bool dark = true;
        // The least of the sub line that must show whole: the status word and the tool's name.
        double subNeeds = 0;
    };
    struct HeaderFrames {
        Rect dot, index, logo, close, move;
        // A tile too narrow for the sub line's needs gives up the badge.
        bool badgeShown = false;
        Rect badgePill, badge;
        Rect title, sub;
        // Only while editing. A card too narrow for the editor and its buttons on the header's
        // line stacks them: the editor takes the line (the badge, close and move give way), the
        // buttons a line under it, as symbols where their words do not fit.
        Rect editorBack, editor, save, cancel, suggest;
        // Where the note on a suggestion without a name may stand, under the editor and its
        // buttons, over the terminal's top: its height is the text's.
        Rect note;
        bool editStacked = false;
        bool editSymbols = false;
        // The terminal's scaler, the launch and dead veils over it, and the zoomed tile's grip.
        Rect scaler, grip;
        double scalerCornerRadius = 0;
    };
    static constexpr double minimumTitleWidth = 40;
    static constexpr double minimumEditorWidth = 80;
    static HeaderFrames header(const HeaderInput& input);

    // The exited session's veil: its title and detail, and the buttons centred under them. A veil
    // too low for all of it leaves out the detail, then the title: the buttons are what it is for.
    struct DeadVeilFrames {
        Rect label, detail;
        std::optional<Rect> resume;
        Rect restart;
        bool showsLabel = true, showsDetail = true;
        // A button is narrower than its title: the card tries its short words.
        bool cut = false;
    };
    static DeadVeilFrames deadVeil(Size veil, std::optional<double> resumeFittedWidth, double restartFittedWidth);

    // --- Texts ----------------------------------------------------------------------------------
    // "done" only while a finished session is idle.
    static std::string statusWord(SessionStatus status, bool finished);
    // Name, status word, tool (when there is one) and short folder, three spaces apart.
    static std::string subLine(std::string_view name, std::string_view word, std::string_view tool,
                               std::string_view shortFolder);
    // The name of the tool in its label ("Bash" of "Bash: make"), at most 14 characters.
    static constexpr size_t toolNameLimit = 14;
    static std::string toolName(std::string_view tool);
    // The sub line cut to `width` as `measure` finds it: the folder gives way first (from its
    // start), then the name, then the tool down to its name; the status word stays whole.
    using Measure = std::function<double(const std::string& line)>;
    static std::string fittedSubLine(std::string_view name, std::string_view word, std::string_view tool,
                                     std::string_view shortFolder, double width, const Measure& measure);
    // The folder with a leading home folder as "~"; past 48 characters, "…/" and its last two
    // components.
    static std::string shortFolder(std::string_view cwd, std::string_view home);
    // The feed's upper-case label, then its update time and, without items, the loading note.
    static std::string feedSource(std::string_view label, std::optional<std::string> updatedAt, bool noItems);
    // A time of day in the language's short style ("2:05 PM", "14:05"), in the given time zone
    // (an id such as "UTC"; none: the system's).
    static std::string shortTime(Date date, Lang lang, const std::optional<std::string>& zone = std::nullopt);
    static std::string metricValue(std::string_view value);
    static std::string metricName(std::string_view label);
    // The dead veil's second line: the last request, or that there was no conversation.
    static std::string deadDetail(std::string_view lastPrompt);

    // --- Chrome ---------------------------------------------------------------------------------
    struct ChromeInput {
        SessionStatus status = SessionStatus::idle;
        bool finished = false;
        bool zoomed = false;
        bool dropHover = false;
        bool dark = true;
        Rgba tint;
    };
    struct Chrome {
        double borderWidth = 1;
        Rgba border;
        double shadowOpacity = 0;
        double shadowRadius = 0;
        double shadowOffsetY = 0;  // y up: negative falls below the card
        Rgba dot;
        // Idle shows the folder's tint as a ring: a filled dot of any tint could pass for
        // waiting (amber) or done (green).
        bool dotRing = false;
    };
    static constexpr double dotRingWidth = 1.5;
    static Chrome chrome(const ChromeInput& input);
    // The colours of the card that do not follow the status.
    static Rgba cardGround(bool dark);
    static Rgba terminalGround(bool dark);
    static Rgba terminalText();
    static Rgba primaryText(bool dark);
    static Rgba secondaryText(bool dark);
    // Text set back from the secondary (a badge without a browser), still 4.5:1 on its pill.
    static Rgba faintText(bool dark);
    // The status dot of a finished turn, and the sub line's "done" word (darker in the light theme,
    // for 4.5:1 on the wash).
    static Rgba doneGreen(bool dark);
    static Rgba doneText(bool dark);
    // A count of tiles waiting, as text (the waiting amber, darker in the light theme).
    static Rgba waitingText(bool dark);
    // The wash's strongest alpha, along its bottom edge.
    static double washAlpha(bool dark) { return dark ? 0.18 : 0.14; }
};

}  // namespace quiltdeck
