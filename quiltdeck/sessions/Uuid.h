#pragma once

#include <string>

namespace quiltdeck {

// A new random (version 4) UUID in its standard text form, upper-case:
// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string newUuid();

}  // namespace quiltdeck
