#include "vantel/view/AttributedText.h"

namespace vantel {

void AttributedText::append(std::u16string_view piece, const TextAttributes& attributes) {
    if (piece.empty()) return;
    text.append(piece);
    if (!runs.empty() && runs.back().attributes == attributes) {
        runs.back().length += static_cast<uint32_t>(piece.size());
    } else {
        runs.push_back(Run{static_cast<uint32_t>(piece.size()), attributes});
    }
}

}  // namespace vantel
