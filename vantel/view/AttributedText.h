#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vantel/view/TextAttributes.h"

namespace vantel {

// UTF-16 text with runs of attributes, as a row segment is handed to the drawing code.
struct AttributedText {
    struct Run {
        uint32_t length = 0;  // UTF-16 units
        TextAttributes attributes;
        friend bool operator==(const Run&, const Run&) = default;
    };

    std::u16string text;
    std::vector<Run> runs;  // their lengths add up to the text's

    // Appends text; it joins the last run when the attributes are equal.
    void append(std::u16string_view piece, const TextAttributes& attributes);

    friend bool operator==(const AttributedText&, const AttributedText&) = default;
};

}  // namespace vantel
