// Prints how fast a Sixel image decodes through the terminal: a 1000 x 1002
// picture in 16 registers, written band by band and colour by colour as
// encoders emit it.
#include <chrono>
#include <cstdio>
#include <span>
#include <string>

#include "vantel/core/Terminal.h"
#include "vantel/graphics/SixelDcsHandler.h"
#include "vantel/graphics/TerminalGraphics.h"

namespace {

class CountingDelegate : public vantel::TerminalDelegate {
public:
    void send(vantel::Terminal&, std::span<const uint8_t>) override {}
    void createImageFromBitmap(vantel::Terminal&, std::vector<uint8_t>& bytes, int, int) override {
        pixelBytes += bytes.size();
    }
    size_t pixelBytes = 0;
};

std::string makeImage(int width, int bands, int colors) {
    auto number = [](std::string& out, int value, const char* after) {
        out += std::to_string(value);
        out += after;
    };
    std::string out = "\x1bPq\"1;1;";
    number(out, width, ";");
    number(out, bands * 6, "");
    for (int c = 0; c < colors; ++c) {
        out += '#';
        number(out, c, ";2;");
        number(out, c * 6, ";50;");
        number(out, 100 - c * 6, "");
    }
    for (int band = 0; band < bands; ++band) {
        for (int c = 0; c < colors; ++c) {
            out += '#';
            number(out, c, "");
            for (int x = 0; x < width; x += 8) {
                const char sixel = static_cast<char>(0x3F + ((x / 8 + band + c) % 64));
                if ((x / 8 + c) % 3 == 0) {
                    out += "!8";
                    out += sixel;
                } else {
                    out.append(8, sixel);
                }
            }
            out += '$';
        }
        out += '-';
    }
    out += "\x1b\\";
    return out;
}

}  // namespace

int main() {
    vantel::installGraphicsProtocols();
    CountingDelegate delegate;
    vantel::Terminal terminal(&delegate, vantel::TerminalOptions());
    const std::string image = makeImage(1000, 167, 16);
    const int runs = 20;
    auto report = [&](const char* what, auto&& decodeOnce) {
        delegate.pixelBytes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < runs; ++i) decodeOnce();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s: %.1f MB/s of payload, %.1f megapixels/s, %.2f ms per %zu-byte image\n", what,
                    image.size() * runs / seconds / 1e6, delegate.pixelBytes / 4.0 / seconds / 1e6,
                    seconds / runs * 1e3, image.size());
    };
    report("sixel through the parser", [&] { terminal.feed(image); });
    const auto payload = std::span(reinterpret_cast<const uint8_t*>(image.data()), image.size()).subspan(3);
    report("sixel decoder alone", [&] {
        vantel::SixelDcsHandler handler(terminal);
        handler.hook("", {}, 'q');
        handler.put(payload);
        handler.unhook();
    });
    return 0;
}
