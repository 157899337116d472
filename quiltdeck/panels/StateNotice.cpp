#include "quiltdeck/panels/StateNotice.h"

#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {

namespace {

std::string shown(const std::filesystem::path& path) {
    const std::string home = homeFolder().string();
    std::string text = abbreviatingHome(path.string(), home);
    // A path that links were followed along names the home folder as they lead to it.
    if (text == path.string()) {
        if (const auto real = resolveLinks(home); real && real->path != home)
            text = abbreviatingHome(path.string(), real->path.string());
    }
    return text;
}

// Where a name leads as the user is shown it: a name only a folder can have keeps its "/".
std::string endShown(const LinkEnd& end) { return shown(end.path) + (end.namesFolder ? "/" : ""); }

// Where a link leads as far as it can be told: where its links end, else (a folder on the way
// that cannot be looked into) what the link itself says, from its folder.
std::optional<LinkEnd> leadsTo(const std::filesystem::path& name) {
    if (auto end = resolveLinks(name)) return end;
    if (errno != EACCES && errno != EPERM) return std::nullopt;
    std::error_code error;
    const auto target = std::filesystem::read_symlink(name, error);
    if (error) return std::nullopt;
    return LinkEnd{(target.is_absolute() ? target : name.parent_path() / target).lexically_normal(), false};
}

// The program's own name on the state file's path that is a link (state.json, else the state
// folder), and where it leads, as the user is shown them: "~/.quiltdeck → ~/dotfiles/qd". What
// stands where state.json leads is named as state.json ("~/.quiltdeck/state.json →
// ~/dotfiles/qd/state.json"): it is what the words are about. Links that lead nowhere (a loop)
// are named alone.
std::optional<std::string> linkShown(const Store& store) {
    for (std::filesystem::path name : {store.file(), store.dir()}) {
        std::error_code error;
        if (!std::filesystem::is_symlink(name, error)) continue;
        auto end = leadsTo(name);
        if (name == store.dir()) {
            struct stat there {};
            if (const auto file = resolveLinks(store.file()); file && ::lstat(file->path.c_str(), &there) == 0) {
                name = store.file();
                end = file;
            }
        }
        return end ? shown(name) + " \u2192 " + endShown(*end) : shown(name);
    }
    return std::nullopt;
}

// The state file leads to a name only a folder can have (a link ending in "/").
bool namesFolder(const Store& store) {
    const auto end = resolveLinks(store.file());
    return end && end->namesFolder;
}

// Whose a file or folder is, when it is another user's than this process's (its file-system user).
std::optional<uid_t> anotherUsers(const std::filesystem::path& path) {
    struct stat info {};
    const auto end = resolveLinks(path);
    if (!end || ::stat(end->path.c_str(), &info) != 0) return std::nullopt;
    const auto self = static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)));
    if (info.st_uid == self) return std::nullopt;
    return info.st_uid;
}

// The file the state is written to, where links lead it: whose it is, when it is there.
std::optional<uid_t> ownerOfEnd(const Store& store) {
    struct stat info {};
    const auto end = resolveLinks(store.file());
    if (!end || ::stat(end->path.c_str(), &info) != 0) return std::nullopt;
    return info.st_uid;
}

std::string userName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return std::to_string(uid);
}

// Another user's file stands where the state is written, and is not replaced: whose files this
// process makes (its file-system user, which an invalid id asks without changing) is not its owner.
bool ownedByAnother(const Store& store) {
    const auto owner = ownerOfEnd(store);
    return owner && *owner != static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)));
}

// The system's reason, in the interface language where it is a common one.
std::string readError(int error) {
    switch (error) {
    case EACCES:
    case EPERM: return t("state_ro_denied");
    case EINVAL:
    case EISDIR: return t("state_ro_not_file");
    case ELOOP: return t("state_link_loop");
    default: return std::strerror(error);
    }
}

