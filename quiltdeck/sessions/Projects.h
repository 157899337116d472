#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// One row of the project picker.
struct Project {
    std::string dir;        // absolute, as the scan built it
    std::string shortPath;  // dir with a leading home folder written as "~"
    bool isRecent = false;
    std::string keywords;   // lower-case search text
    friend bool operator==(const Project&, const Project&) = default;
};

// The folders the picker offers: the recent ones first, then folders that look
// like software projects, found by a shallow scan of the home folder and three
// workspace folders below it. Reads the disk on every call; never fails.
class Projects {
public:
    Projects() = delete;

    static constexpr const char* markers[] = {".git", "package.json", "pubspec.yaml", "CLAUDE.md", "Package.swift"};
    static constexpr const char* skippedNames[] = {"Library", "Applications", "Movies", "Music",
                                                   "Pictures", "Public", "node_modules"};
    // Searched after the home folder itself, in this order.
    static constexpr const char* searchFolders[] = {"Projects", "Developer", "code"};
    static constexpr size_t groupLimit = 12;

    // With the store's recents and the home folder.
    static std::vector<Project> list();
    static std::vector<Project> list(const std::vector<std::string>& recents, std::string_view home);

    static bool hasMarker(const std::string& path);
    static std::string keywords(const std::string& dir);
    // The first `count` bytes of a file as text, invalid UTF-8 replaced; "" when
    // it cannot be read.
    static std::string head(const std::string& path, size_t count);
};

}  // namespace quiltdeck
