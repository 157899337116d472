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
    known_ = true;
    if (backend_) backend_->write(std::nullopt);
}

void Pasteboard::setString(std::string text) {
    cached_ = std::move(text);
    items_ = {};
    ++changeCount_;
    known_ = true;
    if (backend_) backend_->write(cached_);
}

void Pasteboard::requestItems(std::function<void(Items)> done) {
    if (!done) return;
    if (answersFromMemory()) return done(items_);
    backend_->readItems(std::move(done));
}

void Pasteboard::requestText(TextReader reader) {
    if (!reader.piece || !reader.end) return;
    if (!answersFromMemory()) return backend_->readText(std::move(reader));
    if (cached_ && !cached_->empty()) reader.piece(*cached_);
    reader.end(true);
}

void Pasteboard::requestString(std::function<void(std::optional<std::string>)> done) {
    if (!done) return;
    auto text = std::make_shared<std::optional<std::string>>();
    requestText({[text](std::string piece) {
                     if (*text) (*text)->append(piece);
                     else *text = std::move(piece);
                 },
                 [text, done = std::move(done)](bool) { done(std::move(*text)); }});
}

void Pasteboard::ownerDidChange() {
    cached_.reset();
    items_ = {};
    known_ = false;
    ++changeCount_;
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
