#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct UBiDi;

namespace platform::gfx {

// The Unicode Bidirectional Algorithm (ICU) over one paragraph of UTF-16 text with a forced base
// direction. Levels are resolved over the whole text; lines are any sub-range of it, each
// reordered on its own, and read back as glyph positions would be: one glyph per unit.
class BidiTypesetter {
public:
    struct Glyph {
        int stringIndex = 0;  // in the whole text
        double x = 0;         // visual position on its line; every unit is one wide
        bool rightToLeft = false;  // the glyph's run is right to left
    };

    // Null for empty text, text longer than ICU takes, or when ICU fails.
    static std::unique_ptr<BidiTypesetter> make(std::u16string text, bool rightToLeft);
    ~BidiTypesetter();
    BidiTypesetter(const BidiTypesetter&) = delete;
    BidiTypesetter& operator=(const BidiTypesetter&) = delete;

    int length() const { return static_cast<int>(text_.size()); }
    // The glyphs of text[start, start + length) in visual order; nothing when the range is not
    // inside the text or ICU refuses it (a line may not cross a paragraph separator).
    std::optional<std::vector<Glyph>> line(int start, int length) const;

private:
    BidiTypesetter(std::u16string text, UBiDi* paragraph);

    std::u16string text_;  // ICU reads it in place
    UBiDi* paragraph_;
};

}  // namespace platform::gfx
