#pragma once

// The GPU device for tests: Mesa's software rasteriser through EGL's surfaceless platform. One
// device is shared by the whole test program (and its EGL display lives as long as the program).
// Without EGL a GPU test is skipped, unless QUILTDECK_REQUIRE_GPU is set (CI), where it fails.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/gpu/CommandQueue.h"
#include "platform/gpu/Device.h"

namespace platform::gpu::testing {

inline std::shared_ptr<Device> sharedTestDevice(std::string* whyNot) {
    ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    static std::string failure;
    auto device = Device::systemDefault();
    if (!device && failure.empty()) Device::makeHeadless(&failure);
    if (whyNot) *whyNot = failure;
    return device;
}

inline bool gpuRequired() {
    const char* value = std::getenv("QUILTDECK_REQUIRE_GPU");
    return value && *value && std::string(value) != "0";
}

}  // namespace platform::gpu::testing

// Declares `name`, the shared device, or skips (fails under QUILTDECK_REQUIRE_GPU) without one.
#define GPU_TEST_DEVICE(name)                                                                  \
    std::string name##WhyNot;                                                                  \
    auto name = ::platform::gpu::testing::sharedTestDevice(&name##WhyNot);                     \
    if (!name) {                                                                               \
        if (::platform::gpu::testing::gpuRequired()) FAIL() << "no GPU device: " << name##WhyNot; \
        GTEST_SKIP() << "no GPU device: " << name##WhyNot;                                     \
    }
