#include "platform/ui/gtk/WaylandSelection.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#include <wayland-client.h>
#endif

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/ui/gtk/PipeTransfer.h"

namespace platform::ui::gtk {

#ifdef GDK_WINDOWING_WAYLAND

struct WaylandSelection::Offer {
    wl_data_offer* proxy = nullptr;
    std::vector<std::string> types;
    ~Offer() { wl_data_offer_destroy(proxy); }
};

namespace {

using Outcome = SelectionReader::Outcome;

void onRegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, wl_data_device_manager_interface.name) != 0) return;
    *static_cast<wl_data_device_manager**>(data) = static_cast<wl_data_device_manager*>(
        wl_registry_bind(registry, name, &wl_data_device_manager_interface, std::min<uint32_t>(version, 3)));
}
void onRegistryGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryEvents = {onRegistryGlobal, onRegistryGlobalRemove};

void onOfferType(void* data, wl_data_offer*, const char* type) {
    auto& types = static_cast<WaylandSelection::Offer*>(data)->types;
    const auto& known = SelectionReader::knownTargets();
    if (std::find(known.begin(), known.end(), type) != known.end() && std::find(types.begin(), types.end(), type) == types.end())
        types.emplace_back(type);
}
void onOfferSourceActions(void*, wl_data_offer*, uint32_t) {}
void onOfferAction(void*, wl_data_offer*, uint32_t) {}
const wl_data_offer_listener offerEvents = {onOfferType, onOfferSourceActions, onOfferAction};

}  // namespace

struct DeviceEvents {
    static void dataOffer(void* data, wl_data_device*, wl_data_offer* proxy) {
        auto offer = std::make_unique<WaylandSelection::Offer>();
        offer->proxy = proxy;
        wl_data_offer_add_listener(proxy, &offerEvents, offer.get());
        static_cast<WaylandSelection*>(data)->announced_.push_back(std::move(offer));
    }
    // A drag that enters comes after any earlier one ended, its drop read.
    static void enter(void* data, wl_data_device*, uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t, wl_data_offer* proxy) {
        auto* self = static_cast<WaylandSelection*>(data);
        self->dropped_.reset();
        self->entered_ = self->take(proxy);
    }
    static void leave(void* data, wl_data_device*) { static_cast<WaylandSelection*>(data)->entered_.reset(); }
    static void motion(void*, wl_data_device*, uint32_t, wl_fixed_t, wl_fixed_t) {}
    static void drop(void* data, wl_data_device*) {
        auto* self = static_cast<WaylandSelection*>(data);
        if (self->entered_) self->dropped_ = std::move(self->entered_);
    }
    // A read under way holds its own pipe: the offer it came from may go.
    static void selection(void* data, wl_data_device*, wl_data_offer* proxy) {
        auto* self = static_cast<WaylandSelection*>(data);
        self->selection_ = self->take(proxy);
    }
    static constexpr wl_data_device_listener listener = {dataOffer, enter, leave, motion, drop, selection};
};

std::unique_ptr<WaylandSelection> WaylandSelection::bind() {
    GdkDisplay* gdk = gdk_display_get_default();
    if (!gdk || !GDK_IS_WAYLAND_DISPLAY(gdk)) return nullptr;
    wl_display* display = gdk_wayland_display_get_wl_display(gdk);
    GdkSeat* seat = gdk_display_get_default_seat(gdk);
    if (!display || !seat || !gdk_wayland_seat_get_wl_seat(seat)) return nullptr;
    // The globals are asked on a queue of our own, so that the toolkit's events wait meanwhile.
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    wl_data_device_manager* manager = nullptr;
    wl_registry_add_listener(registry, &registryEvents, &manager);
    const int asked = wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    if (manager) wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(manager), nullptr);
    wl_event_queue_destroy(queue);
    if (asked < 0 || !manager) {
        std::fprintf(stderr, "clipboard: the Wayland display offers no data device; pastes use the toolkit's read\n");
        if (manager) wl_data_device_manager_destroy(manager);
        return nullptr;
    }
    // The device's events come on the toolkit's queue, so the toolkit's loop hands them over.
    wl_data_device* device = wl_data_device_manager_get_data_device(manager, gdk_wayland_seat_get_wl_seat(seat));
    auto selection = std::unique_ptr<WaylandSelection>(new WaylandSelection(display, manager, device));
    wl_data_device_add_listener(device, &DeviceEvents::listener, selection.get());
    wl_display_flush(display);
    return selection;
}

WaylandSelection::WaylandSelection(wl_display* display, wl_data_device_manager* manager, wl_data_device* device)
    : display_(display), manager_(manager), device_(device) {}

WaylandSelection::~WaylandSelection() {
    announced_.clear();
    selection_.reset();
    entered_.reset();
    dropped_.reset();
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(device_)) >= WL_DATA_DEVICE_RELEASE_SINCE_VERSION) {
        wl_data_device_release(device_);
    } else {
        wl_data_device_destroy(device_);
    }
    wl_data_device_manager_destroy(manager_);
    wl_display_flush(display_);
}

std::unique_ptr<WaylandSelection::Offer> WaylandSelection::take(wl_data_offer* proxy) {
    std::unique_ptr<Offer> taken;
    for (auto& offer : announced_) {
        if (proxy && offer->proxy == proxy) taken = std::move(offer);
    }
    announced_.clear();
    return taken;
}

std::optional<std::vector<std::string>> WaylandSelection::types() const {
    if (!selection_) return std::nullopt;
    return selection_->types;
}

Pasteboard::CancelRead WaylandSelection::read(const std::string& type, size_t limit, SelectionReader::Handler handler) {
    if (!handler.piece || !handler.end) return {};
    const auto pipe = selection_ ? PipeTransfer::open() : std::nullopt;
    if (!pipe) {
        if (selection_) std::fprintf(stderr, "clipboard: no pipe for the offer: %s\n", std::strerror(errno));
        handler.end({selection_ ? Outcome::noAnswer : Outcome::refused, std::nullopt});
        return {};
    }
    wl_data_offer_receive(selection_->proxy, type.c_str(), pipe->theirs);
    wl_display_flush(display_);
    ::close(pipe->theirs);
    return PipeTransfer::start(pipe->ours, type, limit, std::move(handler));
}

#else

struct WaylandSelection::Offer {};
std::unique_ptr<WaylandSelection> WaylandSelection::bind() { return nullptr; }
WaylandSelection::~WaylandSelection() = default;
std::optional<std::vector<std::string>> WaylandSelection::types() const { return std::nullopt; }
Pasteboard::CancelRead WaylandSelection::read(const std::string&, size_t, SelectionReader::Handler handler) {
    if (handler.end) handler.end({SelectionReader::Outcome::refused, std::nullopt});
    return {};
}

#endif

}  // namespace platform::ui::gtk
