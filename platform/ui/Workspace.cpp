#include "platform/ui/Workspace.h"

#include <gio/gio.h>

#include <cstdio>
#include <memory>

namespace platform::ui {

namespace {

Workspace::Opener& opener() {
    static Workspace::Opener installed;
    return installed;
}

Workspace::Revealer& revealer() {
    static Workspace::Revealer installed;
    return installed;
}

// Long enough for a file manager that the bus starts on demand.
constexpr int showItemsTimeoutMs = 10000;

bool openFolderOf(const std::string& path) {
    gchar* folder = g_path_get_dirname(path.c_str());
    const bool opened = g_path_is_absolute(path.c_str()) && Workspace::openFile(folder);
    g_free(folder);
    return opened;
}

struct Reveal {
    std::string path;
    std::string url;
};

void onShown(GObject* bus, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Reveal> reveal(static_cast<Reveal*>(data));
    GError* error = nullptr;
    if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error)) {
        g_variant_unref(reply);
        return;
    }
    std::fprintf(stderr, "No file manager showed %s (%s)\n", reveal->path.c_str(), error->message);
    // A file manager slow to answer may still show it: a folder opened beside it would be one too many.
    if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) openFolderOf(reveal->path);
    g_error_free(error);
}

void onBus(GObject*, GAsyncResult* result, gpointer data) {
    auto* reveal = static_cast<Reveal*>(data);
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (!bus) {
        openFolderOf(reveal->path);
        delete reveal;
        return;
    }
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    g_variant_builder_add(&items, "s", reveal->url.c_str());
    g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                           "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(ass)", &items, ""), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, showItemsTimeoutMs, nullptr, onShown, reveal);
    g_object_unref(bus);
}

}  // namespace

void Workspace::setOpener(Opener o) { opener() = std::move(o); }

bool Workspace::open(const std::string& url) { return opener() ? opener()(url) : false; }

void Workspace::setRevealer(Revealer r) { revealer() = std::move(r); }

bool Workspace::reveal(const std::string& path) { return revealer() ? revealer()(path) : openFolderOf(path); }

bool Workspace::revealWithFileManager(const std::string& path) {
    const std::string url = fileURL(path);
    if (url.empty()) return false;
    // Taken without waiting: a bus that has to be started first may take a while.
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, onBus, new Reveal{path, url});
    return true;
}

std::string Workspace::fileURL(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (!uri) return {};
    std::string url = uri;
    g_free(uri);
    return url;
}

bool Workspace::openFile(const std::string& path) {
    const std::string url = fileURL(path);
    return !url.empty() && open(url);
}

}  // namespace platform::ui
