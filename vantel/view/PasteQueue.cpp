#include "vantel/view/PasteQueue.h"

#include <algorithm>
#include <string_view>

#include "vantel/core/Utf8.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

void PasteQueue::push(std::string bytes, bool pasted) {
    if (bytes.empty()) return;
    waiting_ += bytes.size();
    items_.push_back(Item{std::move(bytes), pasted, 0});
}

std::string PasteQueue::take(size_t limit) {
    if (items_.empty()) return {};
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
    if (item.taken == item.bytes.size()) items_.pop_front();
    return out;
}

}  // namespace vantel
