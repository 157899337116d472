#include "quiltdeck/sessions/ChromeProfiles.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "quiltdeck/sessions/FileReading.h"
#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/shell/Env.h"

namespace quiltdeck {

namespace fs = std::filesystem;

namespace {

constexpr size_t chunkSize = 64 * 1024;
constexpr size_t preferencesLimit = 32u << 20;
// Copying and comparing a parsed value recurse once per level.
constexpr int nestingLimit = 512;

constexpr const char* rootNames[] = {
    "google-chrome", "google-chrome-beta", "google-chrome-unstable", "BraveSoftware/Brave-Browser",
    "microsoft-edge", "chromium", "vivaldi", "opera",
};

// Finds needles in a stream of bytes handed over in pieces, with the same
// result as searching all of it at once: each piece is searched together with
// the last (longest needle - 1) bytes before it.
class StreamSearch {
public:
    explicit StreamSearch(std::vector<std::string_view> needles)
        : needles_(std::move(needles)), found_(needles_.size(), false) {
        for (std::string_view needle : needles_) overlap_ = std::max(overlap_, needle.empty() ? 0 : needle.size() - 1);
    }

    void feed(std::string_view piece) {
        if (piece.empty()) return;
        sawBytes_ = true;
        window_.append(piece);
        for (size_t i = 0; i < needles_.size(); ++i) {
            if (!found_[i] && window_.find(needles_[i]) != std::string::npos) found_[i] = true;
        }
        if (window_.size() > overlap_) window_.erase(0, window_.size() - overlap_);
    }

    bool found(size_t i) const { return found_[i]; }
    bool allFound() const { return std::all_of(found_.begin(), found_.end(), [](bool f) { return f; }); }
    bool sawBytes() const { return sawBytes_; }

private:
    std::vector<std::string_view> needles_;
    std::vector<bool> found_;
    size_t overlap_ = 0;
    std::string window_;
    bool sawBytes_ = false;
};

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::vector<fs::path> ChromeProfiles::roots() {
    const fs::path config = configFolder();
    std::vector<fs::path> result;
    for (const char* name : rootNames) result.push_back(config / name);
    return result;
}

std::vector<fs::path> ChromeProfiles::profileDirs() {
    std::vector<fs::path> result;
    for (const fs::path& root : roots()) {
        const auto names = listNames(root);
        if (!names) continue;
        for (const std::string& name : *names) {
            if (name == "Default" || name.starts_with("Profile ")) result.push_back(root / name);
        }
    }
    return result;
}

ChromeProfiles::Account ChromeProfiles::account(const fs::path& profile) {
    Account result;
    const std::optional<std::string> text = readRegularFile(profile / "Preferences", preferencesLimit);
    if (!text) return result;
    const nlohmann::json preferences = parseJsonText(*text, nestingLimit);
    if (!preferences.is_object()) return result;
    if (auto info = preferences.find("account_info"); info != preferences.end() && info->is_array()) {
        for (const auto& entry : *info) {
            if (!entry.is_object()) continue;
            if (auto email = entry.find("email"); email != entry.end() && email->is_string()) {
                result.emails.push_back(email->get<std::string>());
            }
        }
    }
    if (auto owner = preferences.find("profile"); owner != preferences.end() && owner->is_object()) {
        if (auto name = owner->find("name"); name != owner->end() && name->is_string()) {
            result.name = name->get<std::string>();
        }
    }
    return result;
}

std::string ChromeProfiles::accountText(const fs::path& profile) {
    const Account owner = account(profile);
    if (!owner.emails.empty()) {
        for (const std::string& email : owner.emails) {
            const bool atWebMail = endsWith(email, webMailDomain) && email.size() > webMailDomain.size() &&
                                   email[email.size() - webMailDomain.size() - 1] == '@';
            if (!atWebMail) return email;
        }
        return owner.emails.front();
    }
    if (!owner.name.empty()) return owner.name;
    return profile.filename().string();
}

std::map<std::string, std::string> ChromeProfiles::accounts(const std::vector<std::string>& deviceIds) {
    std::map<std::string, std::string> result;
    if (deviceIds.empty()) return result;
    for (const fs::path& profile : profileDirs()) {
        const fs::path storage = profile / extensionStorage;
        const auto names = listNames(storage);
        if (!names) continue;
        std::vector<std::string_view> wanted;
        for (const std::string& id : deviceIds) {
            if (!result.contains(id)) wanted.push_back(id);
        }
        if (wanted.empty()) break;
        // The storage files count as one joined buffer, so a match may span two of them.
        StreamSearch search(wanted);
        for (const std::string& name : *names) {
            if (search.allFound()) break;
            readChunks(storage / name, chunkSize, [&](std::string_view piece) {
                search.feed(piece);
                return !search.allFound();
            });
        }
        if (!search.sawBytes()) continue;
        std::optional<std::string> text;
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (!search.found(i)) continue;
            if (!text) text = accountText(profile);
            result.emplace(std::string(wanted[i]), *text);
        }
    }
    return result;
}

std::optional<fs::path> ChromeProfiles::profileShowing(std::string_view text) {
    for (const fs::path& profile : profileDirs()) {
        const fs::path sessions = profile / "Sessions";
        const auto names = listNames(sessions);
        if (!names) continue;
        for (const std::string& name : *names) {
            StreamSearch search({text});
            readChunks(sessions / name, chunkSize, [&](std::string_view piece) {
                search.feed(piece);
                return !search.found(0);
            });
            if (search.found(0)) return profile;
        }
    }
    return std::nullopt;
}

}  // namespace quiltdeck
