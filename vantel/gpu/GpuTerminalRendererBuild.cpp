// A frame's draw data: the visible rows from the row cache or built again, the cursor, and the
// passes that repeat while a glyph atlas grows or resets under them.
#include <cmath>
#include <cstring>
#include <string>

#include "platform/gpu/Buffer.h"
#include "platform/gpu/Device.h"
#include "platform/runtime/SystemLog.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/TerminalBidi.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::runtime::LogLevel;
using platform::runtime::SystemLog;

namespace {

constexpr const char* atlasCategory = "GpuAtlas";

template <typename Record>
std::shared_ptr<platform::gpu::Buffer> rowBuffer(platform::gpu::Device& device, const std::vector<Record>& records,
                                                 size_t& count, bool& complete) {
    count = 0;
    if (records.empty()) return nullptr;
    auto buffer = device.makeBuffer(records.data(), records.size() * sizeof(Record));
    if (!buffer) {
        complete = false;
        return nullptr;
    }
    count = records.size();
    return buffer;
}

}  // namespace

void RowDrawData::reserveFor(std::span<const RowDrawData* const> rows) {
    auto reserve = [&](auto& list, auto member) {
        size_t total = list.size();
        for (const RowDrawData* row : rows) total += (row->*member).size();
        list.reserve(total);
    };
    reserve(backgroundCells, &RowDrawData::backgroundCells);
    reserve(powerlineJoinCells, &RowDrawData::powerlineJoinCells);
    reserve(glyphCellsGray, &RowDrawData::glyphCellsGray);
    reserve(glyphCellsColor, &RowDrawData::glyphCellsColor);
    reserve(decorationCells, &RowDrawData::decorationCells);
    reserve(underImageDraws, &RowDrawData::underImageDraws);
    reserve(placeholderImageDraws, &RowDrawData::placeholderImageDraws);
    reserve(overImageDraws, &RowDrawData::overImageDraws);
    reserve(otherImageDraws, &RowDrawData::otherImageDraws);
}

void RowDrawData::append(const RowDrawData& row) {
    auto add = [](auto& to, const auto& from) { to.insert(to.end(), from.begin(), from.end()); };
    add(backgroundCells, row.backgroundCells);
    add(powerlineJoinCells, row.powerlineJoinCells);
    add(glyphCellsGray, row.glyphCellsGray);
    add(glyphCellsColor, row.glyphCellsColor);
    add(decorationCells, row.decorationCells);
    add(underImageDraws, row.underImageDraws);
    add(placeholderImageDraws, row.placeholderImageDraws);
    add(overImageDraws, row.overImageDraws);
    add(otherImageDraws, row.otherImageDraws);
}

DrawData GpuTerminalRenderer::buildDrawData(double scale) {
    DrawData result;
    for (int attempt = 0;; ++attempt) {
        if (attempt == maximumRebuildPasses) {
            SystemLog::write(LogLevel::fault, atlasCategory,
                             "glyph working set exceeds max atlas capacity; some glyphs will be skipped this frame");
            grayscaleAtlas_->frozen = true;
            colorAtlas_->frozen = true;
        }
        atlasInvalidatedDuringBuild_ = false;
        result = buildDrawDataPass(scale);
        if (!atlasInvalidatedDuringBuild_ || attempt >= maximumRebuildPasses) break;
        // Rows built before the change hold texture coordinates of the old atlas.
        rowCache_.clear();
        SystemLog::write(LogLevel::info, atlasCategory,
                         "glyph atlas changed during frame build; rebuild pass " + std::to_string(attempt + 1) + "/" +
                             std::to_string(maximumRebuildPasses));
    }
    grayscaleAtlas_->frozen = false;
    colorAtlas_->frozen = false;
    return result;
}

