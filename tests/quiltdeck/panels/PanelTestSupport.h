#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/gfx/Rgba.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/RichText.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck::testing {

// A virtual main loop for the notifications the panels follow, and the theme of each test.
class PanelTest : public ::testing::Test {
protected:
    PanelTest() : scoped_(loop_) { setDark(true); }
    ~PanelTest() override { loop_.runPending(); }

    void setDark(bool dark) {
        Theme::setMode(dark ? ThemeMode::dark : ThemeMode::light);
        Theme::resolve();
        loop_.runPending();
    }
    void post(std::string_view name) {
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(name));
        loop_.runPending();
    }

    platform::runtime::VirtualMainLoop loop_;

private:
    platform::runtime::ScopedMainLoop scoped_;
};

inline platform::gfx::Rgba rgb(int r, int g, int b) {
    return platform::gfx::Rgba::fromBytes(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

// The colour and weight of the run that holds a byte of the text.
inline const platform::ui::TextAttributes& runAt(const platform::ui::RichText& text, size_t byte) {
    return *text.attributesAt(byte);
}

}  // namespace quiltdeck::testing
