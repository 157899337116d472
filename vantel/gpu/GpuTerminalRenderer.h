#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gpu/Library.h"
#include "platform/runtime/MainLoop.h"
#include "vantel/gpu/GlyphAtlas.h"
#include "vantel/gpu/GlyphEntry.h"
#include "vantel/gpu/GlyphRasterizer.h"
#include "vantel/gpu/GpuBufferPool.h"
#include "vantel/gpu/GpuDrawData.h"
#include "vantel/gpu/GpuRenderer.h"
#include "vantel/gpu/GpuRendererHost.h"
#include "vantel/gpu/GpuShaderLibrary.h"
#include "vantel/gpu/ShaperCache.h"
#include "vantel/view/RowImageRenderer.h"
#include "vantel/view/ViewLineInfo.h"

namespace platform::gpu {
class CommandQueue;
class Device;
class RenderEncoder;
class Sampler;
class Texture;
}  // namespace platform::gpu

namespace vantel {

// The GPU renderer of one terminal view: device, command queue, the two glyph atlases, the six
// pipelines and the sampler, made at once; the frame coordinator on first use. Each frame asks
// the coordinator for admission, sizes the drawable, builds the draw data of the visible rows
// (reusing the rows that did not change), clears the drawable to the view's background (its
// foreground under reverse video), draws the layers and the cursor, and presents and commits;
// the coordinator learns how the frame ended. Rows come from the view's own row builder, shapes
// from its own renderers, so both paths draw the same picture. Callbacks hold the renderer weakly
// and hop to the main loop before they touch the view. Main thread only.
class GpuTerminalRenderer : public GpuRenderer, public std::enable_shared_from_this<GpuTerminalRenderer> {
public:

    static constexpr int64_t initialAtlasSize = 1024;

    // Sources other than the built-in ones are for tests.
    static GpuResult<GpuTerminalRenderer> make(const std::shared_ptr<platform::ui::GpuView>& view,
                                               std::weak_ptr<GpuRendererHost> host,
                                               const std::vector<platform::gpu::ShaderSource>& sources =
                                                   GpuShaderLibrary::defaultSources());
    // Makes terminal views build this renderer when they switch to the GPU.
    static void install();
    ~GpuTerminalRenderer() override;

    // VANTEL_PROFILE is "1" (read once): signposts are written.
    static bool profileEnabled();

    // --- GpuRenderer ----------------------------------------------------------------------------
    GpuFrameCoordinator& frameCoordinator() override;
    bool hasFrameCoordinator() const { return frameCoordinator_ != nullptr; }
    void invalidateCursorBlinkTimer() override;

    // --- GpuViewDelegate ------------------------------------------------------------------------
    // The drawable's size is set at the start of every frame instead.
    void drawableSizeWillChange(platform::ui::GpuView&, platform::gfx::Size) override {}
    void draw(platform::ui::GpuView& view) override;

    // Starts the blink timer (cursor shown first), at the desktop's blink rate (half its period
    // shown, half not), or stops it (cursor shown). Each blink redraws the cursor's place alone,
    // and the timer stops by itself once the host holds the cursor still (the desktop's timeout).
    void updateCursorBlinkTimer(bool shouldBlink);
    // The cursor's place (the whole view where it is not known) is drawn again, when it `changed`.
    void redrawCursor(bool changed);
    bool cursorBlinkOn() const { return cursorBlinkOn_; }
    bool cursorBlinkTimerRunning() const { return cursorBlinkTimer_ != nullptr; }
    platform::runtime::Duration cursorBlinkInterval() const { return cursorBlinkInterval_; }

    const std::shared_ptr<platform::gpu::Device>& device() const { return device_; }
    GlyphAtlas& grayscaleAtlas() { return *grayscaleAtlas_; }
    GlyphAtlas& colorAtlas() { return *colorAtlas_; }
    const GpuPipelines& pipelines() const { return *pipelines_; }
    const std::shared_ptr<platform::gpu::Sampler>& sampler() const { return sampler_; }
    GlyphRasterizer& rasterizer() { return rasterizer_; }

