#include "quiltdeck/shell/Lang.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "quiltdeck/shell/StoredSettings.h"

namespace quiltdeck {

namespace {

constexpr std::string_view rawValues[Lang::count] = {"en", "et", "de", "fr", "es", "it",
                                                     "pt", "nl", "pl", "ru", "zh"};
constexpr std::string_view promptNames[Lang::count] = {"English", "Estonian", "German", "French",
                                                       "Spanish", "Italian",  "Portuguese", "Dutch",
                                                       "Polish",  "Russian",  "Chinese"};
// As the language picker offers them.
constexpr std::string_view ownNames[Lang::count] = {"English",  "Eesti",      "Deutsch", "Français",
                                                    "Español",  "Italiano",   "Português", "Nederlands",
                                                    "Polski",   "Русский",    "中文"};

constexpr int unset = -1;
std::atomic<int> currentIndex{unset};

}  // namespace

std::optional<Lang> Lang::fromRawValue(std::string_view raw) {
    for (Lang lang : allCases())
        if (rawValues[lang.index()] == raw) return lang;
    return std::nullopt;
}

std::string_view Lang::rawValue() const { return rawValues[index()]; }

std::string_view Lang::promptLanguage() const { return promptNames[index()]; }

std::string_view Lang::ownName() const { return ownNames[index()]; }

Lang Lang::current() {
    int index = currentIndex.load(std::memory_order_acquire);
    if (index == unset) {
        // The language chosen is inside the state: where that cannot be read, the desktop's.
        const StoredSettings& settings = StoredSettings::shared();
        const Lang stored = settings.readable() ? fromRawValue(settings.language()).value_or(en) : desktop();
        int expected = unset;
        currentIndex.compare_exchange_strong(expected, stored.index(), std::memory_order_acq_rel);
        index = currentIndex.load(std::memory_order_acquire);
    }
    return Lang(static_cast<Code>(index));
}

void Lang::setCurrent(Lang lang) { currentIndex.store(lang.index(), std::memory_order_release); }

Lang Lang::desktop() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        const std::string_view locale(value);
        return fromRawValue(locale.substr(0, std::min(locale.find_first_of("_.@"), locale.size()))).value_or(en);
    }
    return en;
}

}  // namespace quiltdeck
