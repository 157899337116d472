#pragma once

#include <string>

namespace quiltdeck {

class Store;

// One connected browser: a device that the assistant's browser extension reports.
struct BrowserInfo {
    std::string deviceId;
    std::string name;  // as the extension names it, else the device id

    // What the user sees: their own label, else the account learned from the
    // browser profile, else the name. With the process's store.
    std::string label() const;
    std::string label(const Store& store) const;

    friend bool operator==(const BrowserInfo&, const BrowserInfo&) = default;
};

}  // namespace quiltdeck