    // --- Draw data (GpuTerminalRendererBuild.cpp) ----------------------------------------------
    static constexpr int maximumRebuildPasses = 5;
    // Textures of pictures beyond this many bytes: those a pass did not draw go.
    static constexpr size_t pictureTextureBudgetBytes = size_t{256} << 20;
    size_t pictureTextureBudget = pictureTextureBudgetBytes;  // tests lower it
    // One frame's draw data at `scale`: passes repeat while an atlas grows or resets, at most six,
    // the last with both atlases frozen.
    DrawData buildDrawData(double scale);
    const std::unordered_map<int, RowCacheEntry>& rowCache() const { return rowCache_; }
    const std::optional<CacheSignature>& cacheSignature() const { return cacheSignature_; }
    GpuBufferPool& bufferPool() { return *bufferPool_; }
    ShaperCache& shaperCache() { return shaperCache_; }
    // What frames have cost so far.
    struct Statistics {
        uint64_t passes = 0;
        uint64_t rowsBuilt = 0;
        uint64_t glyphsRasterized = 0;  // text glyphs and shapes written into an atlas
    };
    const Statistics& statistics() const { return statistics_; }

    // --- Glyphs, shapes and pictures ---------------------------------------------------------------
    // The atlas entry of a glyph at sizeX × sizeY device pixels per em; none for a glyph without
    // ink or one no atlas takes now (not remembered: asked again next time).
    std::optional<GlyphEntry> glyphEntry(const platform::gfx::FontRef& font, uint32_t glyph, double sizeX,
                                         double sizeY);
    // A box-drawing character, block element or filled powerline separator drawn white into a
    // slot of cellWidthPx × cellHeightPx pixels; none for any other code point or no room.
    std::optional<CustomGlyphEntry> customGlyphEntry(uint32_t codePoint, int cellWidthPx, int cellHeightPx,
                                                     double scale, int baseThicknessPx, bool antiAlias);
    size_t glyphCacheCount() const { return glyphCache_.size(); }
    size_t customGlyphCacheCount() const { return customGlyphCache_.size(); }
    // The texture of an image band attached to a line (its picture, premultiplied), while it lives.
    std::shared_ptr<platform::gpu::Texture> texture(const std::shared_ptr<TerminalImage>& image);
    // The texture of a Kitty payload's picture (PNG decoded as the view decodes it, straight alpha
    // premultiplied), while the payload lives.
    std::shared_ptr<platform::gpu::Texture> payloadTexture(const std::shared_ptr<const KittyGraphicsPayload>& payload);
    // The texture of the payload the Kitty store holds under the id now.
    std::shared_ptr<platform::gpu::Texture> kittyTexture(uint32_t imageId);
    size_t imageTextureCount() const { return imageTextures_.size(); }
    size_t kittyTextureCount() const { return kittyTextures_.size(); }
    size_t pictureTextureBytes() const { return pictureBytes_; }
    // A picture (premultiplied ARGB words, rows from the top) as a texture holding its bottom row
    // first, as the atlases do; none when the device cannot make it.
    static std::shared_ptr<platform::gpu::Texture> makePictureTexture(platform::gpu::Device& device,
                                                                      const platform::gfx::Image& picture);

    // --- The cursor (GpuTerminalRendererCursor.cpp) ---------------------------------------------------
    struct CursorDrawData {
        std::vector<ColorVertex> colorVertices;
        std::vector<GlyphVertex> glyphVerticesGray;
        std::vector<GlyphVertex> glyphVerticesColor;
    };
    CursorDrawData buildCursorDrawData(double scale, double cellWidth, double cellHeight, double lineDescent,
                                       double lineLeading, int yDisp, int firstRow, int lastRow);

private:
    GpuTerminalRenderer() = default;
    void recordPresentedFrame();
    // Runs `action` on the main loop later, while the renderer still exists.
    void postToMain(std::function<void(GpuTerminalRenderer&)> action);

