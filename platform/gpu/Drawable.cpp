#include "platform/gpu/Drawable.h"

namespace platform::gpu {

void Drawable::present() {
    if (presented_) return;
    presented_ = true;
    if (onPresent) onPresent(*this);
    auto handlers = std::move(presentedHandlers_);
    for (auto& handler : handlers)
        if (handler) handler();
}

}  // namespace platform::gpu
