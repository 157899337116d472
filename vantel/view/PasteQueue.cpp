#include "vantel/view/PasteQueue.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "vantel/core/Utf8.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

void PasteQueue::push(std::string bytes, bool pasted, uint64_t typedAt, bool whenRead) {
    if (bytes.empty()) return;
    waiting_ += bytes.size();
    items_.push_back(Item{std::move(bytes), pasted, 0, 0, false, typedAt, 0, whenRead});
}

PasteQueue::Stream PasteQueue::open() {
    items_.push_back(Item{{}, false, 0, ++lastStream_});
    return lastStream_;
}

size_t PasteQueue::place(Stream stream) const {
    for (size_t at = 0; at < items_.size(); ++at) {
        if (items_[at].stream == stream) return at;
    }
    return items_.size();
}

void PasteQueue::insert(size_t at, std::string bytes, bool pasted, Stream from) {
    if (bytes.empty()) return;
    waiting_ += bytes.size();
    if (pasted && from) counts_[from].waiting += bytes.size();
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), Item{std::move(bytes), pasted, 0, 0, false, 0, from});
}

void PasteQueue::append(Stream stream, std::string bytes, bool pasted) {
    size_t at = place(stream);
    if (at == items_.size()) {
        const auto placeless = std::find(placeless_.begin(), placeless_.end(), stream);
        if (placeless == placeless_.end()) return;
        placeless_.erase(placeless);
        items_.push_back(Item{{}, false, 0, stream});
    }
    items_[at].begun = items_[at].begun || !bytes.empty();
    std::string carried = std::exchange(items_[at].bytes, std::string());
    if (!pasted) {
        if (!carried.empty()) insert(at++, std::move(carried), true, stream);
        insert(at, std::move(bytes), false, stream);
        return;
    }
    if (!carried.empty()) bytes.insert(0, carried);
    // A character the piece ends inside of waits for the rest.
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t lead = bytes.size(); lead > 0 && bytes.size() - lead < 4;) {
        if (utf8::isContinuationByte(data[--lead])) continue;
        if (utf8::decode(data + lead, bytes.size() - lead).isCut()) {
            items_[at].bytes = bytes.substr(lead);
            bytes.resize(lead);
        }
        break;
    }
    insert(at, std::move(bytes), true, stream);
}

void PasteQueue::close(Stream stream, bool cut) {
    std::erase(placeless_, stream);
    if (cut) cutShort(stream);
    const size_t at = place(stream);
    if (at == items_.size()) return;
    std::string carried = std::move(items_[at].bytes);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
    insert(at, std::move(carried), true, stream);
}

void PasteQueue::cutShort(Stream stream) {
    const size_t at = place(stream);
    if (at == items_.size() || items_[at].bytes.empty()) return;
    counts_[stream].dropped += items_[at].bytes.size();
    items_[at].bytes.clear();
}

bool PasteQueue::holdsCharacterStart(Stream stream) const {
    const size_t at = place(stream);
    return at < items_.size() && !items_[at].bytes.empty();
}

bool PasteQueue::letPass(Stream stream) {
    const size_t at = place(stream);
    if (at == items_.size() || items_[at].begun) return false;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
    placeless_.push_back(stream);
    return true;
}

std::optional<PasteQueue::Held> PasteQueue::heldTypedInput() const {
    Stream first = 0;
    for (const Item& item : items_) {
        if (item.stream && !first) first = item.stream;
        // Input comes out in the order it went in: the first typed behind a stream was typed first.
        if (first && item.typedAt) return Held{first, item.typedAt};
    }
    return std::nullopt;
}

PasteQueue::Count PasteQueue::count(Stream stream) const {
    const auto it = counts_.find(stream);
    return it == counts_.end() ? Count{} : it->second;
}

size_t PasteQueue::dropPastedText() {
    size_t dropped = 0;
    std::erase_if(items_, [&](const Item& item) {
        if (item.stream || !item.pasted) return false;
        const size_t rest = item.bytes.size() - item.taken;
        dropped += rest;
        if (item.from) {
            Count& count = counts_[item.from];
            count.waiting -= rest;
            count.dropped += rest;
        }
        return true;
    });
    waiting_ -= dropped;
    return dropped;
}

void PasteQueue::takeBack(Stream stream, size_t bytes) {
    const auto it = counts_.find(stream);
    if (it == counts_.end()) return;
    bytes = std::min(bytes, it->second.taken);
    it->second.taken -= bytes;
    it->second.dropped += bytes;
}

std::string PasteQueue::take(size_t limit) {
    if (!ready()) return {};
    Item& item = items_.front();
    const size_t start = item.taken;
    size_t end = start + std::min(std::max<size_t>(limit, 1), item.bytes.size() - start);
    if (item.pasted && end < item.bytes.size()) {
        // A piece never ends inside a character (or a broken one) the whole text would decode
        // as one: it ends before it, or after it when it is the piece's first.
        const auto* data = reinterpret_cast<const uint8_t*>(item.bytes.data());
        for (size_t at = end; at > start && end - at < 4;) {
            if (utf8::isContinuationByte(data[--at])) continue;
            const size_t length = utf8::decode(data + at, item.bytes.size() - at).length;
            if (at + length > end) end = at > start ? at : at + length;
            break;
        }
    }
    const std::string_view piece(item.bytes.data() + start, end - start);
    std::string out = item.pasted ? TerminalView::filterPastedText(piece) : std::string(piece);
    item.taken = end;
    waiting_ -= end - start;
    if (item.from && item.pasted) {
        Count& count = counts_[item.from];
        count.waiting -= end - start;
        count.taken += end - start;
    }
    if (item.taken == item.bytes.size()) items_.pop_front();
    return out;
}

}  // namespace vantel
