#pragma once

#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quiltdeck/shell/SaveReport.h"

namespace quiltdeck {

// Small settings kept outside the state document, such as the assistant CLI's
// capability cache: one JSON object in $XDG_CONFIG_HOME/quiltdeck/defaults.json,
// written whole and durably after every change. Safe from any thread.
class Defaults {
public:
    static constexpr size_t fileSizeLimit = 16u << 20;

    // The process's defaults; made on first use, never destroyed.
    static Defaults& standard();
    static std::filesystem::path standardFile();

    // Loads the file, keeping only entries of the shapes this program writes; a
    // missing or undecodable one, or one nested too deeply, starts empty. One
    // that exists but cannot be read (or is not a regular file) is never
    // replaced: changes then stay in memory.
    explicit Defaults(std::filesystem::path file);

    // Nothing when the key is missing or its value is not an array of strings.
    std::optional<std::vector<std::string>> stringArray(std::string_view key) const;
    void setStringArray(std::string_view key, const std::vector<std::string>& values);
    // Null when missing.
    nlohmann::json value(std::string_view key) const;
    void setValue(std::string_view key, nlohmann::json value);
    void remove(std::string_view key);

    const std::filesystem::path& file() const { return file_; }
    bool readOnly() const { return readOnly_; }

private:
    void saveLocked();

    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object();
    bool readOnly_ = false;
    SaveReport saveReport_{"defaults"};
};

}  // namespace quiltdeck
