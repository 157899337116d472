#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quiltdeck {

// Open at login through an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/quiltdeck.desktop, that runs this executable. The
// registration counts as enabled when that file is ours and not Hidden=true; a
// file that is not ours is never removed.
class LoginItem {
public:
    LoginItem() = delete;

    // Brings the registration in line with the store's openAtLogin.
    static void apply();
    static void apply(bool openAtLogin);

    static std::filesystem::path file();
    static bool enabled();

    // The Exec value that runs `executable`: quoted and escaped as the Desktop
    // Entry rules require.
    static std::string execValue(std::string_view executable);
    static std::string desktopEntry(std::string_view executable);
};

}  // namespace quiltdeck
