#include "platform/ui/Workspace.h"

#include <glib.h>

namespace platform::ui {

namespace {

Workspace::Opener& opener() {
    static Workspace::Opener installed;
    return installed;
}

}  // namespace

void Workspace::setOpener(Opener o) { opener() = std::move(o); }

bool Workspace::open(const std::string& url) { return opener() ? opener()(url) : false; }

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
