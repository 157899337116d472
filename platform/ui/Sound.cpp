#include "platform/ui/Sound.h"

namespace platform::ui {

namespace {

std::function<void()>& beeper() {
    static std::function<void()> installed;
    return installed;
}

}  // namespace

void Sound::setBeeper(std::function<void()> b) { beeper() = std::move(b); }

void Sound::beep() {
    if (beeper()) beeper()();
}

}  // namespace platform::ui
