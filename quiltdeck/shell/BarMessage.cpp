#include "quiltdeck/shell/BarMessage.h"

#include "platform/runtime/NotificationCenter.h"

namespace quiltdeck {

void BarMessage::say(std::string shown, std::string whole) {
    if (whole.empty()) whole = shown;
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(didPost), Text{std::move(shown), std::move(whole)});
}

}  // namespace quiltdeck
