// Device reports: DA, DSR and CPR, DECRQSS, XTVERSION, DECRQCRA.
#include <algorithm>
#include <array>
#include <cstdio>

#include "vantel/core/TextUtil.h"
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdSendDeviceAttributes(std::span<const int> pars, std::string_view collect) {
    if (!pars.empty() && pars[0] > 0) {
        if (!silentLog) log("SendDeviceAttributes got " + text::decimalList(pars) + " and " + std::string(collect));
        return;
    }
    if (collect == ">") {
        sendResponseParts(csi(), ">65;20;1c");
        return;
    }
    if (!collect.empty()) return;
    const std::string& name = options_.termName;
    if (name.starts_with("xterm")) {
        sendResponseParts(csi(), "?65", options_.enableSixelReported ? ";4" : "", ";1;6;21;22;17;28c");
    } else if (name.starts_with("screen") || name.starts_with("rxvt-unicode")) {
        sendResponseParts(csi(), "?1;2c");
    } else if (name.starts_with("linux")) {
        sendResponseParts(csi(), "?6c");
    }
}

void Terminal::cmdDeviceStatus(std::span<const int> pars, std::string_view collect) {
    if (pars.empty()) return;
    // Past the last column the cursor only waits to wrap; it is reported in the last column.
    const int x = std::min(buffer_->x(), cols_ - 1);
    const int y = buffer_->y();
    const auto [rowOffset, colOffset] = originOffsets();
    if (collect.empty()) {
        switch (pars[0]) {
        case 5: sendResponseParts(csi(), "0n"); break;
        case 6: {
            const int row = std::max(1, y + 1 - rowOffset);
            const int col = std::max(1, x + 1 - colOffset);
            sendResponseParts(csi(), std::to_string(row), ";", std::to_string(col), "R");
            break;
        }
        default: break;
        }
        return;
    }
    if (collect != "?") return;
    switch (pars[0]) {
    case 6: {
        const int row = y + 1 - rowOffset;
        const int col = std::max(1, x + 1 - colOffset);
        sendResponseParts(csi(), "?", std::to_string(row), ";", std::to_string(col), ";1R");
        break;
    }
    case 15: sendResponseParts(csi(), "?10n"); break;
    case 25: sendResponseParts(csi(), "?21n"); break;
    case 26: sendResponseParts(csi(), "?27;1;0;0n"); break;
    case 55: sendResponseParts(csi(), "?53n"); break;
    case 56: sendResponseParts(csi(), "?57;1n"); break;
    case 62: sendResponseParts(csi(), "0*{"); break;
    case 63: sendResponseParts(dcs(), std::to_string(pars.size() > 1 ? pars[1] : 0), "!~0000", st()); break;
    case 75: sendResponseParts(csi(), "?70n"); break;
    case 85: sendResponseParts(csi(), "?83n"); break;
    default: break;
    }
}

// --- XTVERSION ------------------------------------------------------------------------------

namespace {

std::string printableAscii(const std::optional<std::string>& text) {
    std::string out;
    if (!text) return out;
    for (char c : *text) {
        if (c >= 0x20 && c <= 0x7E) out += c;
    }
    return out;
}

}  // namespace

std::string Terminal::xtVersionIdentity(const std::optional<std::string>& tag, const std::optional<std::string>& branch,
                                        const std::optional<std::string>& version) {
    std::string identity = "Vantel";
    std::string tagText = printableAscii(tag);
    if (tagText.starts_with("v")) tagText.erase(0, 1);
    if (!tagText.empty()) identity += " " + tagText;
    const std::string branchText = printableAscii(branch);
    if (!branchText.empty()) identity += "-" + branchText;
    const std::string versionText = printableAscii(version);
    if (!versionText.empty() && versionText != "unknown") identity += "+" + versionText;
    identity += ":";
    if (identity.size() > 256) {
        identity.resize(255);
        identity += ":";
    }
    return identity;
}

void Terminal::cmdXTVERSION(std::span<const int> pars, std::string_view collect) {
    if (collect != ">" || pars.size() != 1 || pars[0] != 0) return;
    // Always 7-bit: the reply is read by programs that never asked for 8-bit controls.
    sendResponseParts("\x1bP>|", xtVersionIdentity("v1.20.0", std::nullopt, VantelBuildInfo::version), "\x1b\\");
}

