#include "quiltdeck/shell/StateFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <system_error>

#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Env.h"

namespace quiltdeck {

namespace fs = std::filesystem;

namespace {

bool nameExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

constexpr mode_t othersBits = 0077;
constexpr int deepestFolder = 32;

// Only what this user owns is changed, and never a shared folder such as /tmp (its sticky bit
// tells it), should the state folder be named there.
bool mayClose(const struct stat& info) {
    return (info.st_mode & othersBits) && info.st_uid == ::geteuid() && !(info.st_mode & S_ISVTX);
}

// What the program writes at the top of the state folder; anything else there is not its own.
bool programsOwn(std::string_view name) {
    return name == "state.json" || name == "log.txt" || name == "running" || name == "drops" ||
           name.starts_with("state.json.broken-") || name.starts_with(".state.json.tmp-");
}

// Takes the group's and others' bits off the entries of the folder open at `folderFd` (only the
// program's own names when `ownOnly`), and off everything inside the folders among them.
void closeToOthers(int folderFd, bool ownOnly, int depth, size_t& budget) {
    const int listFd = ::dup(folderFd);
    DIR* list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0) ::close(listFd);
        return;
    }
    while (const dirent* entry = ::readdir(list)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || (ownOnly && !programsOwn(name))) continue;
        if (budget == 0) break;
        --budget;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const mode_t kept = info.st_mode & 07777 & ~othersBits;
        if (S_ISREG(info.st_mode)) {
            if (mayClose(info)) ::fchmodat(folderFd, entry->d_name, kept, AT_SYMLINK_NOFOLLOW);
            continue;
        }
        if (!S_ISDIR(info.st_mode)) continue;  // links, FIFOs, sockets and devices stay as they are
        const int inner = ::openat(folderFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inner < 0) continue;
        if (mayClose(info)) ::fchmod(inner, kept);
        if (depth < deepestFolder) closeToOthers(inner, false, depth + 1, budget);
        ::close(inner);
    }
    ::closedir(list);
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

void StateFolder::makeFolder(const fs::path& folder) {
    // Through a link to a folder not made yet (a dotfiles checkout still to come): made there.
    makeMissingFolders(folder, 0700);
}

void StateFolder::make(const fs::path& folder) {
    makeFolder(folder);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return;
    if (::mkdirat(folderFd, "drops", 0700) == 0) giveMadeToHomeOwner(folder / "drops");
    struct stat info {};
    if (::fstat(folderFd, &info) == 0 && mayClose(info)) ::fchmod(folderFd, info.st_mode & 07777 & ~othersBits);
    size_t budget = entriesMended;
    closeToOthers(folderFd, true, 0, budget);
    ::close(folderFd);
}

const fs::path& StateFolder::path() {
    // Never destroyed: the state's writer and the log may still use it while the process exits.
    static const auto* const folder = new fs::path(resolve());
    return *folder;
}

}  // namespace quiltdeck
