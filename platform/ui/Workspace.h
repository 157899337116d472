#pragma once

#include <functional>
#include <string>

namespace platform::ui {

// Opens URLs with the user's applications. The toolkit backend installs the opener; without one
// (headless) nothing is opened and open() says so.
class Workspace {
public:
    using Opener = std::function<bool(const std::string& url)>;
    static void setOpener(Opener opener);
    static bool open(const std::string& url);
    // Shows a local file selected in the user's file manager, without opening it. The toolkit
    // backend installs the revealer; without one the folder that holds the file is opened.
    using Revealer = std::function<bool(const std::string& path)>;
    static void setRevealer(Revealer revealer);
    static bool reveal(const std::string& path);
    // The desktop's revealer: the FileManager1 service on the session bus shows the file (ShowItems);
    // where no file manager offers it (no bus, no such service, an error but a time-out), the
    // folder is opened instead. Asynchronous, on the main loop; false for a relative path.
    static bool revealWithFileManager(const std::string& path);
    // A local file with its default application (as a file:// URL).
    static bool openFile(const std::string& path);
    // The file:// URL of an absolute path; empty when the path is not absolute.
    static std::string fileURL(const std::string& path);
};

}  // namespace platform::ui
