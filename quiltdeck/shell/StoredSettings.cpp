#include "quiltdeck/shell/StoredSettings.h"

#include <atomic>

namespace quiltdeck {

namespace {

class UnchosenSettings final : public StoredSettings {
public:
    const std::string& fontName() const override { return fontName_; }
    const std::string& language() const override { return language_; }
    bool openAtLogin() const override { return defaultOpenAtLogin; }
    const StringMap& tileColors() const override { return tileColors_; }

private:
    std::string fontName_{defaultFontName};
    std::string language_{defaultLanguage};
    StringMap tileColors_;
};

// Constant-initialised, so a source set from another file's static initialiser is never lost.
constinit std::atomic<StoredSettings::Source> source{nullptr};

}  // namespace

const StoredSettings& StoredSettings::shared() {
    if (const Source current = source.load(std::memory_order_acquire)) return current();
    static const UnchosenSettings* const unchosen = new UnchosenSettings;
    return *unchosen;
}

void StoredSettings::setSource(Source newSource) { source.store(newSource, std::memory_order_release); }

}  // namespace quiltdeck
