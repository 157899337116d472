#include "quiltdeck/shell/StateFolder.h"

#include <system_error>

#include "quiltdeck/shell/Env.h"

namespace quiltdeck {

namespace fs = std::filesystem;

namespace {

bool nameExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

}  // namespace

fs::path StateFolder::resolve() {
    if (auto folder = env("STATE_DIR")) return fs::path(*folder);
    const fs::path home = homeFolder();
    const fs::path folder = home / ".quiltdeck";
    const fs::path older = home / ".brightloom";
    if (!nameExists(folder) && nameExists(older)) {
        std::error_code ignored;
        fs::rename(older, folder, ignored);
    }
    return folder;
}

const fs::path& StateFolder::path() {
    static const fs::path folder = resolve();
    return folder;
}

}  // namespace quiltdeck
