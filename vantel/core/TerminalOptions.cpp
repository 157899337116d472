#include "vantel/core/TerminalOptions.h"

namespace vantel {

namespace {

struct CursorStyleNames {
    CursorStyle style;
    const char* tag;
    const char* display;
};

constexpr CursorStyleNames cursorStyleNames[] = {
    {CursorStyle::blinkBlock, "blinkBlock", "Blinking Block"},
    {CursorStyle::steadyBlock, "steadyBlock", "Steady Block"},
    {CursorStyle::blinkUnderline, "blinkUnderline", "Blinking Underline"},
    {CursorStyle::steadyUnderline, "steadyUnderline", "Steady Underline"},
    {CursorStyle::blinkBar, "blinkBar", "Blinking Bar"},
    {CursorStyle::steadyBar, "steadyBar", "Steady Bar"},
};

}  // namespace

const char* tagName(CursorStyle style) { return cursorStyleNames[static_cast<int>(style)].tag; }
const char* displayName(CursorStyle style) { return cursorStyleNames[static_cast<int>(style)].display; }

const std::vector<CursorStyle>& allCursorStyles() {
    static const std::vector<CursorStyle> all = {CursorStyle::blinkBlock,      CursorStyle::steadyBlock,
                                                 CursorStyle::blinkUnderline,  CursorStyle::steadyUnderline,
                                                 CursorStyle::blinkBar,        CursorStyle::steadyBar};
    return all;
}

std::optional<CursorStyle> cursorStyleFromTagName(const std::string& name) {
    for (const auto& entry : cursorStyleNames) {
        if (name == entry.tag) return entry.style;
    }
    return std::nullopt;
}

const TerminalOptions& TerminalOptions::defaultOptions() {
    static const TerminalOptions options;
    return options;
}

#ifndef VANTEL_BUILD_COMMIT
#define VANTEL_BUILD_COMMIT ""
#endif

const std::optional<std::string> VantelBuildInfo::tag = "v1.20.0";
const std::optional<std::string> VantelBuildInfo::branch = std::nullopt;
const std::string VantelBuildInfo::version = "v1.20.0";
const std::optional<std::string> VantelBuildInfo::commit =
    std::string(VANTEL_BUILD_COMMIT).empty() ? std::nullopt : std::optional<std::string>(VANTEL_BUILD_COMMIT);
const std::optional<bool> VantelBuildInfo::hasUncommittedChanges = false;

}  // namespace vantel
