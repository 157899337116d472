#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Image.h"
#include "quiltdeck/sessions/Store.h"

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

    // The chosen image file and its pixels.
    struct Logo {
        std::string path;
        platform::gfx::Image image;
    };

    // Larger images are refused before their pixels are decoded: a logo is shown small.
    static constexpr int64_t logoSideLimit = 4096;
    static constexpr size_t logoFileLimit = 16u << 20;

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

    // With the store's choices and the home folder.
    static std::optional<Logo> logo(const std::string& cwd);
    // A folder with an entry in `tileLogos` shows that image or, when it does not
    // load ("" included), none; else the first fixed path that loads, else the scan's choice.
    static std::optional<Logo> logo(const std::string& cwd, const Store::StringMap& tileLogos, std::string_view home);
    // A regular file of at most logoFileLimit bytes holding an image within logoSideLimit.
    static std::optional<platform::gfx::Image> loadImage(const std::string& path);
    // The same, scaled down to fit a square of `fitSide` pixels as it is decoded: a thumbnail
    // costs a thumbnail's memory once decoded.
    static std::optional<platform::gfx::Image> loadImage(const std::string& path, int fitSide);

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