// The topmost folder of the home folder's on the way to where the state folder leads (a dotfiles
// folder a run as root made before the state folder in it) that is another user's: it, and whose.
std::optional<std::pair<std::filesystem::path, uid_t>> anotherUsersOnTheWay(const Store& store) {
    const auto home = resolveLinks(homeFolder());
    const auto dir = leadsTo(store.dir());
    if (!home || !dir) return std::nullopt;
    const auto self = static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)));
    const std::string inside = home->path.string() + "/";
    std::filesystem::path way;
    for (const auto& name : dir->path) {
        way /= name;
        if (way == dir->path) break;
        if (!way.string().starts_with(inside)) continue;
        struct stat info {};
        if (::stat(way.c_str(), &info) != 0) break;
        if (info.st_uid != self) return std::pair{way, info.st_uid};
    }
    return std::nullopt;
}

// The program's files another user made (a run as root with this user's home): whose they are,
// and the command that gives them back. A folder of the home's on the way to the state folder
// where it is another user's (all of it, its state folder within), else the state folder, else
// the file.
std::optional<std::string> ownedByAnotherReason(const Store& store, const std::string& file) {
    const auto self = static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)));
    const auto give = [&](const std::filesystem::path& path, bool all) {
        return std::string("sudo chown ") + (all ? "-R " : "") + userName(self) + ": " + ShellCommand::quoteForShell(path.string());
    };
    if (const auto way = anotherUsersOnTheWay(store))
        return t("state_ro_owned_on_the_way", {file, shown(way->first), userName(way->second), userName(self), give(way->first, true)});
    const auto folderOwner = anotherUsers(store.dir());
    const auto fileOwner = folderOwner ? folderOwner : anotherUsers(store.file());
    if (!fileOwner) return std::nullopt;
    const auto end = resolveLinks(folderOwner ? store.dir() : store.file());
    const std::filesystem::path target = end ? end->path : (folderOwner ? store.dir() : store.file());
    return t("state_ro_owned", {file, userName(*fileOwner), userName(self), give(target, folderOwner.has_value())});
}

// The state file as the words name it: with the link on its way and where that leads.
std::string fileShown(const Store& store) { return linkShown(store).value_or(shown(store.file())); }

// Why a save failed, whole and in a word or two, in the interface language where it is a common
// reason; an uncommon one is said whole in the system's words and has no brief form.
struct SaveCause {
    std::string whole, brief;
};

SaveCause saveCause(const Store& store) {
    const int error = store.saveError();
    const auto both = [](std::string cause) { return SaveCause{cause, cause}; };
    SaveCause cause;
    switch (error) {
    case EINVAL: cause = both(t("state_ro_not_file")); break;
    case EISDIR: cause = both(t(namesFolder(store) ? "state_link_names_folder" : "state_ro_not_file")); break;
    case ENOSPC:
    case EDQUOT: cause = {t("state_disk_full"), t("state_disk_full_brief")}; break;
    case EPERM:
        if (ownedByAnother(store)) {
            cause = {t("state_owned_by", {userName(*ownerOfEnd(store))}), t("state_owned_by_brief")};
            break;
        }
        [[fallthrough]];
    case EACCES: cause = both(t("state_ro_denied")); break;
    case EROFS: cause = both(t("state_disk_read_only")); break;
    case ELOOP: cause = both(t("state_link_loop")); break;
    case EIO: cause = both(t("state_disk_error")); break;
    case EFBIG: cause = both(t("state_file_too_large")); break;
    default: cause = {std::strerror(error), ""};
    }
    // A save through a link the user made names it and where it leads: what is refused, or what
    // cannot be made, is there.
    if (const auto link = linkShown(store)) cause.whole = *link + ": " + cause.whole;
    return cause;
}

// The state file was found changed outside this run more than once: each time is said with its count.
bool keptAgain(const Store& store) { return store.keptAside() && store.keptAside()->times > 1; }

// The next launch cannot read what this run could not save: the link ends at something that is
// no file, or nothing was ever written where it leads.
bool nextLaunchStartsEmpty(const Store& store) {
    const int error = store.saveError();
    return error == EINVAL || error == EISDIR || !ownerOfEnd(store);
}

}  // namespace

std::optional<std::string> StateNotice::saveLine(const Store& store) {
    if (store.saveError() == 0) return std::nullopt;
    if (store.copyPending()) return line(store);
    return t("state_save_failed_line", {saveCause(store).whole});
}

std::optional<std::string> StateNotice::briefSaveLine(const Store& store) {
    if (store.saveError() == 0) return std::nullopt;
    const std::string cause = saveCause(store).brief;
    return cause.empty() ? t("state_save_failed_brief_any") : t("state_save_failed_brief", {cause});
}

