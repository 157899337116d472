#pragma once

#include <string>
#include <vector>

#include "platform/gfx/InterfaceFont.h"
#include "platform/ui/Button.h"
#include "platform/ui/Control.h"

namespace platform::ui {

// A button that shows its selected item and offers the others in a menu.
class PopUpButton : public Control {
public:
    explicit PopUpButton(const Rect& frame = {});

    const std::vector<std::string>& items() const { return items_; }
    void addItem(std::string title);
    void removeAllItems();
    // -1 when nothing is selected.
    int indexOfSelectedItem() const { return selected_; }
    // Selects without running the action; an index outside the items selects nothing.
    void selectItem(int index);
    std::string titleOfSelectedItem() const;

    const gfx::InterfaceFont& font() const { return font_; }
    void setFont(gfx::InterfaceFont font);
    Button::ControlSize controlSize() const { return size_; }
    void setControlSize(Button::ControlSize size);

    // The user picks an item: it becomes the selection and the action runs. False for an index
    // outside the items, or while the control is disabled or hidden.
    bool choose(int index);

    Size fittingSize() const override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

    bool isKeyboardOperable() const override { return true; }
    // The up and down arrows choose the item above or below.
    void keyDown(const KeyEvent& event) override;

private:
    RichText itemText(const std::string& title) const;

    std::vector<std::string> items_;
    int selected_ = -1;
    gfx::InterfaceFont font_;
    Button::ControlSize size_ = Button::ControlSize::regular;
};

}  // namespace platform::ui
