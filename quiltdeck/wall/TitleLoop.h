#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/shell/SessionStatus.h"

namespace quiltdeck {

// How the assistant CLI names the assistant's tiles: which tiles a tick asks
// about, the prompt that asks (for a batch and for one suggestion), and what
// the answer means. Pure; the grid controller runs the loop. Characters are
// user-perceived characters; white space is Unicode White_Space.
class TitleLoop {
public:
    TitleLoop() = delete;

    static constexpr platform::runtime::Duration tickInterval = std::chrono::seconds(5);
    // A tile is asked again only when more than this has passed since it was last asked.
    static constexpr platform::runtime::Duration minimumGap = std::chrono::seconds(30);
    static constexpr platform::runtime::Duration timeout = std::chrono::seconds(60);
    // What a tile contributes at most, before the ellipsis.
    static constexpr size_t textLimit = 1800;
    // Names of this many characters or more are refused.
    static constexpr size_t nameLimit = 90;

    // What decides whether a tile is asked about.
    struct Tile {
        bool isShell = false;
        SessionStatus status = SessionStatus::idle;
        bool titleDirty = false;
        bool pinnedTitle = false;
        std::string_view lastPrompt;
        bool hasResumeId = false;
        platform::runtime::TimePoint lastTitleAt = platform::runtime::TimePoint::min();
        // The prompt the tile had when an answer last failed to name it: until the prompt
        // changes, it is not asked about again (unless its title was reset since).
        std::optional<std::string_view> failedPrompt;
    };
    static bool isCandidate(const Tile& tile, platform::runtime::TimePoint now);

    // The words of the tile's last prompt (TileName::promptWords), or the end of its screen when
    // it has none, shortened.
    static std::string candidateText(std::string_view lastPrompt, const std::function<std::string()>& screenText);

    // Every text numbered from 1, in `language` (an English language name).
    static std::string batchPrompt(const std::vector<std::string>& texts, std::string_view language);
    static std::string suggestionPrompt(std::string_view text, std::string_view language);

    // One usable line of a batch answer: the candidate's 0-based index and its name.
    struct Name {
        size_t index = 0;
        std::string name;
        friend bool operator==(const Name&, const Name&) = default;
    };
    // The usable lines in their order; a later line may name a candidate again.
    static std::vector<Name> parseBatchReply(std::string_view reply, size_t candidateCount);
    // The name on the last line that is not blank; none when it comes out empty.
    static std::optional<std::string> parseSuggestion(std::string_view reply);
};

}  // namespace quiltdeck
