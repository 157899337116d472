#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Pasteboard.h"
#include "platform/ui/gtk/SelectionReader.h"

struct wl_data_device;
struct wl_data_device_manager;
struct wl_data_offer;
struct wl_display;

namespace platform::ui::gtk {

// The clipboard as a Wayland client of our own sees it: a data device on the toolkit's seat and
// display, whose selection is read through a pipe this program holds (a PipeTransfer), in parts,
// with the limits of SelectionReader. The toolkit's own read takes the whole offer before anything
// is heard of it and cannot be stopped; this one is let go of by closing the pipe. A new offer that
// comes while a read is under way only replaces the offer later reads ask. Main thread only.
class WaylandSelection {
public:
    // None when the display is not a Wayland one or offers no data device.
    static std::unique_ptr<WaylandSelection> bind();
    ~WaylandSelection();
    WaylandSelection(const WaylandSelection&) = delete;
    WaylandSelection& operator=(const WaylandSelection&) = delete;

    // The types the current selection offers among those this program reads (an offer may name
    // any number of others: they are not kept); none when nobody offers one.
    std::optional<std::vector<std::string>> types() const;
    // Reads one type, in parts: no part within the step limit ends the read (`noAnswer` when
    // nothing came, else `stopped`), past `limit` it is cut there (`tooLarge`), the pipe's end
    // ends it whole, while the handler's read-ahead is full the pipe is not read. The result,
    // when called, closes the pipe without a word to `handler`.
    Pasteboard::CancelRead read(const std::string& type, size_t limit, SelectionReader::Handler handler);

    struct Offer;

private:
    WaylandSelection(wl_display* display, wl_data_device_manager* manager, wl_data_device* device);
    friend struct DeviceEvents;
    // The announced offer that became the selection or a drag's; the others announced before it
    // were never taken up and go.
    std::unique_ptr<Offer> take(wl_data_offer* offer);

    wl_display* display_;
    wl_data_device_manager* manager_;
    wl_data_device* device_;
    // Announced and not yet the selection or a drag's; the selection.
    std::vector<std::unique_ptr<Offer>> announced_;
    std::unique_ptr<Offer> selection_;
    // The offer of the drag over our window, let go of when it leaves; a dropped one is kept until
    // the next drag enters, as the toolkit reads the drop meanwhile and letting our offer of it go
    // before the toolkit finished could end the drop for it too.
    std::unique_ptr<Offer> entered_;
    std::unique_ptr<Offer> dropped_;
};

}  // namespace platform::ui::gtk