DrawData GpuTerminalRenderer::buildDrawDataPass(double scale) {
    ++statistics_.passes;
    ++passSerial_;
    auto host = host_.lock();
    TerminalView* view = host ? host->gpuTerminalView() : nullptr;
    if (!view) return {};
    pruneTextureCaches();

    Terminal& terminal = view->getTerminal();
    Buffer& buffer = terminal.buffer();
    const std::optional<platform::gfx::Size>& cell = view->cellDimension();
    const platform::gfx::FontRef& normal = view->fontSet().normal;
    if (!cell || !normal) return {};

    // The visible rows; none leaves the caches and the dirty rows for the next frame.
    const int lineCount = buffer.lines().count();
    if (lineCount <= 0) return {};
    const int first = buffer.yDisp();
    const int last = std::min(buffer.yDisp() + terminal.rows() - 1, lineCount - 1);
    if (last < first) return {};

    const GpuBufferingMode mode = host->gpuBufferingMode();
    if (cacheBufferingMode_ != mode) {
        if (mode == GpuBufferingMode::perFrameAggregated) {
            for (auto& [row, entry] : rowCache_) entry.buffers.reset();
        }
        cacheBufferingMode_ = mode;
    }

    const KittyGraphics* kitty = kittyGraphicsOf(terminal);
    CacheSignature signature;
    signature.scale = scale;
    signature.cellWidth = cell->width;
    signature.cellHeight = cell->height;
    signature.viewWidth = view->bounds().width;
    signature.viewHeight = view->bounds().height;
    signature.yDisp = buffer.yDisp();
    signature.rows = terminal.rows();
    signature.cols = terminal.cols();
    signature.fontId = normal->id();
    signature.fontSize = normal->size();
    signature.isAltBuffer = terminal.isCurrentBufferAlternate();
    if (kitty) {
        const KittyGraphicsState& state = kitty->state();
        signature.kittyStamp = KittyCacheStamp{state.imagesById.size(), state.placementsByKey.size(), state.nextImageId,
                                               state.nextPlacementId};
    }
    signature.bidiHostPolicy = view->bidiHostPolicy();
    bool signatureChanged = false;
    if (cacheSignature_ != signature) {
        rowCache_.clear();
        cacheSignature_ = signature;
        signatureChanged = true;
    }
    std::erase_if(rowCache_, [&](const auto& item) { return item.first < first || item.first > last; });

    std::optional<std::pair<int, int>> dirty = host->takeGpuDirtyRange();
    const bool full = signatureChanged || rowCache_.empty();
    if (full) {
        dirty = std::make_pair(first, last);
    } else if (dirty) {
        dirty->first = std::max(dirty->first, first);
        dirty->second = std::min(dirty->second, last);
        if (dirty->second < dirty->first) dirty.reset();
    }

    PassContext pass;
    pass.view = view;
    pass.terminal = &terminal;
    pass.normal = normal.get();
    pass.scale = scale;
    pass.cellWidth = cell->width;
    pass.cellHeight = cell->height;
    pass.boundsHeight = view->bounds().height;
    pass.viewWidthPx = view->bounds().width * scale;
    pass.yOffset = std::ceil(normal->descent() + normal->leading());
    pass.backing = view->backingScaleFactor().value_or(1.0);
    pass.yDisp = buffer.yDisp();
    if (kitty) {
        pass.kitty = &kitty->state();
        if (!kitty->state().placementsByKey.empty()) {
            pass.placements = RowImageRenderer::virtualPlacements(kitty->state(), terminal.isCurrentBufferAlternate());
        }
    }

    DrawData result;
    // The aggregated mode gathers the rows' lists once they are known, each list reserved whole.
    std::vector<const RowDrawData*> gathered;
    const int maximumRows = terminal.options().maximumBidiParagraphRows;
    for (int row = first; row <= last; ++row) {
        const LineRef& line = buffer.lines().ref(row);
        const uint64_t generation = line->generation();
        const uint64_t revision = TerminalBidi::layoutRevision(row, buffer, maximumRows);
        auto found = rowCache_.find(row);
        const bool valid = found != rowCache_.end() && found->second.lineRef == line &&
                           found->second.generation == generation && found->second.bidiParagraphRevision == revision &&
                           found->second.data;
        const bool reuse = !full && valid && (!dirty || row < dirty->first || row > dirty->second);
        if (!reuse) {
            RowCacheEntry entry;
            entry.lineRef = line;
            entry.generation = generation;
            entry.bidiParagraphRevision = revision;
            entry.data = buildRowDrawData(row, pass);
            ++statistics_.rowsBuilt;
            found = rowCache_.insert_or_assign(row, std::move(entry)).first;
        }
        RowCacheEntry& entry = found->second;
        if (mode == GpuBufferingMode::perRowPersistent) {
            if (entry.buffers) {
                result.rows.push_back(*entry.buffers);
                continue;
            }
            bool complete = true;
            RowDrawBuffers buffers = makeRowBuffers(*entry.data, complete);
            // A row whose lists did not all get a buffer keeps its data alone: the next frame
            // makes its buffers again instead of drawing it without them for good.
            if (complete) entry.buffers = buffers;
            result.rows.push_back(std::move(buffers));
        } else {
            gathered.push_back(&*entry.data);
        }
    }
    if (mode == GpuBufferingMode::perFrameAggregated) {
        FrameDrawData& frame = result.frame.emplace();
        frame.reserveFor(gathered);
        for (const RowDrawData* row : gathered) frame.append(*row);
    }

    CursorDrawData cursor = buildCursorDrawData(scale, cell->width, cell->height, normal->descent(), normal->leading(),
                                                buffer.yDisp(), first, last);
    result.cursorColorVertices = std::move(cursor.colorVertices);
    result.cursorGlyphVerticesGray = std::move(cursor.glyphVerticesGray);
    result.cursorGlyphVerticesColor = std::move(cursor.glyphVerticesColor);
    trimTextureCaches();
    return result;
}

