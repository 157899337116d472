// Textures of pictures: image bands attached to lines, and Kitty payloads (placed slices and
// placeholder cells). Each is made once per object and kept while that object lives.
#include <vector>

#include "platform/gpu/Device.h"
#include "platform/gpu/Texture.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/ImageBand.h"
#include "vantel/view/KittyPictureCache.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

std::shared_ptr<platform::gpu::Texture> GpuTerminalRenderer::makePictureTexture(platform::gpu::Device& device,
                                                                                const platform::gfx::Image& picture) {
    if (picture.isEmpty() ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
        return nullptr;
    }
    auto texture = device.makeTexture(platform::gpu::PixelFormat::bgra8Unorm, picture.width, picture.height);
    if (!texture) return nullptr;
    // ARGB words are blue, green, red, alpha bytes in memory: the texture's BGRA. The bottom row
    // goes first, as in the atlases, so that the quad's lower edge takes v = 0.
    std::vector<uint32_t> flipped(picture.pixels.size());
    const size_t width = static_cast<size_t>(picture.width);
    for (int y = 0; y < picture.height; ++y) {
        const uint32_t* from = picture.pixels.data() + static_cast<size_t>(picture.height - 1 - y) * width;
        std::copy(from, from + width, flipped.data() + static_cast<size_t>(y) * width);
    }
    texture->replaceRegion(0, 0, picture.width, picture.height, flipped.data(), width * 4);
    return texture;
}

std::shared_ptr<platform::gpu::Texture> GpuTerminalRenderer::pictureTexture(
    PictureTextures& cache, std::shared_ptr<const void> owner, const std::function<platform::gfx::Image()>& picture) {
    if (!owner) return nullptr;
    auto found = cache.find(owner.get());
    if (found != cache.end()) {
        // Another object made later at the same address is another picture.
        if (found->second.owner.lock() == owner) {
            found->second.lastPass = passSerial_;
            return found->second.texture;
        }
        pictureBytes_ -= found->second.bytes;
        cache.erase(found);
    }
    const platform::gfx::Image image = picture();
    auto texture = makePictureTexture(*device_, image);
    if (!texture) return nullptr;  // tried again next time
    const size_t bytes = image.pixels.size() * 4;
    pictureBytes_ += bytes;
    cache.emplace(owner.get(), PictureTexture{owner, texture, bytes, passSerial_});
    return texture;
}

std::shared_ptr<platform::gpu::Texture> GpuTerminalRenderer::texture(const std::shared_ptr<TerminalImage>& image) {
    const auto* band = dynamic_cast<const ImageBand*>(image.get());
    if (!band) return nullptr;
    return pictureTexture(imageTextures_, image, [band] { return band->image; });
}

std::shared_ptr<platform::gpu::Texture> GpuTerminalRenderer::payloadTexture(
    const std::shared_ptr<const KittyGraphicsPayload>& payload) {
    if (!payload) return nullptr;
    const KittyGraphicsPayload* source = payload.get();
    return pictureTexture(kittyTextures_, payload, [source] { return KittyPictureCache::makePicture(*source); });
}

std::shared_ptr<platform::gpu::Texture> GpuTerminalRenderer::kittyTexture(uint32_t imageId) {
    auto host = host_.lock();
    TerminalView* view = host ? host->gpuTerminalView() : nullptr;
    const KittyGraphics* kitty = view ? kittyGraphicsOf(view->getTerminal()) : nullptr;
    if (!kitty) return nullptr;
    auto stored = kitty->state().imagesById.find(imageId);
    if (stored == kitty->state().imagesById.end()) return nullptr;
    return payloadTexture(stored->second.payload);
}

void GpuTerminalRenderer::pruneTextureCaches() {
    for (PictureTextures* cache : {&imageTextures_, &kittyTextures_}) {
        std::erase_if(*cache, [this](const auto& item) {
            if (!item.second.owner.expired()) return false;
            pictureBytes_ -= item.second.bytes;
            return true;
        });
    }
}

void GpuTerminalRenderer::trimTextureCaches() {
    if (pictureBytes_ <= pictureTextureBudget) return;
    // Pictures kept by the scroll-back pile up (a stream of Sixel images): past the budget, what
    // this pass did not draw goes, and is made again if it comes back into view. A row the pass
    // took from the cache still holds its textures (they count as drawn).
    for (PictureTextures* cache : {&imageTextures_, &kittyTextures_}) {
        std::erase_if(*cache, [this](const auto& item) {
            if (item.second.lastPass == passSerial_ || item.second.texture.use_count() > 1) return false;
            pictureBytes_ -= item.second.bytes;
            return true;
        });
    }
}

}  // namespace vantel
