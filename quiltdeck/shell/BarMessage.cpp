#include "quiltdeck/shell/BarMessage.h"

#include <utility>

#include "platform/runtime/NotificationCenter.h"

namespace quiltdeck {

BarMessage::Text BarMessage::Message::text() const {
    Text said = wording ? wording() : Text{};
    if (said.whole.empty()) said.whole = said.shown;
    return said;
}

void BarMessage::say(std::string topic, Wording wording, bool lasting) {
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(didPost),
                                                                Message{std::move(topic), std::move(wording), lasting});
}

void BarMessage::say(std::string shown, std::string whole) {
    say({}, [text = Text{std::move(shown), std::move(whole)}] { return text; });
}

void BarMessage::withdraw(std::string topic) {
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(didWithdraw), std::move(topic));
}

}  // namespace quiltdeck
