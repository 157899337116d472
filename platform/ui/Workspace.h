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
    // A local file with its default application (as a file:// URL).
    static bool openFile(const std::string& path);
    // The file:// URL of an absolute path; empty when the path is not absolute.
    static std::string fileURL(const std::string& path);
};

}  // namespace platform::ui
