#include "platform/gfx/BidiTypesetter.h"

#include <unicode/ubidi.h>

#include <limits>

namespace platform::gfx {

namespace {

struct CloseBidi {
    void operator()(UBiDi* bidi) const { ubidi_close(bidi); }
};
using BidiHandle = std::unique_ptr<UBiDi, CloseBidi>;

}  // namespace

std::unique_ptr<BidiTypesetter> BidiTypesetter::make(std::u16string text, bool rightToLeft) {
    if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    const auto length = static_cast<int32_t>(text.size());
    BidiHandle paragraph(ubidi_openSized(length, 0, &status));
    if (U_FAILURE(status)) return nullptr;
    std::unique_ptr<BidiTypesetter> typesetter(new BidiTypesetter(std::move(text), nullptr));
    ubidi_setPara(paragraph.get(), reinterpret_cast<const UChar*>(typesetter->text_.data()), length,
                  rightToLeft ? 1 : 0, nullptr, &status);
    if (U_FAILURE(status)) return nullptr;
    typesetter->paragraph_ = paragraph.release();
    return typesetter;
}

BidiTypesetter::BidiTypesetter(std::u16string text, UBiDi* paragraph)
    : text_(std::move(text)), paragraph_(paragraph) {}

BidiTypesetter::~BidiTypesetter() {
    if (paragraph_) ubidi_close(paragraph_);
}

std::optional<std::vector<BidiTypesetter::Glyph>> BidiTypesetter::line(int start, int length) const {
    if (start < 0 || length <= 0 || start > this->length() - length) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    BidiHandle line(ubidi_openSized(length, 0, &status));
    if (U_FAILURE(status)) return std::nullopt;
    ubidi_setLine(paragraph_, start, start + length, line.get(), &status);
    if (U_FAILURE(status)) return std::nullopt;

    std::vector<bool> rightToLeft(static_cast<size_t>(length), false);
    const int32_t runs = ubidi_countRuns(line.get(), &status);
    if (U_FAILURE(status)) return std::nullopt;
    for (int32_t run = 0; run < runs; ++run) {
        int32_t logicalStart = 0, runLength = 0;
        if (ubidi_getVisualRun(line.get(), run, &logicalStart, &runLength) != UBIDI_RTL) continue;
        for (int32_t i = logicalStart; i < logicalStart + runLength && i < length; ++i) {
            rightToLeft[static_cast<size_t>(i)] = true;
        }
    }
    std::vector<int32_t> visualMap(static_cast<size_t>(ubidi_getResultLength(line.get())));
    if (U_FAILURE(status)) return std::nullopt;
    ubidi_getVisualMap(line.get(), visualMap.data(), &status);
    if (U_FAILURE(status)) return std::nullopt;

    std::vector<Glyph> glyphs;
    glyphs.reserve(visualMap.size());
    for (size_t visual = 0; visual < visualMap.size(); ++visual) {
        const int32_t logical = visualMap[visual];
        if (logical < 0 || logical >= length) continue;  // an inserted mark has no unit of its own
        glyphs.push_back({start + logical, static_cast<double>(visual), rightToLeft[static_cast<size_t>(logical)]});
    }
    return glyphs;
}

}  // namespace platform::gfx
