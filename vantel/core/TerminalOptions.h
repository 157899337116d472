#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vantel/core/BidiPresentationState.h"
#include "vantel/core/Color.h"

namespace vantel {

enum class CursorStyle : uint8_t { blinkBlock, steadyBlock, blinkUnderline, steadyUnderline, blinkBar, steadyBar };

const char* tagName(CursorStyle style);
const char* displayName(CursorStyle style);
const std::vector<CursorStyle>& allCursorStyles();
// Exact, case-sensitive match of a tag name.
std::optional<CursorStyle> cursorStyleFromTagName(const std::string& tagName);

enum class RegionalIndicatorWidth : uint8_t { wide, narrow };

// Construction options of a terminal.
struct TerminalOptions {
    int cols = 80;
    int rows = 25;
    bool convertEol = false;
    std::string termName = "xterm-256color";
    CursorStyle cursorStyle = CursorStyle::blinkBlock;
    bool screenReaderMode = false;
    int scrollback = 500;
    int tabStopWidth = 8;
    bool enableSixelReported = true;
    int64_t kittyImageCacheLimitBytes = 320 * 1024 * 1024;
    Ansi256PaletteStrategy ansi256PaletteStrategy = Ansi256PaletteStrategy::base16Lab;
    RegionalIndicatorWidth regionalIndicatorWidth = RegionalIndicatorWidth::wide;
    BidiPresentationState initialBidiState;
    int maximumBidiParagraphRows = 500;
    bool initialBidiArrowKeySwap = false;
    // Longest OSC, DCS or APC string accepted; a longer one is dropped whole.
    size_t maximumStringLength = 16 * 1024 * 1024;
    // Live payload codes (hyperlinks, host values) one terminal may hold of the
    // process-wide table; past it new ones get none, so one terminal cannot take them all.
    size_t maximumPayloadCodes = 4096;

    void setMaximumBidiParagraphRows(int rows) { maximumBidiParagraphRows = rows < 1 ? 1 : rows; }
    static const TerminalOptions& defaultOptions();
};

// Version data of the library, quoted by the version report.
struct VantelBuildInfo {
    static const std::optional<std::string> tag;
    static const std::optional<std::string> branch;
    static const std::string version;
    static const std::optional<std::string> commit;
    static const std::optional<bool> hasUncommittedChanges;
};

}  // namespace vantel
