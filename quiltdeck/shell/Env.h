#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quiltdeck {

// The variable "QUILTDECK_" + name when it is set (empty counts as set), else
// "BRIGHTLOOM_" + name, else nothing. Read afresh on every call.
std::optional<std::string> env(std::string_view name);

// $HOME, else the password database's home folder.
std::filesystem::path homeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path configFolder();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::filesystem::path dataFolder();
// $XDG_CACHE_HOME when it is an absolute path, else ~/.cache.
std::filesystem::path cacheFolder();

}  // namespace quiltdeck
