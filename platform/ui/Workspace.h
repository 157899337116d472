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
};

}  // namespace platform::ui
