#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace quiltdeck {

class Browsers;

// The browsers sheet: the connected browsers with their short device id, a label the user gives
// each (stored by the application only), an identify button and the learned account; refresh,
// identify all and close. Every change of the browser service updates the list in place: a row
// whose device is still listed keeps its field as it is (text, focus, caret), only vanished ones
// go. A label is stored when its field commits (Return, or leaving it with a changed text). Plain
// push buttons, no pills, each as wide as its title; a row's field gives up width before the row
// passes the list's edge. The sheet takes the colours of a new theme while it shows. Main thread.
class BrowsersWindow : public std::enable_shared_from_this<BrowsersWindow> {
public:
    static constexpr platform::gfx::Size size{760, 380};
    static constexpr double fieldWidth = 420;
    static constexpr double smallestFieldWidth = 240;

    // `browsers` must outlive the panel (the process's service in the program).
    explicit BrowsersWindow(uint16_t hookPort);
    BrowsersWindow(uint16_t hookPort, Browsers& browsers);
    ~BrowsersWindow();
    BrowsersWindow(const BrowsersWindow&) = delete;
    BrowsersWindow& operator=(const BrowsersWindow&) = delete;

    // Builds the sheet, asks for a listing unless one is fresh, and shows it over `window`.
    void present(platform::ui::Window& window);
    // The sheet's content and the list, which follows the service from now until the sheet ends
    // (present builds it).
    void build();
    // Brings the list area in line with the service.
    void rebuild();

    // --- Actions -------------------------------------------------------------------------------------
    void refresh();
    void identifyAll();
    // By the row's tag: nothing when it names no listed browser or another one than the row's.
    void identify(int tag, const std::string& deviceId);
    void commitLabel(int tag, const std::string& deviceId, const std::string& text);
    void close();

    // --- What tests look at ----------------------------------------------------------------------------
    struct Row {
        std::string deviceId;
        platform::ui::StackView line{platform::ui::StackView::Orientation::horizontal};
        platform::ui::Label device;
        platform::ui::TextField field;
        platform::ui::Button identify;
        platform::ui::Label account;
    };
    platform::ui::Window* panel() const { return panel_.get(); }
    platform::ui::FlippedView& content() { return content_; }
    platform::ui::StackView& stack() { return stack_; }
    uint16_t hookPort() const { return hookPort_; }
    // The label field of each listed device.
    const std::map<std::string, platform::ui::TextField*>& fields() const { return fields_; }
    const std::vector<std::unique_ptr<Row>>& rows() const { return rows_; }
    // The line shown in place of rows; null while there are rows.
    platform::ui::Label* message() const { return message_.get(); }
    platform::ui::Button& refreshButton() { return refresh_; }
    platform::ui::Button& identifyAllButton() { return identifyAll_; }
    platform::ui::Button& closeButton() { return close_; }

private:
    Row& makeRow(const std::string& deviceId);
    void updateRow(Row& row, size_t index);
    bool listed(int tag, const std::string& deviceId) const;
    // The ground, the texts and the rows in the theme now in force.
    void applyTheme();

    Browsers& browsers_;
    uint16_t hookPort_;
    std::unique_ptr<platform::ui::Window> panel_;
    platform::ui::FlippedView content_;
    platform::ui::StackView stack_{platform::ui::StackView::Orientation::vertical};
    platform::ui::Button refresh_;
    platform::ui::Button identifyAll_;
    platform::ui::Button close_;
    platform::ui::Label note_;
    std::map<std::string, platform::ui::TextField*> fields_;
    std::vector<std::unique_ptr<Row>> rows_;
    std::unique_ptr<platform::ui::Label> message_;
    platform::runtime::NotificationCenter::Subscription observer_;
    platform::runtime::NotificationCenter::Subscription themeObserver_;
};

}  // namespace quiltdeck
