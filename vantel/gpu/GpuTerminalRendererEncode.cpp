// Encoding a frame's draw data: the layers in their fixed order over every row, then the cursor.
// A layer with nothing to draw sets no state at all.
#include <cstring>

#include "platform/gpu/Buffer.h"
#include "platform/gpu/RenderEncoder.h"
#include "vantel/gpu/GpuTerminalRenderer.h"

namespace vantel {

using platform::gpu::RenderEncoder;

template <typename Record>
std::shared_ptr<platform::gpu::Buffer> GpuTerminalRenderer::makeBuffer(const std::vector<Record>& records) {
    const size_t length = records.size() * sizeof(Record);
    if (length == 0) return nullptr;
    auto buffer = bufferPool_->frameBuffer(length);
    if (buffer) std::memcpy(buffer->contents(), records.data(), length);
    return buffer;
}

void GpuTerminalRenderer::encode(const DrawData& data, RenderEncoder& encoder) {
    const GpuPipelines& p = *pipelines_;
    const auto& gray = grayscaleAtlas_->texture();
    const auto& color = colorAtlas_->texture();
    if (data.frame) {
        drawFrameData(*data.frame, encoder);
    } else {
        using BufferMember = std::shared_ptr<platform::gpu::Buffer> RowDrawBuffers::*;
        using CountMember = size_t RowDrawBuffers::*;
        auto cellLayer = [&](const std::shared_ptr<platform::gpu::RenderPipeline>& pipeline,
                             const std::shared_ptr<platform::gpu::Texture>* texture, BufferMember buffer,
                             CountMember count) {
            bool any = false;
            for (const RowDrawBuffers& row : data.rows) any = any || (row.*buffer && row.*count > 0);
            if (!any) return;
            encoder.setRenderPipeline(pipeline);
            if (texture) {
                encoder.setFragmentTexture(*texture, 0);
                encoder.setFragmentSampler(sampler_, 0);
            }
            for (const RowDrawBuffers& row : data.rows) {
                if (!(row.*buffer) || row.*count == 0) continue;
                encoder.setVertexBuffer(row.*buffer, 0, 0);
                encoder.drawTriangles(0, row.*count * 6);
            }
        };
        auto imageLayer = [&](std::vector<ImageDrawBuffer> RowDrawBuffers::*list) {
            bool any = false;
            for (const RowDrawBuffers& row : data.rows) any = any || !(row.*list).empty();
            if (!any) return;
            encoder.setRenderPipeline(p.text);
            encoder.setFragmentSampler(sampler_, 0);
            for (const RowDrawBuffers& row : data.rows) {
                for (const ImageDrawBuffer& image : row.*list) {
                    encoder.setVertexBuffer(image.buffer, 0, 0);
                    encoder.setFragmentTexture(image.texture, 0);
                    encoder.drawTriangles(0, image.vertexCount);
                }
            }
        };
        cellLayer(p.cellColor, nullptr, &RowDrawBuffers::backgroundBuffer, &RowDrawBuffers::backgroundCount);
        imageLayer(&RowDrawBuffers::underImageBuffers);
        cellLayer(p.cellColor, nullptr, &RowDrawBuffers::powerlineJoinBuffer, &RowDrawBuffers::powerlineJoinCount);
        cellLayer(p.cellTextGray, &gray, &RowDrawBuffers::glyphGrayBuffer, &RowDrawBuffers::glyphGrayCount);
        cellLayer(p.cellText, &color, &RowDrawBuffers::glyphColorBuffer, &RowDrawBuffers::glyphColorCount);
        cellLayer(p.cellColor, nullptr, &RowDrawBuffers::decorationBuffer, &RowDrawBuffers::decorationCount);
        imageLayer(&RowDrawBuffers::placeholderImageBuffers);
        imageLayer(&RowDrawBuffers::overImageBuffers);
        imageLayer(&RowDrawBuffers::otherImageBuffers);
    }

    // The cursor over everything.
    auto cursorPass = [&](const auto& vertices, const std::shared_ptr<platform::gpu::RenderPipeline>& pipeline,
                          const std::shared_ptr<platform::gpu::Texture>* texture) {
        if (vertices.empty()) return;
        auto buffer = makeBuffer(vertices);
        if (!buffer) return;
        encoder.setRenderPipeline(pipeline);
        encoder.setVertexBuffer(buffer, 0, 0);
        if (texture) {
            encoder.setFragmentTexture(*texture, 0);
            encoder.setFragmentSampler(sampler_, 0);
        }
        encoder.drawTriangles(0, vertices.size());
    };
    cursorPass(data.cursorColorVertices, p.color, nullptr);
    cursorPass(data.cursorGlyphVerticesGray, p.textGray, &gray);
    cursorPass(data.cursorGlyphVerticesColor, p.text, &color);
}

void GpuTerminalRenderer::drawFrameData(const FrameDrawData& frame, RenderEncoder& encoder) {
    const GpuPipelines& p = *pipelines_;
    auto cellLayer = [&](const auto& records, const std::shared_ptr<platform::gpu::RenderPipeline>& pipeline,
                         const std::shared_ptr<platform::gpu::Texture>* texture) {
        if (records.empty()) return;
        auto buffer = makeBuffer(records);
        if (!buffer) return;
        encoder.setRenderPipeline(pipeline);
        encoder.setVertexBuffer(buffer, 0, 0);
        if (texture) {
            encoder.setFragmentTexture(*texture, 0);
            encoder.setFragmentSampler(sampler_, 0);
        }
        encoder.drawTriangles(0, records.size() * 6);
    };
    cellLayer(frame.backgroundCells, p.cellColor, nullptr);
    drawImageBatches(frame.underImageDraws, encoder);
    cellLayer(frame.powerlineJoinCells, p.cellColor, nullptr);
    cellLayer(frame.glyphCellsGray, p.cellTextGray, &grayscaleAtlas_->texture());
    cellLayer(frame.glyphCellsColor, p.cellText, &colorAtlas_->texture());
    cellLayer(frame.decorationCells, p.cellColor, nullptr);
    drawImageBatches(frame.placeholderImageDraws, encoder);
    drawImageBatches(frame.overImageDraws, encoder);
    drawImageBatches(frame.otherImageDraws, encoder);
}

void GpuTerminalRenderer::drawImageBatches(const std::vector<ImageDraw>& draws, RenderEncoder& encoder) {
    if (draws.empty()) return;
    encoder.setRenderPipeline(pipelines_->text);
    encoder.setFragmentSampler(sampler_, 0);
    for (const ImageDraw& draw : draws) {
        auto buffer = bufferPool_->frameBuffer(sizeof(draw.vertices));
        if (!buffer) continue;
        std::memcpy(buffer->contents(), draw.vertices.data(), sizeof(draw.vertices));
        encoder.setVertexBuffer(buffer, 0, 0);
        encoder.setFragmentTexture(draw.texture, 0);
        encoder.drawTriangles(0, draw.vertices.size());
    }
}

}  // namespace vantel
