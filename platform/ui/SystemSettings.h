#pragma once

namespace platform::ui {

// The user's desktop settings that views follow. The toolkit backend keeps them current; headless
// they keep their defaults unless a test sets them. Changes of reduceMotion and of the
// application's activity are posted on the default notification centre under the names below.
class SystemSettings {
public:
    static constexpr const char* reduceMotionDidChangeNotification = "platform.ui.reduceMotionDidChange";
    static constexpr const char* applicationDidBecomeActiveNotification = "platform.ui.applicationDidBecomeActive";
    static constexpr const char* applicationWillResignActiveNotification = "platform.ui.applicationWillResignActive";
    static constexpr const char* caretBlinkDidChangeNotification = "platform.ui.caretBlinkDidChange";

    // Seconds and points within which a second press counts as a double click.
    static double doubleClickInterval();
    static void setDoubleClickInterval(double seconds);
    static double doubleClickDistance();
    static void setDoubleClickDistance(double points);

    // The desktop asks for as little motion as possible (animations off).
    static bool reduceMotion();
    static void setReduceMotion(bool on);

    // How text carets blink: whether they do, the length of one blink (out and back, seconds), and
    // how long after the user's last key or focus change they go on before they hold still
    // (seconds; 0: they never stop). Still carets cost an idle window nothing.
    struct CaretBlink {
        bool on = true;
        double period = 1.4;
        double timeout = 10;
        friend bool operator==(const CaretBlink&, const CaretBlink&) = default;
    };
    static CaretBlink caretBlink();
    static void setCaretBlink(CaretBlink blink);

    // One of the program's windows is the one the user works in.
    static bool applicationActive();
    static void setApplicationActive(bool active);
};

}  // namespace platform::ui
