#include "platform/ui/Pasteboard.h"

namespace platform::ui {

Pasteboard& Pasteboard::general() {
    static Pasteboard board;
    return board;
}

Pasteboard& Pasteboard::find() {
    static Pasteboard board;
    return board;
}

void Pasteboard::clearContents() {
    cached_.reset();
    items_ = {};
    ++changeCount_;
    if (backend_) backend_->write(std::nullopt);
}

void Pasteboard::setString(std::string text) {
    cached_ = std::move(text);
    items_ = {};
    ++changeCount_;
    if (backend_) backend_->write(cached_);
}

void Pasteboard::requestString(std::function<void(std::optional<std::string>)> done) {
    if (!done) return;
    if (!backend_) return done(cached_);
    backend_->read([this, done = std::move(done)](std::optional<std::string> text) {
        if (text != cached_) contentDidChange(text);
        done(std::move(text));
    });
}

void Pasteboard::contentDidChange(std::optional<std::string> text) {
    if (text == cached_) return;
    cached_ = std::move(text);
    ++changeCount_;
}

void Pasteboard::itemsDidChange(Items items) {
    for (auto* image : {&items.png, &items.tiff}) {
        if (*image && (*image)->size() > itemBytesLimit) image->reset();
    }
    if (items == items_) return;
    items_ = std::move(items);
    ++changeCount_;
}

}  // namespace platform::ui
