#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// Read-only access to the profile folders of Chromium-family browsers: which
// profiles exist, whose account each one is, and which of them holds a device
// id in the browser extension's storage or a text in its open-tab files.
// Every call reads the disk again; called off the main thread.
class ChromeProfiles {
public:
    ChromeProfiles() = delete;

    // What a profile's "Preferences" records of its owner.
    struct Account {
        std::vector<std::string> emails;
        std::string name;
        friend bool operator==(const Account&, const Account&) = default;
    };

    // Addresses at this web-mail service are passed over for a more telling one.
    static constexpr std::string_view webMailDomain = "gmail.com";
    // The folder of the browser extension's local storage inside a profile.
    static constexpr std::string_view extensionStorage = "Local Extension Settings/fcoeoabgfenejglbffodgkkbkcdhcgfn";

    // The browsers' data folders under the configuration folder, in search order.
    static std::vector<std::filesystem::path> roots();
    // "Default" and "Profile …" entries of every root, root by root, in listing order.
    static std::vector<std::filesystem::path> profileDirs();
    static Account account(const std::filesystem::path& profile);
    // For each id that some profile's extension storage holds: the account text of
    // the first such profile. Ids found nowhere are absent.
    static std::map<std::string, std::string> accounts(const std::vector<std::string>& deviceIds);
    // The first profile whose open-tab files contain `text`.
    static std::optional<std::filesystem::path> profileShowing(std::string_view text);

    // The first address not at the web-mail service (else the first address),
    // else the profile name, else the folder's own name.
    static std::string accountText(const std::filesystem::path& profile);
};

}  // namespace quiltdeck
