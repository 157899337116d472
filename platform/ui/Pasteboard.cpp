#include "platform/ui/Pasteboard.h"

#include <utility>

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

void Pasteboard::ReadAhead::setHeld(size_t held) {
    held_ = held;
    if (waiting_ && held_ <= bytes_ / 2) std::exchange(waiting_, {})();
}

void Pasteboard::ReadAhead::whenRoom(std::function<void()> go) {
    if (!full()) return go();
    waiting_ = std::move(go);
}

Pasteboard::CancelRead Pasteboard::requestItems(ItemsReader reader) {
    if (!reader.done) return {};
    if (answersFromMemory()) {
        reader.done(items_, {});
        return {};
    }
    // Nothing is heard of a read once it ended.
    struct Read {
        ItemsReader reader;
        size_t came = 0;
        bool ended = false;
    };
    auto read = std::make_shared<Read>(Read{std::move(reader)});
    CancelRead abandon = backend_->readItems({[read](Items items, ReadEnd end) {
                                                  if (std::exchange(read->ended, true)) return;
                                                  read->reader.done(std::move(items), end);
                                              },
                                              [read](size_t came) {
                                                  if (read->ended) return;
                                                  read->came = came;
                                                  if (read->reader.came) read->reader.came(came);
                                              }});
    return [read, abandon = std::move(abandon)] {
        if (std::exchange(read->ended, true)) return;
        if (abandon) abandon();
        read->reader.done({}, {ReadEnd::How::cancelled, read->came, std::nullopt});
    };
}

Pasteboard::CancelRead Pasteboard::requestText(TextReader reader) {
    if (!reader.piece || !reader.end) return {};
    if (answersFromMemory()) {
        if (cached_ && !cached_->empty()) reader.piece(*cached_);
        reader.end({ReadEnd::How::whole, cached_ ? cached_->size() : 0, std::nullopt});
        return {};
    }
    // What came is counted here, for every backend; nothing is heard of a read once it ended.
    struct Read {
        TextReader reader;
        size_t came = 0;
        bool ended = false;
    };
    auto read = std::make_shared<Read>(Read{std::move(reader)});
    CancelRead abandon = backend_->readText({[read](std::string piece) {
                                                 if (read->ended) return;
                                                 read->came += piece.size();
                                                 read->reader.piece(std::move(piece));
                                             },
                                             [read](ReadEnd end) {
                                                 if (std::exchange(read->ended, true)) return;
                                                 if (read->reader.ahead) read->reader.ahead->forget();
                                                 end.bytes = read->came;
                                                 read->reader.end(end);
                                             },
                                             read->reader.ahead},
                                            textLimit_);
    return [read, abandon = std::move(abandon)] {
        if (std::exchange(read->ended, true)) return;
        if (abandon) abandon();
        if (read->reader.ahead) read->reader.ahead->forget();
        read->reader.end({ReadEnd::How::cancelled, read->came, std::nullopt});
    };
}

void Pasteboard::requestString(std::function<void(std::optional<std::string>)> done) {
    if (!done) return;
    auto text = std::make_shared<std::optional<std::string>>();
    requestText({[text](std::string piece) {
                     if (*text) (*text)->append(piece);
                     else *text = std::move(piece);
                 },
                 [text, done = std::move(done)](ReadEnd) { done(std::move(*text)); }});
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
        if (*image && (*image)->size() > itemBytesLimit) {
            image->reset();
            items.imageTooLarge = true;
        }
    }
    if (items == items_) return;
    items_ = std::move(items);
    ++changeCount_;
}

}  // namespace platform::ui
