#pragma once

#include <cstddef>

// The records the GPU renderer hands its shaders in vertex buffer 0. Positions and sizes are
// drawable pixels with the origin at the lower-left corner and y up; texture coordinates are
// fractions of the texture's side; colours are RGBA in 0...1. The layouts are fixed: the shaders
// read them by these offsets.

namespace vantel {

struct Float2 {
    float x = 0, y = 0;
    friend bool operator==(const Float2&, const Float2&) = default;
};

struct alignas(16) Float4 {
    float x = 0, y = 0, z = 0, w = 0;
    friend bool operator==(const Float4&, const Float4&) = default;
};

// One rectangle of one colour: six vertices per record.
struct ColorCell {
    Float2 position;
    Float2 size;
    Float4 color;
};

// One textured rectangle: six vertices per record, the corners mapped onto texOrigin to
// texOrigin + texSize.
struct TextCell {
    Float2 position;
    Float2 size;
    Float2 texOrigin;
    Float2 texSize;
    Float4 color;
};

// One vertex of textured triangles.
struct GlyphVertex {
    Float2 position;
    Float2 texCoord;
    Float4 color;
};

// One vertex of coloured triangles.
struct ColorVertex {
    Float2 position;
    Float2 padding;
    Float4 color;
};

static_assert(sizeof(Float2) == 8 && alignof(Float2) == 4);
static_assert(sizeof(Float4) == 16 && alignof(Float4) == 16);

static_assert(sizeof(ColorCell) == 32 && alignof(ColorCell) == 16);
static_assert(offsetof(ColorCell, position) == 0 && offsetof(ColorCell, size) == 8 && offsetof(ColorCell, color) == 16);

static_assert(sizeof(TextCell) == 48 && alignof(TextCell) == 16);
static_assert(offsetof(TextCell, position) == 0 && offsetof(TextCell, size) == 8 && offsetof(TextCell, texOrigin) == 16 &&
              offsetof(TextCell, texSize) == 24 && offsetof(TextCell, color) == 32);

static_assert(sizeof(GlyphVertex) == 32 && alignof(GlyphVertex) == 16);
static_assert(offsetof(GlyphVertex, position) == 0 && offsetof(GlyphVertex, texCoord) == 8 &&
              offsetof(GlyphVertex, color) == 16);

static_assert(sizeof(ColorVertex) == 32 && alignof(ColorVertex) == 16);
static_assert(offsetof(ColorVertex, position) == 0 && offsetof(ColorVertex, color) == 16);

// The seven shader functions, by name.
namespace shader {
inline constexpr const char* textVertex = "terminal_text_vertex";
inline constexpr const char* cellTextVertex = "terminal_cell_text_vertex";
inline constexpr const char* textFragment = "terminal_text_fragment";
inline constexpr const char* textFragmentGray = "terminal_text_fragment_gray";
inline constexpr const char* colorVertex = "terminal_color_vertex";
inline constexpr const char* cellColorVertex = "terminal_cell_color_vertex";
inline constexpr const char* colorFragment = "terminal_color_fragment";
}  // namespace shader

}  // namespace vantel
