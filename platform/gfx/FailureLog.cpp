#include "platform/gfx/FailureLog.h"

#include <mutex>

#include "platform/gfx/BoundedCache.h"
#include "platform/runtime/SystemLog.h"

namespace platform::gfx {

namespace {

// Whether the key is new (and now remembered).
bool firstTime(const std::string& key) {
    static std::mutex mutex;
    // Never destroyed: fonts may fail while the process ends.
    static auto* said = new BoundedCache<std::string, bool>({.entries = 4096},
                                                             BoundedCache<std::string, bool>::Eviction::leastRecentlyUsed);
    std::lock_guard lock(mutex);
    if (said->find(key)) return false;
    said->insert(key, true);
    return true;
}

}  // namespace

void logFailureOnce(std::string_view category, const std::string& key, std::string_view message) {
    if (firstTime(key)) runtime::SystemLog::write(runtime::LogLevel::error, category, message);
}

void logRefusalOnce(std::string_view category, const std::string& key, std::string_view kind,
                    std::string_view message) {
    if (firstTime(key)) runtime::SystemLog::writeRefusal(runtime::LogLevel::error, category, kind, message);
}

}  // namespace platform::gfx
