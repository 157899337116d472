// Feeds arbitrary bytes to the COMPOUND_TEXT decoder as an owner's parts: it never fails hard, its
// text is valid UTF-8, and the parts give the text the whole gives, wherever they end.
#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ui/gtk/CompoundText.h"

using platform::ui::gtk::CompoundText;

namespace {

bool validUtf8(const std::string& text) {
    // GLib's check stops at NUL, which the decoder passes as the control it is.
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\0', at);
        if (end == std::string::npos) end = text.size();
        if (!g_utf8_validate(text.data() + at, static_cast<gssize>(end - at), nullptr)) return false;
        at = end + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte sets the parts' sizes; the rest is the text.
    const size_t step = 1 + data[0] % 17;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CompoundText whole;
    const std::string expected = whole.add(bytes) + whole.finish();
    if (!validUtf8(expected)) std::abort();
    CompoundText parts;
    std::string text;
    for (size_t at = 0; at < bytes.size(); at += step) text += parts.add(bytes.substr(at, step));
    text += parts.finish();
    if (text != expected) std::abort();
    return 0;
}
