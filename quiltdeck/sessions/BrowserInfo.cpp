#include "quiltdeck/sessions/BrowserInfo.h"

#include "quiltdeck/sessions/Store.h"

namespace quiltdeck {

std::string BrowserInfo::label() const { return label(Store::shared()); }

std::string BrowserInfo::label(const Store& store) const {
    if (auto user = store.browserLabels().find(deviceId); user != store.browserLabels().end()) return user->second;
    if (auto account = store.browserAccounts().find(deviceId); account != store.browserAccounts().end()) {
        return account->second;
    }
    return name;
}

}  // namespace quiltdeck
