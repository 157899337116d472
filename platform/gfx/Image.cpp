#include "platform/gfx/Image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "platform/runtime/WorkerPool.h"

namespace platform::gfx {

Image Image::fromRgba(std::span<const uint8_t> rgba, int width, int height) {
    Image image;
    if (width <= 0 || height <= 0 || rgba.size() / 4 / static_cast<size_t>(width) != static_cast<size_t>(height) ||
        rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    const uint8_t* p = rgba.data();
    for (uint32_t& out : image.pixels) {
        out = premultipliedPixel(p[0], p[1], p[2], p[3]);
        p += 4;
    }
    return image;
}

namespace {

// Freeing this much takes milliseconds (pages given back one by one).
constexpr size_t freedAsideBytes = size_t{16} << 20;

// The pages go back in slices first: unmapping the whole at once would hold the address space's
// lock for as long, and with it every page fault of the main thread.
void givePagesBack(const Image* image) {
    constexpr size_t slice = size_t{8} << 20;
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(image->pixels.data());
    const uintptr_t first = (start + page - 1) / page * page;
    const uintptr_t end = (start + image->pixels.size() * sizeof(uint32_t)) / page * page;
    for (uintptr_t at = first; at < end; at += slice) {
        ::madvise(reinterpret_cast<void*>(at), std::min<uintptr_t>(slice, end - at), MADV_DONTNEED);
    }
    delete image;
}

void release(const Image* image) {
    if (image->pixels.size() * sizeof(uint32_t) >= freedAsideBytes) {
        try {
            runtime::WorkerPool::shared().submit([image] { givePagesBack(image); });
            return;
        } catch (...) {
            // No worker to be had: freed here.
        }
    }
    delete image;
}

}  // namespace

std::shared_ptr<const Image> shareImage(Image image) {
    return std::shared_ptr<const Image>(new Image(std::move(image)), release);
}

}  // namespace platform::gfx
