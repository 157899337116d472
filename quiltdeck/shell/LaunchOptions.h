#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// The folders of the "OPEN" variable, in order: split on commas, empty pieces
// dropped, whitespace trimmed, a leading "~" alone or "~/" turned into the home
// folder ("~bob/x" is no home folder of ours and stays as written). Whether they
// exist is left to the caller.
std::vector<std::filesystem::path> startupFolders(std::string_view value, const std::filesystem::path& home);

// The seconds before the snapshot: the whole value a decimal number, else 6.0.
double snapshotDelay(const std::optional<std::string>& value);

}  // namespace quiltdeck
