#include "quiltdeck/panels/InstallFailure.h"

#include <charconv>
#include <optional>

#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {

namespace {

enum class Downloader { curl, wget };

// The number that opens `text` and the rest after `close`, or nothing.
std::optional<int> leadingNumber(std::string_view text, char close) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() + text.size() || *end != close) return std::nullopt;
    return value;
}

// The key of the cause of a download tool's exit code; empty when the code says nothing a user can act on.
std::string_view causeKey(Downloader tool, int code) {
    if (tool == Downloader::wget) {
        switch (code) {
            case 4: return "ob_fail_connect";
            case 5: return "ob_fail_tls";
            case 8: return "ob_fail_http";
            default: return {};
        }
    }
    switch (code) {
        case 5:
        case 6: return "ob_fail_resolve";
        case 7: return "ob_fail_connect";
        case 28: return "ob_fail_timeout";
        case 22: return "ob_fail_http";
        case 16:
        case 18:
        case 56:
        case 92: return "ob_fail_cut";
        case 23: return "ob_fail_save";
        case 35:
        case 51:
        case 53:
        case 54:
        case 58:
        case 59:
        case 60:
        case 64:
        case 66:
        case 77:
        case 80:
        case 82:
        case 83:
        case 90:
        case 91: return "ob_fail_tls";
        default: return {};
    }
}

std::string downloadFailed(Downloader tool, int code, std::string_view toolLine) {
    const std::string_view key = causeKey(tool, code);
    std::string text = t(key.empty() ? "ob_fail_download" : key);
    if (!toolLine.empty()) {
        text += '\n';
        text += toolLine;
    }
    return text;
}

}  // namespace

std::string InstallFailure::text(int32_t status, std::string_view lastLine) {
    if (lastLine == notAScript) return t("ob_fail_not_script");
    if (lastLine == noDownloader) return t("ob_fail_no_downloader");
    if (lastLine.starts_with(wgetFailed)) {
        if (const auto code = leadingNumber(lastLine.substr(wgetFailed.size()), ')'))
            return downloadFailed(Downloader::wget, *code, {});
    }
    // curl -S: "curl: (6) Could not resolve host: claude.ai", from the job's download or the installer's own.
    constexpr std::string_view curlError = "curl: (";
    if (lastLine.starts_with(curlError)) {
        if (const auto code = leadingNumber(lastLine.substr(curlError.size()), ')'))
            return downloadFailed(Downloader::curl, *code, lastLine);
    }
    std::string text = t("ob_failed_code", {status});
    if (!lastLine.empty()) {
        text += '\n';
        text += lastLine;
    }
    return text;
}

}  // namespace quiltdeck
