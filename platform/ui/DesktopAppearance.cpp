#include "platform/ui/DesktopAppearance.h"

#include <gio/gio.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <utility>

namespace platform::ui {

namespace {

std::optional<bool>& overridden() {
    static std::optional<bool> value;
    return value;
}

// The portal's "color-scheme": 1 prefers dark, 2 prefers light, 0 has no preference.
std::optional<bool> portalPrefersDark() {
    // Without a session bus address, GIO would try to launch a bus.
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) return std::nullopt;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return std::nullopt;
    std::optional<bool> answer;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings",
        "Read", g_variant_new("(ss)", "org.freedesktop.appearance", "color-scheme"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    if (reply) {
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        // The older portals wrap the value once more.
        while (value && g_variant_is_of_type(value, G_VARIANT_TYPE_VARIANT)) {
            GVariant* inner = g_variant_get_variant(value);
            g_variant_unref(value);
            value = inner;
        }
        if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) {
            const guint32 scheme = g_variant_get_uint32(value);
            if (scheme == 1) answer = true;
            if (scheme == 2) answer = false;
        }
        if (value) g_variant_unref(value);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return answer;
}

std::optional<bool> interfaceSettingsPrefersDark() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return std::nullopt;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema) return std::nullopt;
    std::optional<bool> answer;
    GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
    if (g_settings_schema_has_key(schema, "color-scheme")) {
        gchar* scheme = g_settings_get_string(settings, "color-scheme");
        if (scheme && std::string(scheme) == "prefer-dark") answer = true;
        g_free(scheme);
    }
    if (!answer && g_settings_schema_has_key(schema, "gtk-theme")) {
        gchar* theme = g_settings_get_string(settings, "gtk-theme");
        std::string name = theme ? theme : "";
        g_free(theme);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name.ends_with("-dark")) answer = true;
    }
    g_object_unref(settings);
    g_settings_schema_unref(schema);
    return answer;
}

}  // namespace

bool DesktopAppearance::prefersDark() {
    if (overridden()) return *overridden();
    if (auto portal = portalPrefersDark()) return *portal;
    return interfaceSettingsPrefersDark().value_or(false);
}

void DesktopAppearance::setOverride(std::optional<bool> prefersDark) { overridden() = prefersDark; }

namespace {

struct ApplicationLook {
    DesktopAppearance::Applier applier;
    std::optional<bool> dark;
};

ApplicationLook& applicationLook() {
    static ApplicationLook look;
    return look;
}

}  // namespace

void DesktopAppearance::setApplier(Applier applier) {
    applicationLook().applier = std::move(applier);
    if (applicationLook().applier && applicationLook().dark) applicationLook().applier(*applicationLook().dark);
}

void DesktopAppearance::applyApplicationDark(bool dark) {
    applicationLook().dark = dark;
    if (applicationLook().applier) applicationLook().applier(dark);
}

std::optional<bool> DesktopAppearance::applicationDark() { return applicationLook().dark; }

}  // namespace platform::ui
