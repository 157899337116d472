#include "vantel/gpu/GpuRecoverySignpost.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/runtime/SystemLog.h"

namespace vantel {

namespace {

struct OpenInterval {
    std::string name;
    std::chrono::steady_clock::time_point start;
};

std::mutex intervalsMutex;
std::map<uint64_t, OpenInterval>& openIntervals() {
    static std::map<uint64_t, OpenInterval> intervals;
    return intervals;
}
uint64_t nextId = 1;

}  // namespace

bool GpuRecoverySignpost::isEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTEL_PROFILE");
        return value && std::string_view(value) == "1";
    }();
    return enabled;
}

uint64_t GpuRecoverySignpost::begin(std::string_view name) {
    if (!isEnabled()) return 0;
    uint64_t id;
    {
        std::lock_guard lock(intervalsMutex);
        id = nextId++;
        openIntervals()[id] = {std::string(name), std::chrono::steady_clock::now()};
    }
    platform::runtime::SystemLog::write(platform::runtime::LogLevel::info, category,
                                        "begin " + std::string(name) + " #" + std::to_string(id));
    return id;
}

void GpuRecoverySignpost::end(uint64_t id) {
    if (id == 0) return;
    OpenInterval interval;
    {
        std::lock_guard lock(intervalsMutex);
        auto found = openIntervals().find(id);
        if (found == openIntervals().end()) return;
        interval = std::move(found->second);
        openIntervals().erase(found);
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - interval.start).count();
    char text[48];
    std::snprintf(text, sizeof text, " %.3f ms", ms);
    platform::runtime::SystemLog::write(platform::runtime::LogLevel::info, category,
                                        "end " + interval.name + " #" + std::to_string(id) + text);
}

}  // namespace vantel
