#include "quiltdeck/shell/BarMessage.h"

#include "platform/runtime/NotificationCenter.h"

namespace quiltdeck {

void BarMessage::say(std::string text) {
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(didPost), std::move(text));
}

}  // namespace quiltdeck
