#include "platform/ui/SystemSettings.h"

#include <cmath>

#include "platform/runtime/NotificationCenter.h"

namespace platform::ui {

namespace {

struct Values {
    // GTK's defaults.
    double doubleClickInterval = 0.4;
    double doubleClickDistance = 5;
    bool reduceMotion = false;
    bool applicationActive = true;
    SystemSettings::CaretBlink caretBlink;
};

Values& values() {
    static Values v;
    return v;
}

}  // namespace

double SystemSettings::doubleClickInterval() { return values().doubleClickInterval; }

void SystemSettings::setDoubleClickInterval(double seconds) {
    if (std::isfinite(seconds) && seconds >= 0) values().doubleClickInterval = seconds;
}

double SystemSettings::doubleClickDistance() { return values().doubleClickDistance; }

void SystemSettings::setDoubleClickDistance(double points) {
    if (std::isfinite(points) && points >= 0) values().doubleClickDistance = points;
}

bool SystemSettings::reduceMotion() { return values().reduceMotion; }

void SystemSettings::setReduceMotion(bool on) {
    if (values().reduceMotion == on) return;
    values().reduceMotion = on;
    runtime::NotificationCenter::defaultCenter().post(reduceMotionDidChangeNotification);
}

SystemSettings::CaretBlink SystemSettings::caretBlink() { return values().caretBlink; }

void SystemSettings::setCaretBlink(CaretBlink blink) {
    // A period too short to see, or none, is a caret that holds still.
    if (!std::isfinite(blink.period) || blink.period < 0.1) blink.on = false, blink.period = CaretBlink{}.period;
    if (!std::isfinite(blink.timeout) || blink.timeout < 0) blink.timeout = 0;
    if (values().caretBlink == blink) return;
    values().caretBlink = blink;
    runtime::NotificationCenter::defaultCenter().post(caretBlinkDidChangeNotification);
}

bool SystemSettings::applicationActive() { return values().applicationActive; }

void SystemSettings::setApplicationActive(bool active) {
    if (values().applicationActive == active) return;
    values().applicationActive = active;
    runtime::NotificationCenter::defaultCenter().post(active ? applicationDidBecomeActiveNotification
                                                             : applicationWillResignActiveNotification);
}

}  // namespace platform::ui
