#pragma once

#include <string>
#include <string_view>

namespace quiltdeck {

// A short message for the top bar about something the user did that went wrong where nothing else
// shows it (a paste cut short, a picture not kept): said once, in the interface language, and shown
// for a while. Any layer may say one; the bar, when there is one, shows the latest.
class BarMessage {
public:
    BarMessage() = delete;

    // `shown` is short enough for the narrowest bar; `whole`, when given, says all of it (the tip).
    struct Text {
        std::string shown;
        std::string whole;
    };
    // Posted on the default centre with the Text as its object.
    static constexpr std::string_view didPost = "quiltdeck.barMessage";
    static void say(std::string shown, std::string whole = {});
};

}  // namespace quiltdeck
