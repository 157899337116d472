#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace vantel {

// Style flags of a cell; all eight bits are used.
struct CharacterStyle {
    uint8_t rawValue = 0;

    static constexpr uint8_t none = 0x00;
    static constexpr uint8_t bold = 0x01;
    static constexpr uint8_t underline = 0x02;
    static constexpr uint8_t blink = 0x04;
    static constexpr uint8_t inverse = 0x08;
    static constexpr uint8_t invisible = 0x10;
    static constexpr uint8_t dim = 0x20;
    static constexpr uint8_t italic = 0x40;
    static constexpr uint8_t crossedOut = 0x80;

    constexpr CharacterStyle() = default;
    constexpr explicit CharacterStyle(uint8_t raw) : rawValue(raw) {}
    // Takes bits 18 and up of a packed attribute word.
    static constexpr CharacterStyle fromAttribute(int32_t attribute) {
        return CharacterStyle(static_cast<uint8_t>(static_cast<uint32_t>(attribute) >> 18));
    }

    constexpr bool contains(uint8_t flags) const { return (rawValue & flags) == flags; }
    constexpr void insert(uint8_t flags) { rawValue |= flags; }
    constexpr void remove(uint8_t flags) { rawValue &= static_cast<uint8_t>(~flags); }
    constexpr bool isEmpty() const { return rawValue == 0; }
    friend constexpr bool operator==(CharacterStyle, CharacterStyle) = default;
};

enum class UnderlineStyle : uint8_t { none = 0, single = 1, double_ = 2, curly = 3, dotted = 4, dashed = 5 };

inline std::optional<UnderlineStyle> underlineStyleFromRaw(int raw) {
    if (raw < 0 || raw > 5) return std::nullopt;
    return static_cast<UnderlineStyle>(raw);
}

// Colours, style and underline of a cell. A plain 14-byte value.
struct Attribute {
    // A colour reference: palette index, direct colour or one of the two defaults.
    struct Color {
        enum class Kind : uint8_t { ansi256, trueColor, defaultColor, defaultInvertedColor, absent };

        Kind kind = Kind::defaultColor;
        uint8_t red = 0;  // the palette index for ansi256
        uint8_t green = 0;
        uint8_t blue = 0;

        static constexpr Color ansi256(uint8_t code) { return Color{Kind::ansi256, code, 0, 0}; }
        static constexpr Color trueColor(uint8_t r, uint8_t g, uint8_t b) { return Color{Kind::trueColor, r, g, b}; }
        static constexpr Color defaultColor() { return Color{Kind::defaultColor, 0, 0, 0}; }
        static constexpr Color defaultInvertedColor() { return Color{Kind::defaultInvertedColor, 0, 0, 0}; }

        constexpr bool isAnsi256() const { return kind == Kind::ansi256; }
        constexpr bool isDefault() const { return kind == Kind::defaultColor; }
        constexpr bool isDefaultInverted() const { return kind == Kind::defaultInvertedColor; }
        constexpr uint8_t code() const { return red; }

        friend constexpr bool operator==(const Color&, const Color&) = default;
        size_t hash() const {
            return (static_cast<size_t>(kind) << 24) | (size_t(red) << 16) | (size_t(green) << 8) | blue;
        }
    };

    Color fg = Color::defaultColor();
    Color bg = Color::defaultColor();
    CharacterStyle style;
    UnderlineStyle underlineStyle = UnderlineStyle::none;

    constexpr Attribute() = default;
    constexpr Attribute(Color fgColor, Color bgColor, CharacterStyle characterStyle,
                        UnderlineStyle underline = UnderlineStyle::none,
                        std::optional<Color> underlineColor = std::nullopt)
        : fg(fgColor), bg(bgColor), style(characterStyle), underlineStyle(underline),
          underlineColor_(underlineColor ? *underlineColor : absentColor()) {}

    // Absent means the underline takes the foreground colour.
    constexpr std::optional<Color> underlineColor() const {
        if (underlineColor_.kind == Color::Kind::absent) return std::nullopt;
        return underlineColor_;
    }
    constexpr void setUnderlineColor(std::optional<Color> color) {
        underlineColor_ = color ? *color : absentColor();
    }
    constexpr bool hasUnderlineColor() const { return underlineColor_.kind != Color::Kind::absent; }

    // The parameter string of an SGR sequence reproducing this attribute (as DECRQSS reports it).
    std::string toSgr() const;

    friend constexpr bool operator==(const Attribute&, const Attribute&) = default;
    size_t hash() const;

    // Default colours, no style; what SGR 0 restores. Not the same as `empty`.
    static const Attribute defaultAttribute;
    // Default foreground on the inverted default background: a buffer's initial own attribute.
    static const Attribute empty;

private:
    static constexpr Color absentColor() { return Color{Color::Kind::absent, 0, 0, 0}; }
    Color underlineColor_ = absentColor();
};

inline constexpr Attribute Attribute::defaultAttribute{};
inline constexpr Attribute Attribute::empty{Attribute::Color::defaultColor(), Attribute::Color::defaultInvertedColor(),
                                            CharacterStyle()};

static_assert(sizeof(Attribute) == 14, "attributes stay packed");

// An attribute's bytes in the pieces a copy of one moves (8, 4 and 2): the hot paths work on
// them in registers, and one just stored is read back without waiting for its stores to drain.
struct AttributeWords {
    uint64_t first;
    uint32_t second;
    uint16_t third;

    static AttributeWords of(const Attribute& attribute) {
        const auto* raw = reinterpret_cast<const unsigned char*>(&attribute);
        AttributeWords words;
        std::memcpy(&words.first, raw, 8);
        std::memcpy(&words.second, raw + 8, 4);
        std::memcpy(&words.third, raw + 12, 2);
        return words;
    }
    void storeInto(Attribute& attribute) const {
        auto* raw = reinterpret_cast<unsigned char*>(&attribute);
        std::memcpy(raw, &first, 8);
        std::memcpy(raw + 8, &second, 4);
        std::memcpy(raw + 12, &third, 2);
    }
    // Without branches; padding that differs counts as a difference.
    bool sameAs(const AttributeWords& other) const {
        return ((first ^ other.first) | (second ^ other.second) | static_cast<uint64_t>(third ^ other.third)) == 0;
    }
};

}  // namespace vantel

template <>
struct std::hash<vantel::Attribute> {
    size_t operator()(const vantel::Attribute& a) const noexcept { return a.hash(); }
};
template <>
struct std::hash<vantel::Attribute::Color> {
    size_t operator()(const vantel::Attribute::Color& c) const noexcept { return c.hash(); }
};
