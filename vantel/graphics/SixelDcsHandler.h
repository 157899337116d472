#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "vantel/core/DcsHandler.h"

namespace vantel {

class Terminal;

// Decodes one Sixel image (DCS q) into an RGBA bitmap and hands it to the
// terminal's delegate. One handler per DCS string; colour registers do not
// carry over from one image to the next.
class SixelDcsHandler : public DcsHandler {
public:
    // An image over any of these is dropped: never allocated, never delivered.
    struct Limits {
        size_t maximumDataBytes = size_t{64} * 1024 * 1024;
        int maximumWidth = 10'000;
        int maximumHeight = 10'000;
        size_t maximumBitmapBytes = 400'000'000;
        // Pixel writes allowed per bitmap pixel: painting one area over and over
        // (a run of "!9999~$") would otherwise cost seconds per megabyte.
        int maximumOverdraw = 16;
        // Pixel writes any image may make, however small.
        int64_t minimumPaintBudget = int64_t{1} << 22;
    };
    // Parameters and repeat counts saturate here; nothing they size can reach it.
    static constexpr int maximumNumber = 1'000'000;
    // Registers above this are never defined and draw transparent.
    static constexpr int maximumColorRegister = 65'535;

    explicit SixelDcsHandler(Terminal& terminal);
    SixelDcsHandler(Terminal& terminal, Limits limits);

    void hook(std::string_view collect, std::span<const int> parameters, uint8_t flag) override;
    void put(std::span<const uint8_t> data) override;
    void unhook() override;

    // A percentage (clamped to 0...100) as a byte, truncating.
    static uint8_t pctToByte(int percent);
    // Percentages as 0xRRGGBBFF, the packing of the colour registers.
    static uint32_t sixelRgb(int red, int green, int blue);
    // Percentages as 0x00RRGGBB.
    static uint32_t sixelXrgb(int red, int green, int blue);
    // DEC HLS (hue 0 is blue) as 0x00RRGGBB.
    static uint32_t hlsToRgb(int hue, int lum, int sat);

private:
    std::vector<uint8_t> data_;
    Terminal& terminal_;
    Limits limits_;
    bool dataTooLong_ = false;
};

}  // namespace vantel
