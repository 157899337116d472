#include "platform/ui/DesktopAppearance.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace platform::ui {
namespace {

// The settings portal on a private session bus: a thread of its own with its own connection
// answers Read("org.freedesktop.appearance", "color-scheme") with the given value, as the
// real portal does (a variant in a variant).
class FakePortal {
public:
    explicit FakePortal(GVariant* colorScheme) : colorScheme_(g_variant_ref_sink(colorScheme)) {
        thread_ = std::thread([this] { run(); });
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return started_; });
    }
    ~FakePortal() {
        g_main_loop_quit(loop_);
        thread_.join();
        g_variant_unref(colorScheme_);
    }

private:
    static void handle(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
        const gchar* ns = nullptr;
        const gchar* key = nullptr;
        g_variant_get(parameters, "(&s&s)", &ns, &key);
        auto* portal = static_cast<FakePortal*>(self);
        if (std::string(method) == "Read" && std::string(ns) == "org.freedesktop.appearance" &&
            std::string(key) == "color-scheme") {
            g_dbus_method_invocation_return_value(
                invocation, g_variant_new("(v)", g_variant_new_variant(portal->colorScheme_)));
        } else {
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotFound", "no");
        }
    }

    void run() {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        loop_ = g_main_loop_new(context, FALSE);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            std::getenv("DBUS_SESSION_BUS_ADDRESS"),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.freedesktop.portal.Settings'><method name='Read'>"
            "<arg type='s' direction='in'/><arg type='s' direction='in'/><arg type='v' direction='out'/>"
            "</method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable table = {handle, nullptr, nullptr, {}};
        const guint object = g_dbus_connection_register_object(bus, "/org/freedesktop/portal/desktop",
                                                               node->interfaces[0], &table, this, nullptr, nullptr);
        GVariant* owned = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.freedesktop.portal.Desktop", 0u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
            nullptr, nullptr);
        if (owned) g_variant_unref(owned);
        {
            std::lock_guard lock(mutex_);
            started_ = true;
        }
        ready_.notify_one();
        g_main_loop_run(loop_);
        g_dbus_connection_unregister_object(bus, object);
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
        g_dbus_node_info_unref(node);
        g_main_loop_unref(loop_);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    GVariant* colorScheme_;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool started_ = false;
};

// Each case in a fresh process (the test program run again for this test alone) on a bus of its
// own, with no desktop settings schema unless the case installs the memory backend's.
class DesktopAppearanceTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Exits 1 for dark, 0 for light. The private bus is stopped first: its daemon must not outlive
// the process and hold the test's pipes open.
[[noreturn]] void exitWithPreference(GTestDBus* bus = nullptr) {
    const bool dark = DesktopAppearance::prefersDark();
    if (bus) g_test_dbus_stop(bus);
    std::_Exit(dark ? 1 : 0);
}

void withoutSchemas() {
    ::setenv("GSETTINGS_SCHEMA_DIR", "/nonexistent", 1);
    ::setenv("XDG_DATA_DIRS", "/nonexistent", 1);
    ::setenv("XDG_DATA_HOME", "/nonexistent", 1);
}

TEST_F(DesktopAppearanceTest, PortalColourScheme) {
    const struct {
        guint32 scheme;
        int dark;
    } cases[] = {{1, 1}, {2, 0}, {0, 0}, {7, 0}};
    for (const auto& test : cases) {
        EXPECT_EXIT(
            {
                withoutSchemas();
                GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
                g_test_dbus_up(bus);
                FakePortal portal(g_variant_new_uint32(test.scheme));
                exitWithPreference(bus);
            },
            ::testing::ExitedWithCode(test.dark), "")
            << test.scheme;
    }
}

TEST_F(DesktopAppearanceTest, PortalAnswerOfAnotherTypeIsNoPreference) {
    EXPECT_EXIT(
        {
            withoutSchemas();
            GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
            g_test_dbus_up(bus);
            FakePortal portal(g_variant_new_string("dark"));
            exitWithPreference(bus);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DesktopAppearanceTest, NoPortalAndNoSchemaIsLight) {
    EXPECT_EXIT(
        {
            withoutSchemas();
            GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
            g_test_dbus_up(bus);
            exitWithPreference(bus);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            withoutSchemas();
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
            exitWithPreference();
        },
        ::testing::ExitedWithCode(0), "");
}

// With no portal, the desktop's interface settings: their colour scheme, then a dark theme's name.
TEST_F(DesktopAppearanceTest, InterfaceSettingsWithoutAPortal) {
    const struct {
        const char* colorScheme;
        const char* theme;
        int dark;
    } cases[] = {{"prefer-dark", "Adwaita", 1}, {"default", "Adwaita-dark", 1}, {"prefer-light", "Adwaita", 0},
                 {"default", "Adwaita", 0}};
    for (const auto& test : cases) {
        EXPECT_EXIT(
            {
                ::setenv("GSETTINGS_BACKEND", "memory", 1);
                ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
                GSettings* settings = g_settings_new("org.gnome.desktop.interface");
                g_settings_set_string(settings, "color-scheme", test.colorScheme);
                g_settings_set_string(settings, "gtk-theme", test.theme);
                exitWithPreference();
            },
            ::testing::ExitedWithCode(test.dark), "")
            << test.colorScheme << " " << test.theme;
    }
}

TEST(DesktopAppearanceApplier, TheLastChoiceReachesAnApplierInstalledLater) {
    DesktopAppearance::applyApplicationDark(false);
    EXPECT_EQ(DesktopAppearance::applicationDark(), false);
    std::vector<bool> applied;
    DesktopAppearance::setApplier([&](bool dark) { applied.push_back(dark); });
    DesktopAppearance::applyApplicationDark(true);
    DesktopAppearance::setApplier(nullptr);
    DesktopAppearance::applyApplicationDark(false);
    EXPECT_EQ(applied, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace platform::ui
