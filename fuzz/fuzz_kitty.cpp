// Feeds arbitrary bytes to the Kitty graphics control parser and payload decoder,
// and as APC G strings through a terminal: nothing may crash, hang or grow
// without bound, every decoded payload must match its declared size, and the
// decoded bytes the store and the lines hold must stay within the image budget
// (plus the image just shown).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <unordered_set>

#include "vantel/core/Terminal.h"
#include "vantel/graphics/KittyGraphicsControl.h"
#include "vantel/graphics/KittyGraphicsPayload.h"
#include "vantel/graphics/TerminalGraphics.h"

namespace {

class CellDelegate : public vantel::TerminalDelegate {
public:
    void send(vantel::Terminal&, std::span<const uint8_t>) override {}
    std::optional<std::pair<int, int>> cellSizeInPixels(vantel::Terminal&) override { return std::pair(7, 13); }
};

// Every payload the store and the slices of both screens hold, once each.
void checkBudget(vantel::Terminal& terminal, vantel::KittyGraphics& kitty, int64_t budget) {
    std::unordered_set<const vantel::KittyGraphicsPayload*> seen;
    int64_t held = 0;
    int64_t largest = 0;
    auto count = [&](const vantel::KittyGraphicsPayload* payload) {
        if (!payload || !seen.insert(payload).second) return;
        held += static_cast<int64_t>(payload->byteSize());
        largest = std::max(largest, static_cast<int64_t>(payload->byteSize()));
    };
    for (const auto& [id, image] : kitty.state().imagesById) count(image.payload.get());
    for (vantel::Buffer* buffer : {&terminal.normalBuffer(), &terminal.altBuffer()}) {
        for (int line = 0; line < buffer->lines().count(); ++line) {
            const vantel::TerminalImageList* images = buffer->lines()[line].images();
            if (!images) continue;
            for (const auto& image : *images) {
                if (auto* slice = vantel::asKittyImage(image)) count(slice->source.get());
            }
        }
    }
    if (held > budget + largest || held != kitty.memory().heldBytes() ||
        kitty.state().imagesById.size() > kitty.limits().maximumImages) {
        std::abort();
    }
}

void checkPayload(const std::optional<vantel::KittyGraphicsPayload>& payload) {
    if (!payload || payload->isPng()) return;
    if (payload->bytes.size() != static_cast<size_t>(payload->width) * static_cast<size_t>(payload->height) * 4)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool installed = (vantel::installGraphicsProtocols(), true);
    (void)installed;
    const std::span<const uint8_t> input(data, size);

    const auto command = vantel::parseKittyGraphicsControl(input);
    // Only the in-band medium: the fuzzer must not touch files or shared memory.
    checkPayload(vantel::decodeKittyPayload(command.control, command.payload));
    if (!command.payload.empty()) {
        std::vector<uint8_t> raw(command.payload.begin(), command.payload.end());
        checkPayload(vantel::decodeKittyPayloadData(command.control, raw));
        (void)vantel::decodePngToRgba(raw);
        (void)vantel::decompressZlib(raw, 1 << 20);
    }

    // Through the parser: split into several commands at '\n', each in-band only.
    vantel::TerminalOptions options;
    options.cols = 20;
    options.rows = 6;
    options.kittyImageCacheLimitBytes = 1 << 20;
    options.scrollback = 20;
    CellDelegate delegate;
    vantel::Terminal terminal(&delegate, options);
    vantel::KittyGraphics& kitty = *vantel::kittyGraphicsOf(terminal);
    // Small counts, so that short inputs reach the eviction paths.
    kitty.setLimits({.maximumImages = 64, .maximumPlacements = 64, .maximumImagesPerLine = 8});
    size_t start = 0;
    while (start <= size) {
        size_t end = start;
        while (end < size && data[end] != '\n') ++end;
        std::string body(reinterpret_cast<const char*>(data) + start, end - start);
        for (const char* medium : {"t=f", "t=t", "t=s"}) {
            for (size_t at = body.find(medium); at != std::string::npos; at = body.find(medium)) body[at + 2] = 'd';
        }
        terminal.feed("\x1b_G" + body + "\x1b\\");
        checkBudget(terminal, kitty, options.kittyImageCacheLimitBytes);
        start = end + 1;
    }
    return 0;
}
