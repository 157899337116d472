#include "vantel/graphics/SixelDcsHandler.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

using Limits = SixelDcsHandler::Limits;

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Plain decimal digits, saturating so that no count or register can overflow.
int readNumber(const uint8_t*& p, const uint8_t* end) {
    int value = 0;
    for (; p < end && isDigit(*p); ++p) value = std::min(value * 10 + (*p - '0'), SixelDcsHandler::maximumNumber);
    return value;
}

// The numbers after '#', separated by ';'. Only the first five mean anything.
struct ColorIntroducer {
    std::array<int, 5> values{};
    int count = 0;
};

ColorIntroducer readColorIntroducer(const uint8_t*& p, const uint8_t* end) {
    ColorIntroducer introducer;
    while (p < end && isDigit(*p)) {
        const int value = readNumber(p, end);
        if (introducer.count < 5) introducer.values[introducer.count++] = value;
        if (p == end || *p != ';') break;
        ++p;
    }
    return introducer;
}

// Walks the payload the same way for both passes, so that every pixel the
// drawing pass writes lies inside the bitmap the sizing pass measured.
template <class Pass>
void walk(std::span<const uint8_t> payload, Pass& pass) {
    const uint8_t* p = payload.data();
    const uint8_t* const end = p + payload.size();
    int64_t x = 0;
    int64_t y = 0;
    int repeat = 1;
    while (p < end) {
        const uint8_t c = *p++;
        if (c >= 0x3F && c <= 0x7E) {
            if (!pass.sixel(x, y, c - 0x3F, repeat)) return;
            x += repeat;
            repeat = 1;
            continue;
        }
        switch (c) {
        case '#': {
            const ColorIntroducer introducer = readColorIntroducer(p, end);
            // A '#' without numbers ends the image; what was drawn so far stands.
            if (introducer.count == 0) {
                pass.finish(x);
                return;
            }
            pass.select(introducer);
            repeat = 1;
            break;
        }
        case '-':
            pass.endLine(x);
            y += 6;
            x = 0;
            break;
        case '$':
            pass.endLine(x);
            x = 0;
            break;
        case '!':
            if (p < end && isDigit(*p)) repeat = readNumber(p, end);
            break;
        default: break;
        }
    }
    pass.finish(x);
}

struct SizingPass {
    const Limits& limits;
    int64_t maxX = 0;
    int64_t maxY = 0;
    int64_t pixelWrites = 0;
    bool overLimit = false;

    bool sixel(int64_t x, int64_t y, int bits, int repeat) {
        if (bits) maxY = std::max(maxY, y + std::bit_width(static_cast<unsigned>(bits)));
        pixelWrites += int64_t{std::popcount(static_cast<unsigned>(bits))} * repeat;
        // Stop at once: the rest of a huge payload cannot bring the image back under the caps.
        if (x + repeat > limits.maximumWidth || maxY > limits.maximumHeight) {
            overLimit = true;
            return false;
        }
        return true;
    }
    void select(const ColorIntroducer&) {}
    void endLine(int64_t x) { maxX = std::max(maxX, x); }
    void finish(int64_t x) { maxX = std::max(maxX, x); }
};

struct DrawingPass {
    const Terminal& terminal;
    uint8_t* pixels;
    int64_t width;
    int64_t height;
    // Packed 0xRRGGBBAA; 0 marks a register never defined (a defined one is opaque).
    std::vector<uint32_t> palette;
    std::array<uint8_t, 4> color{};

    bool sixel(int64_t x, int64_t y, int bits, int repeat) {
        if (bits == 0 || repeat == 0) return true;
        if (x + repeat > width || y + std::bit_width(static_cast<unsigned>(bits)) > height) return false;
        const size_t stride = static_cast<size_t>(width) * 4;
        uint8_t* const column = pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4;
        // A local copy: stores through the byte pointer could otherwise alias the member.
        const std::array<uint8_t, 4> rgba = color;
        for (unsigned rest = static_cast<unsigned>(bits); rest != 0; rest &= rest - 1) {
            uint8_t* out = column + static_cast<size_t>(std::countr_zero(rest)) * stride;
            for (int r = 0; r < repeat; ++r, out += 4) std::memcpy(out, rgba.data(), 4);
        }
        return true;
    }

    void select(const ColorIntroducer& introducer) {
        const int index = introducer.values[0];
        if (introducer.count >= 5) updatePaletteEntry(introducer.values);
        color = lookup(index);
    }
    void endLine(int64_t) {}
    void finish(int64_t) {}

    void updatePaletteEntry(const std::array<int, 5>& params) {
        const int index = params[0];
        if (index > SixelDcsHandler::maximumColorRegister) return;
        uint32_t packed;
        if (params[1] == 2) {
            packed = SixelDcsHandler::sixelRgb(params[2], params[3], params[4]);
        } else if (params[1] == 1) {
            const uint32_t rgb = SixelDcsHandler::hlsToRgb(std::clamp(params[2], 0, 360), std::clamp(params[3], 0, 100),
                                                           std::clamp(params[4], 0, 100));
            packed = rgb << 8 | 0xFF;
        } else {
            return;
        }
        if (static_cast<size_t>(index) >= palette.size()) palette.resize(static_cast<size_t>(index) + 1, 0);
        palette[static_cast<size_t>(index)] = packed;
    }

