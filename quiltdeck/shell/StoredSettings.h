#pragma once

#include <map>
#include <string>
#include <string_view>

namespace quiltdeck {

// The stored choices the shell's own pieces follow: the terminal font, the interface language,
// opening at login and the colours chosen for folders. The state folder's store answers them for
// the process; the shell reads them here, so it never reaches up into the store.
class StoredSettings {
public:
    using StringMap = std::map<std::string, std::string>;

    // What a store holds before anything is chosen.
    static constexpr std::string_view defaultFontName = "JetBrains Mono";
    // What earlier versions stored for the default terminal font; it reads as the default.
    static constexpr std::string_view formerDefaultFontName = "SF Mono";
    static constexpr std::string_view defaultLanguage = "en";
    static constexpr bool defaultOpenAtLogin = true;

    virtual ~StoredSettings() = default;

    virtual const std::string& fontName() const = 0;
    virtual const std::string& language() const = 0;
    // The choices could be read (false: the file that holds them is there but unreadable, and
    // what they answer are the defaults, not the user's).
    virtual bool readable() const { return true; }
    virtual bool openAtLogin() const = 0;
    // Folder -> hex RGB, as the user chose it.
    virtual const StringMap& tileColors() const = 0;

    // The process's settings: what the source answers, asked at every call. The store sets itself
    // as the source when the program is started; without a source, the defaults above.
    static const StoredSettings& shared();
    using Source = const StoredSettings& (*)();
    static void setSource(Source source);
};

}  // namespace quiltdeck