// --- DECRQSS --------------------------------------------------------------------------------

namespace {

// The DECSCUSR parameter that selects a style (the blinking block answers 1, not 0).
int cursorStyleParameter(CursorStyle style) {
    switch (style) {
    case CursorStyle::blinkBlock: return 1;
    case CursorStyle::steadyBlock: return 2;
    case CursorStyle::blinkUnderline: return 3;
    case CursorStyle::steadyUnderline: return 4;
    case CursorStyle::blinkBar: return 5;
    case CursorStyle::steadyBar: return 6;
    }
    return 1;
}

}  // namespace

// Collects the request of DCS $ q and answers at the end of the string. Requests are a
// few bytes; anything longer is not one we know, so it is neither kept nor looked at.
class Terminal::DECRQSS final : public DcsHandler {
public:
    static constexpr size_t maximumRequestLength = 64;

    explicit DECRQSS(Terminal& terminal) : terminal_(terminal) {}

    void hook(std::string_view, std::span<const int>, uint8_t) override {
        size_ = 0;
        overflow_ = false;
    }

    void put(std::span<const uint8_t> data) override {
        if (overflow_) return;
        if (data.size() > maximumRequestLength - size_) {
            overflow_ = true;
            return;
        }
        std::copy(data.begin(), data.end(), data_.begin() + size_);
        size_ += data.size();
    }

    void unhook() override {
        const std::string_view request(data_.data(), size_);
        std::optional<std::string> value;
        if (!overflow_) value = settingValue(request);
        if (!value) {
            if (!terminal_.silentLog) terminal_.log("Unknown DCS + " + std::string(request));
            terminal_.sendResponseParts(terminal_.dcs(), "0$r", terminal_.st());
            return;
        }
        terminal_.sendResponseParts(terminal_.dcs(), "1$r", *value, terminal_.st());
    }

private:
    std::optional<std::string> settingValue(std::string_view request) const {
        const Buffer& b = terminal_.buffer();
        if (request == "\"q") return std::string("\"q");
        if (request == "\"p") return std::string("65;1\"p");
        if (request == "r") return std::to_string(b.scrollTop() + 1) + ";" + std::to_string(b.scrollBottom() + 1) + "r";
        if (request == "m") return terminal_.curAttr.toSgr();
        if (request == "s") return std::to_string(b.marginLeft + 1) + ";" + std::to_string(b.marginRight + 1) + "s";
        if (request == " q") return std::to_string(cursorStyleParameter(terminal_.options().cursorStyle)) + " q";
        return std::nullopt;
    }

    Terminal& terminal_;
    std::array<char, maximumRequestLength> data_{};
    size_t size_ = 0;
    bool overflow_ = false;
};

std::unique_ptr<DcsHandler> Terminal::makeDecrqssHandler() { return std::make_unique<DECRQSS>(*this); }

// --- DECRQCRA -------------------------------------------------------------------------------

void Terminal::cmdDECRQCRA(std::span<const int> pars) {
    const int pid = pars.empty() ? 1 : pars[0];
    std::string checksum = "0000";
    if (tdel_ && tdel_->isProcessTrusted(*this) && pars.size() >= 3) {
        // A 32-bit sum that wraps around, as a terminal's register would.
        uint32_t sum = 0;
        if (auto area = getRectangleFromRequest(pars.subspan(2))) {
            for (int row = area->top; row <= area->bottom; ++row) {
                const BufferLine& line = buffer_->lines()[buffer_->yBase() + row];
                for (int col = area->left; col <= area->right; ++col) {
                    const int32_t code = line[col].code;
                    if (code == 0) {
                        sum += 0x20;
                    } else if (code <= CharData::maxRune) {
                        // Codes that are no scalar read as a space, as they are drawn.
                        const auto scalar = static_cast<uint32_t>(code);
                        sum += isUnicodeScalar(scalar) ? scalar : 0x20;
                    } else {
                        for (char32_t scalar : character(code)) sum += static_cast<uint32_t>(scalar);
                    }
                }
            }
        }
        char text[16];
        std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(sum));
        checksum = text;
    }
    sendResponseParts(dcs(), std::to_string(pid), "!~", checksum, st());
}

}  // namespace vantel