    // A defined register; else the terminal's colour of that number; else transparent.
    std::array<uint8_t, 4> lookup(int index) const {
        if (static_cast<size_t>(index) < palette.size() && palette[static_cast<size_t>(index)] != 0) {
            const uint32_t v = palette[static_cast<size_t>(index)];
            return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v)};
        }
        if (static_cast<size_t>(index) < terminal.ansiColors.size()) {
            const Color& c = terminal.ansiColors[static_cast<size_t>(index)];
            return {static_cast<uint8_t>(c.red >> 8), static_cast<uint8_t>(c.green >> 8),
                    static_cast<uint8_t>(c.blue >> 8), 255};
        }
        return {0, 0, 0, 0};
    }
};

}  // namespace

SixelDcsHandler::SixelDcsHandler(Terminal& terminal) : SixelDcsHandler(terminal, Limits()) {}

SixelDcsHandler::SixelDcsHandler(Terminal& terminal, Limits limits) : terminal_(terminal), limits_(limits) {}

void SixelDcsHandler::hook(std::string_view, std::span<const int>, uint8_t) {
    data_.clear();
    dataTooLong_ = false;
}

void SixelDcsHandler::put(std::span<const uint8_t> data) {
    if (dataTooLong_) return;
    if (data.size() > limits_.maximumDataBytes - data_.size()) {
        dataTooLong_ = true;
        std::vector<uint8_t>().swap(data_);
        return;
    }
    try {
        data_.insert(data_.end(), data.begin(), data.end());
    } catch (const std::bad_alloc&) {
        dataTooLong_ = true;
        std::vector<uint8_t>().swap(data_);
    }
}

void SixelDcsHandler::unhook() {
    const std::vector<uint8_t> data = std::move(data_);
    data_ = {};
    if (dataTooLong_) {
        dataTooLong_ = false;
        return;
    }

    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    // Raster attributes and anything else before the first colour introducer are skipped.
    const auto start = std::find(data.begin(), data.end(), uint8_t('#'));
    if (start != data.end()) {
        const std::span<const uint8_t> payload(&*start, static_cast<size_t>(data.end() - start));
        SizingPass sizing{limits_};
        walk(payload, sizing);
        if (sizing.overLimit || sizing.maxX > limits_.maximumWidth || sizing.maxY > limits_.maximumHeight) return;
        const uint64_t bytes = static_cast<uint64_t>(sizing.maxX) * static_cast<uint64_t>(sizing.maxY) * 4;
        if (bytes > limits_.maximumBitmapBytes) return;
        const int64_t paintBudget =
            std::max(sizing.maxX * sizing.maxY * limits_.maximumOverdraw, limits_.minimumPaintBudget);
        if (sizing.pixelWrites > paintBudget) return;
        width = static_cast<int>(sizing.maxX);
        height = static_cast<int>(sizing.maxY);
        if (bytes > 0) {
            try {
                pixels.assign(static_cast<size_t>(bytes), 0);
                DrawingPass drawing{terminal_, pixels.data(), width, height, {}, {}};
                walk(payload, drawing);
            } catch (const std::bad_alloc&) {
                return;
            }
        }
    }
    if (TerminalDelegate* delegate = terminal_.delegate())
        delegate->createImageFromBitmap(terminal_, pixels, width, height);
}

uint8_t SixelDcsHandler::pctToByte(int percent) {
    return static_cast<uint8_t>(std::clamp(percent, 0, 100) * 255 / 100);
}

uint32_t SixelDcsHandler::sixelXrgb(int red, int green, int blue) {
    return uint32_t{pctToByte(red)} << 16 | uint32_t{pctToByte(green)} << 8 | uint32_t{pctToByte(blue)};
}

uint32_t SixelDcsHandler::sixelRgb(int red, int green, int blue) { return sixelXrgb(red, green, blue) << 8 | 0xFF; }

uint32_t SixelDcsHandler::hlsToRgb(int hue, int lum, int sat) {
    if (sat == 0) {
        const int grey = std::clamp(lum, 0, 100);
        return sixelXrgb(grey, grey, grey);
    }
    // DEC hues start at blue: rotate so that sector 0 starts at red.
    const int h = static_cast<int>(((int64_t{hue} + 240) % 360 + 360) % 360);
    const double c = (1.0 - std::fabs(2.0 * lum / 100.0 - 1.0)) * sat * 0.5;
    const double max = lum + c;
    const double min = lum - c;
    auto t = [&](double a) { return a / 60.0 * (max - min) + min; };
    double r = 0, g = 0, b = 0;
    switch (h / 60) {
    case 0: r = max, g = t(h), b = min; break;
    case 1: r = t(120 - h), g = max, b = min; break;
    case 2: r = min, g = max, b = t(h - 120); break;
    case 3: r = min, g = t(240 - h), b = max; break;
    case 4: r = t(h - 240), g = min, b = max; break;
    default: r = max, g = min, b = t(360 - h); break;
    }
    // Clamping before the cast truncates the same way and keeps the cast in range.
    auto percent = [](double v) { return static_cast<int>(std::clamp(v, 0.0, 100.0)); };
    return sixelXrgb(percent(r), percent(g), percent(b));
}

}  // namespace vantel
