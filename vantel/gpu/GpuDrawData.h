#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "vantel/core/BufferLine.h"
#include "vantel/gpu/GpuRendererStatus.h"
#include "vantel/gpu/ShaderInterface.h"
#include "vantel/view/TerminalViewSettings.h"

namespace platform::gpu {
class Buffer;
class Texture;
}  // namespace platform::gpu

namespace vantel {

// A clip rectangle in drawable pixels (y up).
struct ClipRect {
    float minX = 0, minY = 0, maxX = 0, maxY = 0;
    friend bool operator==(const ClipRect&, const ClipRect&) = default;
};

// One textured quad of a picture: two triangles, white.
struct ImageDraw {
    std::shared_ptr<platform::gpu::Texture> texture;
    std::array<GlyphVertex, 6> vertices;
};

// The CPU lists of one row (or, gathered, of a frame), in the order they are drawn.
struct RowDrawData {
    std::vector<ColorCell> backgroundCells;
    std::vector<ColorCell> powerlineJoinCells;
    std::vector<TextCell> glyphCellsGray;    // sampled from the grayscale atlas
    std::vector<TextCell> glyphCellsColor;   // sampled from the colour atlas
    std::vector<ColorCell> decorationCells;  // underlines and strikethroughs
    std::vector<ImageDraw> underImageDraws;
    std::vector<ImageDraw> placeholderImageDraws;
    std::vector<ImageDraw> overImageDraws;
    std::vector<ImageDraw> otherImageDraws;

    void append(const RowDrawData& row);
    // Room for these rows' lists besides what is here.
    void reserveFor(std::span<const RowDrawData* const> rows);
    bool hasImages() const {
        return !underImageDraws.empty() || !placeholderImageDraws.empty() || !overImageDraws.empty() ||
               !otherImageDraws.empty();
    }
};

// Every visible row's lists, one after the other: what the aggregated mode uploads per frame.
using FrameDrawData = RowDrawData;

// The buffer of one image quad.
struct ImageDrawBuffer {
    std::shared_ptr<platform::gpu::Texture> texture;
    std::shared_ptr<platform::gpu::Buffer> buffer;
    size_t vertexCount = 0;
};

// A row's lists on the GPU: a buffer and a record count per cell list (none and 0 for an empty
// list), a buffer per image quad.
struct RowDrawBuffers {
    std::shared_ptr<platform::gpu::Buffer> backgroundBuffer;
    size_t backgroundCount = 0;
    std::shared_ptr<platform::gpu::Buffer> powerlineJoinBuffer;
    size_t powerlineJoinCount = 0;
    std::shared_ptr<platform::gpu::Buffer> glyphGrayBuffer;
    size_t glyphGrayCount = 0;
    std::shared_ptr<platform::gpu::Buffer> glyphColorBuffer;
    size_t glyphColorCount = 0;
    std::shared_ptr<platform::gpu::Buffer> decorationBuffer;
    size_t decorationCount = 0;
    std::vector<ImageDrawBuffer> underImageBuffers;
    std::vector<ImageDrawBuffer> placeholderImageBuffers;
    std::vector<ImageDrawBuffer> overImageBuffers;
    std::vector<ImageDrawBuffer> otherImageBuffers;
};

// One cached row: the line object it was built from (held, so that its address is never taken
// for another line's), that line's generation and its bidi paragraph's revision then.
struct RowCacheEntry {
    LineRef lineRef;
    uint64_t generation = 0;
    uint64_t bidiParagraphRevision = 0;
    std::optional<RowDrawData> data;
    std::optional<RowDrawBuffers> buffers;  // present after a use in the per-row mode
};

// What the Kitty image store looks like, in four numbers: any image or placement made or
// dropped changes one of them.
struct KittyCacheStamp {
    size_t imagesCount = 0;
    size_t placementsCount = 0;
    uint32_t nextImageId = 0;
    uint32_t nextPlacementId = 0;
    friend bool operator==(const KittyCacheStamp&, const KittyCacheStamp&) = default;
};

// The frame-wide inputs every cached row depends on; a change empties the row cache.
struct CacheSignature {
    double scale = 0;
    double cellWidth = 0;
    double cellHeight = 0;
    double viewWidth = 0;
    double viewHeight = 0;
    int yDisp = 0;
    int rows = 0;
    int cols = 0;
    uint64_t fontId = 0;  // the normal font
    double fontSize = 0;
    bool isAltBuffer = false;
    KittyCacheStamp kittyStamp;
    BidiHostPolicy bidiHostPolicy = BidiHostPolicy::respectTerminal;
    friend bool operator==(const CacheSignature&, const CacheSignature&) = default;
};

// One frame's draw data: the rows' buffers (per-row mode) or the frame's lists (aggregated
// mode), and the cursor's vertices.
struct DrawData {
    std::vector<RowDrawBuffers> rows;
    std::optional<FrameDrawData> frame;
    std::vector<ColorVertex> cursorColorVertices;
    std::vector<GlyphVertex> cursorGlyphVerticesGray;
    std::vector<GlyphVertex> cursorGlyphVerticesColor;
};

}  // namespace vantel
