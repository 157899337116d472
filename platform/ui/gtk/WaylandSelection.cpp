#include "platform/ui/gtk/WaylandSelection.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#include <glib-unix.h>
#include <wayland-client.h>
#endif

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform::ui::gtk {

#ifdef GDK_WINDOWING_WAYLAND

struct WaylandSelection::Offer {
    wl_data_offer* proxy = nullptr;
    std::vector<std::string> types;
    ~Offer() { wl_data_offer_destroy(proxy); }
};

namespace {

using Outcome = SelectionReader::Outcome;

// One read of an offer: the read end of the pipe the owner writes into, watched on the main loop,
// a part taken each time it is readable. Closing it is all it takes to let the owner go: its next
// write fails.
class PipeRead {
public:
    static constexpr guint watchdogTickMs = 100;
    static constexpr size_t partBytes = size_t{64} << 10;

    PipeRead(int fd, std::string type, size_t limit, SelectionReader::Handler handler)
        : fd_(fd), type_(std::move(type)), limit_(limit), handler_(std::move(handler)), lastHeard_(g_get_monotonic_time()) {
        watch_ = g_unix_fd_add(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onReadable, this);
        watchdog_ = g_timeout_add(watchdogTickMs, onWatchdog, this);
    }
    Pasteboard::CancelRead cancel() {
        return [this, alive = std::weak_ptr<int>(alive_)] {
            if (!alive.expired()) release();
        };
    }

private:
    static gboolean onReadable(gint, GIOCondition, gpointer data) {
        auto* self = static_cast<PipeRead*>(data);
        self->take();
        return G_SOURCE_CONTINUE;
    }
    static gboolean onWatchdog(gpointer data) {
        auto* self = static_cast<PipeRead*>(data);
        if (g_get_monotonic_time() - self->lastHeard_ < gint64{SelectionReader::stepLimitSeconds} * G_USEC_PER_SEC)
            return G_SOURCE_CONTINUE;
        self->finish(self->received_ ? Outcome::stopped : Outcome::noAnswer);
        return G_SOURCE_CONTINUE;
    }

    void take() {
        // One byte past the limit tells a text that passes it from one that ends there.
        std::string part(std::min(partBytes, limit_ - received_ + 1), '\0');
        const ssize_t count = ::read(fd_, part.data(), part.size());
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (count < 0) {
            std::fprintf(stderr, "clipboard: reading the offer failed: %s\n", std::strerror(errno));
            return finish(received_ ? Outcome::stopped : Outcome::noAnswer);
        }
        if (count == 0) return finish(Outcome::whole);
        lastHeard_ = g_get_monotonic_time();
        part.resize(static_cast<size_t>(count));
        const bool over = part.size() > limit_ - received_;
        if (over) part.resize(limit_ - received_);
        received_ += part.size();
        if (!typeTold_ && !part.empty() && handler_.type) handler_.type(type_);
        typeTold_ = true;
        // The reader may give the read up from its piece: nothing of this one may be touched then,
        // its handler included.
        std::weak_ptr<int> alive = alive_;
        if (!part.empty()) {
            const auto piece = handler_.piece;
            piece(std::move(part));
        }
        if (over && !alive.expired()) finish(Outcome::tooLarge);
    }

    void release() {
        g_source_remove(watch_);
        g_source_remove(watchdog_);
        ::close(fd_);
        delete this;
    }
    void finish(Outcome outcome) {
        auto end = std::move(handler_.end);
        const SelectionReader::End told{outcome, outcome == Outcome::whole ? std::optional<size_t>(received_) : std::nullopt};
        release();
        end(told);
    }

    int fd_;
    std::string type_;
    size_t limit_;
    SelectionReader::Handler handler_;
    gint64 lastHeard_;
    guint watch_ = 0;
    guint watchdog_ = 0;
    size_t received_ = 0;
    bool typeTold_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

void onRegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, wl_data_device_manager_interface.name) != 0) return;
    *static_cast<wl_data_device_manager**>(data) = static_cast<wl_data_device_manager*>(
        wl_registry_bind(registry, name, &wl_data_device_manager_interface, std::min<uint32_t>(version, 3)));
}
void onRegistryGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryEvents = {onRegistryGlobal, onRegistryGlobalRemove};

void onOfferType(void* data, wl_data_offer*, const char* type) {
    static_cast<WaylandSelection::Offer*>(data)->types.emplace_back(type);
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
    static void enter(void* data, wl_data_device*, uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t, wl_data_offer* proxy) {
        auto* self = static_cast<WaylandSelection*>(data);
        if (auto offer = self->take(proxy)) self->dragged_.push_back(std::move(offer));
    }
    static void leave(void*, wl_data_device*) {}
    static void motion(void*, wl_data_device*, uint32_t, wl_fixed_t, wl_fixed_t) {}
    static void drop(void*, wl_data_device*) {}
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
    dragged_.clear();
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(device_)) >= WL_DATA_DEVICE_RELEASE_SINCE_VERSION) {
        wl_data_device_release(device_);
    } else {
        wl_data_device_destroy(device_);
    }
    wl_data_device_manager_destroy(manager_);
    wl_display_flush(display_);
}

std::unique_ptr<WaylandSelection::Offer> WaylandSelection::take(wl_data_offer* proxy) {
    if (!proxy) return nullptr;
    const auto found = std::find_if(announced_.begin(), announced_.end(), [&](const auto& offer) { return offer->proxy == proxy; });
    if (found == announced_.end()) return nullptr;
    auto offer = std::move(*found);
    announced_.erase(found);
    return offer;
}

std::optional<std::vector<std::string>> WaylandSelection::types() const {
    if (!selection_) return std::nullopt;
    return selection_->types;
}

Pasteboard::CancelRead WaylandSelection::read(const std::string& type, size_t limit, SelectionReader::Handler handler) {
    if (!handler.piece || !handler.end) return {};
    int fds[2];
    if (!selection_ || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (selection_) std::fprintf(stderr, "clipboard: no pipe for the offer: %s\n", std::strerror(errno));
        handler.end({selection_ ? Outcome::noAnswer : Outcome::refused, std::nullopt});
        return {};
    }
    wl_data_offer_receive(selection_->proxy, type.c_str(), fds[1]);
    wl_display_flush(display_);
    ::close(fds[1]);
    return (new PipeRead(fds[0], type, limit, std::move(handler)))->cancel();
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