std::optional<std::string> StateNotice::reason(const Store& store) {
    switch (store.readOnlyCause()) {
    case Store::ReadOnlyCause::none:
        // A file that loaded is not set aside: it stays where it is, and only its copy is wanted.
        if (store.copyPending())
            return t(store.startedAfresh() ? "state_ro_broken" : "state_records_no_copy",
                     {shown(store.file()), saveCause(store).whole});
        if (store.brokenCopy()) return t("state_set_aside", {shown(store.file()), shown(*store.brokenCopy())});
        if (store.setAside().copy) return t("state_records_set_aside", {shown(store.file()), shown(*store.setAside().copy)});
        if (const auto& kept = store.keptAside()) {
            if (kept->times > 1)
                return t("state_kept_again", {shown(kept->file), static_cast<long long>(kept->times),
                                              static_cast<long long>(FileSaver::keptCopies), shown(kept->copy)});
            return t("state_kept_aside", {shown(kept->file), shown(kept->copy)});
        }
        return std::nullopt;
    case Store::ReadOnlyCause::heldElsewhere: return t("state_ro_in_use", {shown(store.dir())});
    case Store::ReadOnlyCause::unreadable:
        if (store.readOnlyError() == EACCES || store.readOnlyError() == EPERM) {
            if (auto owned = ownedByAnotherReason(store, fileShown(store))) return owned;
        }
        return t("state_ro_unreadable", {fileShown(store), readError(store.readOnlyError())});
    }
    return std::nullopt;
}

std::optional<std::string> StateNotice::line(const Store& store) {
    const auto why = reason(store);
    if (!why) return std::nullopt;
    if (store.readOnly()) return t("state_ro_line", {*why});
    if (store.copyPending()) return t("state_copy_pending_line", {*why});
    if (store.brokenCopy()) return t("state_reset_line", {*why});
    if (store.setAside().copy) return t("state_records_line", {*why});
    return t(keptAgain(store) ? "state_kept_again_line" : "state_kept_line", {*why});
}

std::optional<std::string> StateNotice::briefLine(const Store& store) {
    if (store.readOnly()) return std::nullopt;
    if (store.brokenCopy()) return t("state_reset_brief");
    if (store.setAside().copy) return t("state_records_brief");
    if (keptAgain(store)) return t("state_kept_again_brief", {static_cast<long long>(store.keptAside()->times)});
    if (store.keptAside()) return t("state_kept_brief");
    return std::nullopt;
}

std::optional<std::string> StateNotice::lostAtQuit(const Store& store) {
    if (store.readOnly()) return t("quit_info_read_only", {reason(store).value_or("")});
    if (store.saveError() != 0)
        return t(nextLaunchStartsEmpty(store) ? "quit_info_unsaved_lost" : "quit_info_unsaved", {saveCause(store).whole});
    return std::nullopt;
}

std::optional<platform::ui::Alert> StateNotice::alert(const Store& store) {
    // Saves that fail from the start (a link that names a folder): said at launch, not at the
    // first save only.
    if (!store.readOnly() && !store.copyPending() && store.saveError() != 0) {
        platform::ui::Alert alert;
        alert.style = platform::ui::Alert::Style::warning;
        alert.messageText = t("state_ro_title");
        alert.informativeText = *saveLine(store);
        alert.buttons = {t("ok")};
        return alert;
    }
    const auto why = reason(store);
    // A file that loaded with some records left out and copied is told by the bar's line alone.
    if (!why || (!store.readOnly() && !store.copyPending() && !store.brokenCopy())) return std::nullopt;
    platform::ui::Alert alert;
    alert.style = platform::ui::Alert::Style::warning;
    alert.messageText = t(store.readOnly() || (store.copyPending() && !store.startedAfresh()) ? "state_ro_title" : "state_reset_title");
    const char* info = store.readOnly() ? "state_ro_info" : store.copyPending() ? "state_copy_pending_info" : "state_reset_info";
    alert.informativeText = *why + "\n\n" + t(info);
    alert.buttons = {t("ok")};
    return alert;
}

}  // namespace quiltdeck
