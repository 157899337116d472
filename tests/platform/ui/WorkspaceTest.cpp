#include "platform/ui/Workspace.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using platform::ui::Workspace;

namespace {

// What a URL path cannot hold as it stands is percent-encoded, so that an opener reads back the
// very file: a folder with a space, a per cent sign, a hash or a non-ASCII name.
TEST(Workspace, FileURLsEncodeWhatAPathCannotHold) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/share/doc/LICENSE.txt", "file:///usr/share/doc/LICENSE.txt"},
        {"/tmp/ci space/repo/PRIVACY.md", "file:///tmp/ci%20space/repo/PRIVACY.md"},
        {"/a/100%/b", "file:///a/100%25/b"},
        {"/a/#1?x", "file:///a/%231%3Fx"},
        {"/a/caf\xc3\xa9", "file:///a/caf%C3%A9"},
        {"relative/path", ""},
        {"", ""},
    };
    for (const auto& [path, url] : cases) EXPECT_EQ(Workspace::fileURL(path), url) << path;
}

TEST(Workspace, OpenFileHandsTheOpenerTheEncodedURLAndNothingForARelativePath) {
    std::vector<std::string> opened;
    Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    EXPECT_TRUE(Workspace::openFile("/tmp/a b/log.txt"));
    EXPECT_FALSE(Workspace::openFile("log.txt"));
    Workspace::setOpener(nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{"file:///tmp/a%20b/log.txt"});
    EXPECT_FALSE(Workspace::openFile("/tmp/a b/log.txt")) << "no opener: nothing opened";
}

// A file manager on the test's session bus that notes the first item it is asked to show.
void serveShowItems(std::string& shown) {
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        std::getenv("DBUS_SESSION_BUS_ADDRESS"),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
        "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
        "<arg type='as' direction='in'/><arg type='s' direction='in'/></method></interface></node>",
        nullptr);
    static const GDBusInterfaceVTable table = {
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           GDBusMethodInvocation* invocation, gpointer shown) {
            GVariantIter* items = nullptr;
            const gchar* first = nullptr;
            g_variant_get(parameters, "(as&s)", &items, nullptr);
            if (g_variant_iter_next(items, "&s", &first)) *static_cast<std::string*>(shown) = first;
            g_variant_iter_free(items);
            g_dbus_method_invocation_return_value(invocation, nullptr);
        },
        nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, "/org/freedesktop/FileManager1", node->interfaces[0], &table, &shown, nullptr, nullptr);
    g_bus_own_name_on_connection(bus, "org.freedesktop.FileManager1", G_BUS_NAME_OWNER_FLAGS_NONE, nullptr, nullptr,
                                 nullptr, nullptr);
}

// Revealing asks the desktop's file manager to show the file; where none answers on the session
// bus, the folder that holds the file is opened instead. Each case on a bus of its own.
TEST(Workspace, RevealAsksTheFileManagerElseOpensTheFolder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool fileManager : {true, false}) {
        EXPECT_EXIT(
            {
                GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
                g_test_dbus_up(bus);
                std::string shown;
                if (fileManager) serveShowItems(shown);
                Workspace::setOpener([&](const std::string& url) { return shown = "opened " + url, true; });
                Workspace::revealWithFileManager("/tmp/a b/run.sh");
                // Only so that a reveal that never ends fails rather than hangs.
                g_timeout_add_seconds(30, [](gpointer s) { return *static_cast<std::string*>(s) = "nothing", G_SOURCE_REMOVE; }, &shown);
                while (shown.empty()) g_main_context_iteration(nullptr, TRUE);
                // The private bus first, so that its daemon lets go of the test's pipes; no exit handlers
                // after, where the bus connections are still held.
                g_test_dbus_stop(bus);
                std::_Exit(shown == (fileManager ? "file:///tmp/a%20b/run.sh" : "opened file:///tmp/a%20b") ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << (fileManager ? "with a file manager" : "without one");
    }
}

}  // namespace
