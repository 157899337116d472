#include "platform/ui/GpuView.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gpu/Device.h"
#include "platform/gpu/Drawable.h"
#include "platform/gpu/Texture.h"
#include "platform/ui/Window.h"

namespace platform::ui {

namespace {
// A frame in flight, the one shown and one spare.
constexpr size_t drawablePoolSize = 3;
}  // namespace

GpuView::GpuView(const Rect& frame, std::shared_ptr<gpu::Device> device)
    : View(frame), device_(std::move(device)), self_(std::make_shared<GpuView*>(this)) {}

GpuView::~GpuView() {
    if (registeredWindow_) registeredWindow_->removeGpuView(this);
}

void GpuView::viewDidMoveToWindow() {
    if (registeredWindow_ == window()) return;
    if (registeredWindow_) registeredWindow_->removeGpuView(this);
    registeredWindow_ = window();
    if (registeredWindow_) registeredWindow_->addGpuView(this);
}

void GpuView::setDevice(std::shared_ptr<gpu::Device> device) {
    if (device == device_) return;
    device_ = std::move(device);
    pool_.clear();
}

void GpuView::setDrawableSize(gfx::Size size) {
    auto whole = [](double v) { return std::isfinite(v) && v > 0 ? std::min(std::round(v), 65536.0) : 0.0; };
    size = {whole(size.width), whole(size.height)};
    if (size.width == drawableSize_.width && size.height == drawableSize_.height) return;
    if (auto delegate = delegate_.lock()) delegate->drawableSizeWillChange(*this, size);
    drawableSize_ = size;
}

void GpuView::setNeedsDisplay(const Rect& rect) {
    frameRequested_ = true;
    View::setNeedsDisplay(rect);
}

void GpuView::draw() { drawFrame(); }

void GpuView::drawFrame() {
    frameRequested_ = false;
    auto delegate = delegate_.lock();
    if (!delegate || drawing_) return;
    drawing_ = true;
    delegate->draw(*this);
    drawing_ = false;
    current_.reset();
}

void GpuView::draw(gfx::Canvas& canvas, const Rect& dirty) {
    if (frameRequested_) drawFrame();
    // A window that shows the frame itself needs to see through its surface here.
    if (presentedTexture_) {
        canvas.setClearColor({0, 0, 0, 0});
        canvas.clear(dirty);
    } else if (!presentedImage_.isEmpty()) {
        canvas.drawImage(presentedImage_, bounds());
    }
}

std::shared_ptr<gpu::Texture> GpuView::takeTexture(int width, int height) {
    std::erase_if(pool_, [&](const auto& t) { return t->width() != width || t->height() != height; });
    for (auto& texture : pool_)
        if (texture.use_count() == 1) return texture;
    auto texture = device_->makeTexture(colorPixelFormat(), width, height);
    if (texture && pool_.size() < drawablePoolSize) pool_.push_back(texture);
    return texture;
}

std::shared_ptr<gpu::Drawable> GpuView::currentDrawable() {
    if (testHooks.noDrawable || !device_ || device_->isLost()) return nullptr;
    if (current_) return current_;
    const int width = static_cast<int>(drawableSize_.width), height = static_cast<int>(drawableSize_.height);
    auto texture = width > 0 && height > 0 ? takeTexture(width, height) : nullptr;
    if (!texture) return nullptr;
    current_ = std::make_shared<gpu::Drawable>(std::move(texture));
    std::weak_ptr<GpuView*> alive = self_;
    current_->onPresent = [alive](gpu::Drawable& drawable) {
        if (auto view = alive.lock()) (*view)->show(drawable);
    };
    return current_;
}

std::optional<gpu::RenderPassDescriptor> GpuView::currentRenderPassDescriptor() {
    if (testHooks.noRenderPassDescriptor) return std::nullopt;
    auto drawable = currentDrawable();
    if (!drawable) return std::nullopt;
    return gpu::RenderPassDescriptor{drawable->texture(), gpu::LoadAction::clear, {0, 0, 0, 1}};
}

void GpuView::show(gpu::Drawable& drawable) {
    Window* shownIn = window();
    if (shownIn && shownIn->composesGpuViews() && shownIn->gpuDevice() == device_) {
        presentedTexture_ = drawable.texture();
        presentedImage_ = {};
        ++presentedFrameCount_;
        View::setNeedsDisplay(bounds());
        shownIn->gpuViewDidPresent(*this);
        return;
    }
    presentedTexture_.reset();
    auto& texture = *drawable.texture();
    auto bytes = texture.readBytes(0, 0, texture.width(), texture.height());
    if (bytes.empty()) return;
    gfx::Image image;
    image.width = texture.width();
    image.height = texture.height();
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    // GL's first row is the bottom one; BGRA bytes are Cairo's words on this byte order.
    const size_t rowBytes = static_cast<size_t>(image.width) * 4;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(image.pixels.data() + static_cast<size_t>(image.height - 1 - y) * static_cast<size_t>(image.width),
                    bytes.data() + static_cast<size_t>(y) * rowBytes, rowBytes);
    presentedImage_ = std::move(image);
    ++presentedFrameCount_;
    View::setNeedsDisplay(bounds());
}

}  // namespace platform::ui
