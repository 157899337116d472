#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quiltdeck {

// A short message for the top bar about something the user did that went wrong where nothing else
// shows it (a paste cut short, a picture not kept), or that is still under way (a paste waiting
// for the clipboard): in the interface language of the moment, shown for a while or until
// withdrawn. Any layer may say one; the bar, when there is one, shows the latest still standing.
class BarMessage {
public:
    BarMessage() = delete;

    // `shown` is short enough for the narrowest bar; `whole`, when given, says all of it (the tip).
    struct Text {
        std::string shown;
        std::string whole;
    };
    // Words the message in the interface language of the moment; asked again when it changes.
    using Wording = std::function<Text()>;
    struct Message {
        // What the message is about ("paste", "picture"...): a later message of the same topic
        // replaces it, and withdraw(topic) takes it away. Empty: a topic of its own.
        std::string topic;
        Wording wording;
        // Stays until withdrawn or replaced (something still under way), not for the usual while.
        bool lasting = false;
        Text text() const;
    };
    // Posted on the default centre with the Message as its object.
    static constexpr std::string_view didPost = "quiltdeck.barMessage";
    // Posted with the topic (a std::string) as its object.
    static constexpr std::string_view didWithdraw = "quiltdeck.barMessage.withdraw";

    static void say(std::string topic, Wording wording, bool lasting = false);
    // A message worded once, in the language of the moment.
    static void say(std::string shown, std::string whole = {});
    // Takes the topic's message away, whether it shows or waits under a later one; the messages
    // of other topics stay.
    static void withdraw(std::string topic);
};

}  // namespace quiltdeck
