#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// The small logo of a project folder: the user's choice when one is stored,
// else an image at a well-known place in the project, else the best image of
// a scored scan of likely asset folders. Looks at the disk on every call.
class Branding {
public:
    Branding() = delete;

    struct Candidate {
        int score = 0;
        std::string path;
        friend bool operator==(const Candidate&, const Candidate&) = default;
    };

    static constexpr int candidateScore = 4;  // offered as a choice from here
    static constexpr int keptScore = 3;       // considered at all from here

    // Relative to the project folder, tried in this order.
    static constexpr const char* fixedPaths[] = {
        "app/icon.png", "app/icon.svg", "app/apple-icon.png", "src/app/icon.png",
        "public/icon-192.png", "public/icon-512.png", "public/apple-touch-icon.png", "public/logo.png",
        "public/logo.svg", "public/favicon-96.png", "public/favicon.png", "assets/icon.png",
        "assets/logo.png", "assets/images/logo.png", "web/icons/Icon-192.png", "web/favicon.png",
        "android/app/src/main/res/mipmap-xxxhdpi/ic_launcher.png", "logo.png", "icon.png",
    };
    static constexpr const char* scanFolders[] = {
        "public", "app", "src/app", "assets", "static", "public/img", "public/images",
        "public/brand", "brand-assets", "brand", "assets/images", "web/icons", ".",
    };

    // Scanned candidates scoring 4 or more, best first, ties in discovery order.
    static std::vector<std::string> candidates(const std::string& cwd);
    static std::vector<std::string> candidates(const std::string& cwd, std::string_view home);
    // The first candidate of the highest score.
    static std::optional<std::string> scan(const std::string& cwd, std::string_view home);
    // Every scanned candidate scoring 3 or more, in discovery order.
    static std::vector<Candidate> scored(const std::string& cwd, std::string_view home);

    // The lower-cased folder names of cwd below home that may name the project.
    static std::vector<std::string> projectWords(const std::string& cwd, std::string_view home);
    // The score of one file name, nothing when it is never taken.
    static std::optional<int> score(std::string_view fileName, const std::vector<std::string>& projectWords);
};

}  // namespace quiltdeck
