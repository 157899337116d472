#pragma once

#include <filesystem>
#include <string>

namespace quiltdeck {

// Why a file or folder could not be written: which path and the system's reason.
struct FileWriteError {
    std::filesystem::path path;
    std::string reason;

    // "cannot write <path>: <reason>"
    std::string message() const { return "cannot write " + path.string() + ": " + reason; }
};

}  // namespace quiltdeck
