#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantel {

// Timed begin and end lines in the log's "GpuProfile" category, written only when the
// environment variable VANTEL_PROFILE is "1" (read once).
struct GpuRecoverySignpost {
    static constexpr const char* category = "GpuProfile";
    static bool isEnabled();

    // Writes "begin <name> #<id>" and returns the interval's id; 0 (and nothing written) when
    // signposts are off.
    static uint64_t begin(std::string_view name);
    // Writes "end <name> #<id> <milliseconds> ms" for an open interval; nothing for 0 or an id
    // already ended.
    static void end(uint64_t id);
};

// An interval from construction to end() or destruction.
class GpuSignpostInterval {
public:
    explicit GpuSignpostInterval(std::string_view name) : id_(GpuRecoverySignpost::begin(name)) {}
    ~GpuSignpostInterval() { end(); }
    GpuSignpostInterval(const GpuSignpostInterval&) = delete;
    GpuSignpostInterval& operator=(const GpuSignpostInterval&) = delete;
    void end() {
        GpuRecoverySignpost::end(id_);
        id_ = 0;
    }

private:
    uint64_t id_;
};

}  // namespace vantel