    std::weak_ptr<GpuRendererHost> host_;
    std::weak_ptr<platform::ui::GpuView> view_;
    std::shared_ptr<platform::gpu::Device> device_;
    std::shared_ptr<platform::gpu::CommandQueue> commandQueue_;
    std::shared_ptr<GpuPipelines> pipelines_;
    std::shared_ptr<platform::gpu::Sampler> sampler_;
    std::unique_ptr<GlyphAtlas> grayscaleAtlas_;
    std::unique_ptr<GlyphAtlas> colorAtlas_;
    GlyphRasterizer rasterizer_;
    std::shared_ptr<platform::runtime::WorkItem> cursorBlinkTimer_;
    platform::runtime::Duration cursorBlinkInterval_{};
    bool cursorBlinkOn_ = true;
    std::shared_ptr<GpuFrameCoordinator> frameCoordinator_;

    // --- Building (GpuTerminalRendererBuild.cpp, ...Rows.cpp) --------------------------------------
    // What every row of a pass is built from.
    struct PassContext {
        TerminalView* view = nullptr;
        Terminal* terminal = nullptr;
        const platform::gfx::Font* normal = nullptr;
        double scale = 1;
        double cellWidth = 0, cellHeight = 0;
        double boundsHeight = 0;
        double viewWidthPx = 0;
        double yOffset = 0;  // the baseline above a row's bottom, in points
        double backing = 1;  // the window's scale, for picture offsets
        int yDisp = 0;
        const KittyGraphicsState* kitty = nullptr;
        RowImageRenderer::VirtualPlacements placements;
    };
    DrawData buildDrawDataPass(double scale);
    void handleAtlasChange(GlyphAtlas& atlas, int64_t previousSize);
    RowDrawData buildRowDrawData(int row, const PassContext& pass);
    // The row's GPU buffers; `complete` is false when a list got none (the row keeps its data
    // alone, and the next frame tries again).
    RowDrawBuffers makeRowBuffers(const RowDrawData& data, bool& complete);
    std::vector<ImageDrawBuffer> makeImageDrawBuffers(const std::vector<ImageDraw>& draws, bool& complete);
    void pruneTextureCaches();
    // After a pass: past the budget, the picture textures the pass did not draw go.
    void trimTextureCaches();

    // --- Encoding (GpuTerminalRendererEncode.cpp) ------------------------------------------------
    void encode(const DrawData& data, platform::gpu::RenderEncoder& encoder);
    void drawFrameData(const FrameDrawData& frame, platform::gpu::RenderEncoder& encoder);
    void drawImageBatches(const std::vector<ImageDraw>& draws, platform::gpu::RenderEncoder& encoder);
    template <typename Record>
    std::shared_ptr<platform::gpu::Buffer> makeBuffer(const std::vector<Record>& records);

    std::shared_ptr<GpuBufferPool> bufferPool_;
    ShaperCache shaperCache_;
    std::unordered_map<GlyphKey, GlyphEntry, GlyphKeyHash> glyphCache_;
    std::unordered_map<CustomGlyphKey, CustomGlyphEntry, CustomGlyphKeyHash> customGlyphCache_;
    // Picture textures by the object they were made from, held weakly: an entry is good only
    // while that very object lives.
    struct PictureTexture {
        std::weak_ptr<const void> owner;
        std::shared_ptr<platform::gpu::Texture> texture;
        size_t bytes = 0;
        uint64_t lastPass = 0;
    };
    using PictureTextures = std::unordered_map<const void*, PictureTexture>;
    std::shared_ptr<platform::gpu::Texture> pictureTexture(PictureTextures& cache, std::shared_ptr<const void> owner,
                                                           const std::function<platform::gfx::Image()>& picture);
    PictureTextures imageTextures_;
    PictureTextures kittyTextures_;
    size_t pictureBytes_ = 0;
    std::unordered_map<int, RowCacheEntry> rowCache_;
    std::optional<GpuBufferingMode> cacheBufferingMode_;
    std::optional<CacheSignature> cacheSignature_;
    bool atlasInvalidatedDuringBuild_ = false;
    uint64_t passSerial_ = 0;
    Statistics statistics_;
};

}  // namespace vantel
