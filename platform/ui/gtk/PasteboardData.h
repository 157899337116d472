#pragma once

#include <optional>
#include <string>

#include "platform/ui/Pasteboard.h"

typedef struct _GtkSelectionData GtkSelectionData;

namespace platform::ui::gtk {

// Adds what one piece of selection data holds (URIs, PNG or TIFF bytes by its target, or
// text) to `items` and `text`. Images above the pasteboard's limit are left out.
void addSelectionData(GtkSelectionData* data, Pasteboard::Items& items, std::optional<std::string>& text);

// The pasteboard that stands for a drag: fed each piece of the drag's data as it arrives.
void takeDragData(Pasteboard& board, GtkSelectionData* data);

}  // namespace platform::ui::gtk