void GpuTerminalRenderer::handleAtlasChange(GlyphAtlas& atlas, int64_t previousSize) {
    if (atlas.didReset()) {
        glyphCache_.clear();
        customGlyphCache_.clear();
        rowCache_.clear();
        atlasInvalidatedDuringBuild_ = true;
    } else if (atlas.size() != previousSize) {
        // A grown atlas keeps every texel where it was: glyph entries stay good, texture
        // coordinates of rows built against the old side do not.
        rowCache_.clear();
        atlasInvalidatedDuringBuild_ = true;
    }
}

RowDrawBuffers GpuTerminalRenderer::makeRowBuffers(const RowDrawData& data, bool& complete) {
    RowDrawBuffers buffers;
    platform::gpu::Device& device = *device_;
    buffers.backgroundBuffer = rowBuffer(device, data.backgroundCells, buffers.backgroundCount, complete);
    buffers.powerlineJoinBuffer = rowBuffer(device, data.powerlineJoinCells, buffers.powerlineJoinCount, complete);
    buffers.glyphGrayBuffer = rowBuffer(device, data.glyphCellsGray, buffers.glyphGrayCount, complete);
    buffers.glyphColorBuffer = rowBuffer(device, data.glyphCellsColor, buffers.glyphColorCount, complete);
    buffers.decorationBuffer = rowBuffer(device, data.decorationCells, buffers.decorationCount, complete);
    buffers.underImageBuffers = makeImageDrawBuffers(data.underImageDraws, complete);
    buffers.placeholderImageBuffers = makeImageDrawBuffers(data.placeholderImageDraws, complete);
    buffers.overImageBuffers = makeImageDrawBuffers(data.overImageDraws, complete);
    buffers.otherImageBuffers = makeImageDrawBuffers(data.otherImageDraws, complete);
    return buffers;
}

std::vector<ImageDrawBuffer> GpuTerminalRenderer::makeImageDrawBuffers(const std::vector<ImageDraw>& draws,
                                                                       bool& complete) {
    std::vector<ImageDrawBuffer> buffers;
    buffers.reserve(draws.size());
    for (const ImageDraw& draw : draws) {
        auto buffer = device_->makeBuffer(draw.vertices.data(), sizeof(draw.vertices));
        if (!buffer) {
            complete = false;
            continue;
        }
        buffers.push_back(ImageDrawBuffer{draw.texture, std::move(buffer), draw.vertices.size()});
    }
    return buffers;
}

}  // namespace vantel
