#include "platform/gfx/FailureLog.h"

#include <mutex>

#include "platform/gfx/BoundedCache.h"
#include "platform/runtime/SystemLog.h"

namespace platform::gfx {

void logFailureOnce(std::string_view category, const std::string& key, std::string_view message) {
    static std::mutex mutex;
    // Never destroyed: fonts may fail while the process ends.
    static auto* said = new BoundedCache<std::string, bool>({.entries = 4096},
                                                             BoundedCache<std::string, bool>::Eviction::leastRecentlyUsed);
    {
        std::lock_guard lock(mutex);
        if (said->find(key)) return;
        said->insert(key, true);
    }
    runtime::SystemLog::write(runtime::LogLevel::error, category, message);
}

}  // namespace platform::gfx
