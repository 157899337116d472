// Mouse and focus reports: the encodings of modes 9, 1000-1003 and 1005, 1006, 1015, 1016.
#include <algorithm>
#include <climits>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

// Callers promise non-negative values; anything else is pinned so the arithmetic stays defined.
int nonNegative(int value) { return std::clamp(value, 0, INT_MAX / 2); }

// "a;b;c" in decimal.
void appendFields(std::string& out, int a, int b, int c) {
    out += std::to_string(a);
    out += ';';
    out += std::to_string(b);
    out += ';';
    out += std::to_string(c);
}

}  // namespace

void Terminal::setMouseMode(MouseMode mode) {
    mouseMode = mode;
    if (tdel_) tdel_->mouseModeChanged(*this);
}

int Terminal::encodeButton(int button, bool release, bool shift, bool meta, bool control) const {
    int value;
    if (release) {
        value = 3;
    } else {
        switch (button) {
        case 1: value = 1; break;
        case 2: value = 2; break;
        case 4: value = 64; break;  // wheel up
        case 5: value = 65; break;  // wheel down
        default: value = 0; break;
        }
    }
    if (sendsModifiers(mouseMode)) {
        if (shift) value |= 4;
        if (meta) value |= 8;
        if (control) value |= 16;
    }
    return value;
}

void Terminal::encodeMouseUtf(std::string& data, int ch) {
    ch = std::max(ch, 0);
    if (ch < 127) {
        data.push_back(static_cast<char>(ch));
    } else if (ch == 2047) {
        data.push_back('\0');
    } else {
        data.push_back(static_cast<char>(0xC0 | (std::min(ch, 2047) >> 6)));
        data.push_back(static_cast<char>(0x80 | (ch <= 2046 ? (ch & 0x3F) : 0x3F)));
    }
}

void Terminal::sendEvent(int buttonFlags, int x, int y, int pixelX, int pixelY) {
    const int flags = nonNegative(buttonFlags);
    x = nonNegative(x);
    y = nonNegative(y);
    std::string reply = csi();
    switch (mouseProtocol) {
    case MouseProtocolEncoding::x10:
        // One byte each: positions past 222 cannot be expressed and read as 255.
        reply += 'M';
        reply.push_back(static_cast<char>(std::min(flags + 32, 255)));
        reply.push_back(static_cast<char>(std::min(x + 33, 255)));
        reply.push_back(static_cast<char>(std::min(y + 33, 255)));
        break;
    case MouseProtocolEncoding::utf8:
        reply += 'M';
        encodeMouseUtf(reply, flags + 32);
        encodeMouseUtf(reply, x + 33);
        encodeMouseUtf(reply, y + 33);
        break;
    case MouseProtocolEncoding::urxvt:
        appendFields(reply, flags + 32, x + 1, y + 1);
        reply += 'M';
        break;
    case MouseProtocolEncoding::sgr:
    case MouseProtocolEncoding::sgrPixel: {
        // A release reports button 0 with its modifiers and ends in 'm'.
        const bool isRelease = (flags & 0x23) == 3;
        const int button = isRelease ? flags & ~0x23 : flags;
        const bool pixels = mouseProtocol == MouseProtocolEncoding::sgrPixel;
        reply += '<';
        appendFields(reply, button, pixels ? nonNegative(pixelX) : x + 1, pixels ? nonNegative(pixelY) : y + 1);
        reply += isRelease ? 'm' : 'M';
        break;
    }
    }
    sendResponse(std::string_view(reply));
}

void Terminal::setTerminalFocus(bool focused) {
    reportedFocusState = focused;
    if (sendFocus) sendFocusReport();
}

void Terminal::sendFocusReport() { sendResponseParts(csi(), reportedFocusState ? "I" : "O"); }

}  // namespace vantel
