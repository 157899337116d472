#include "quiltdeck/panels/StateNotice.h"

#include <cerrno>
#include <cstring>

#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {

namespace {

std::string shown(const std::filesystem::path& path) { return abbreviatingHome(path.string(), homeFolder().string()); }

// The system's reason, in the interface language where it is a common one.
std::string readError(int error) {
    switch (error) {
    case EACCES:
    case EPERM: return t("state_ro_denied");
    case EINVAL:
    case EISDIR: return t("state_ro_not_file");
    default: return std::strerror(error);
    }
}

// Why a save failed, whole and in a word or two, in the interface language where it is a common
// reason; an uncommon one is said whole in the system's words and has no brief form.
struct SaveCause {
    std::string whole, brief;
};

SaveCause saveCause(const Store& store) {
    const int error = store.saveError();
    const auto both = [](std::string cause) { return SaveCause{cause, cause}; };
    switch (error) {
    case EINVAL:
    case EISDIR: {
        // The state file's link ends at something else (a FIFO, a device, a folder): named, since
        // the state file's own name is a link the user made.
        const auto target = finalLinkTarget(store.file());
        const std::string where = target && *target != store.file() ? shown(*target) + ": " : "";
        return {where + t("state_ro_not_file"), t("state_ro_not_file")};
    }
    case ENOSPC:
    case EDQUOT: return {t("state_disk_full"), t("state_disk_full_brief")};
    case EACCES:
    case EPERM: return both(t("state_ro_denied"));
    case EROFS: return both(t("state_disk_read_only"));
    case EIO: return both(t("state_disk_error"));
    case EFBIG: return both(t("state_file_too_large"));
    default: return {std::strerror(error), ""};
    }
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
        return std::nullopt;
    case Store::ReadOnlyCause::heldElsewhere: return t("state_ro_in_use", {shown(store.dir())});
    case Store::ReadOnlyCause::unreadable:
        return t("state_ro_unreadable", {shown(store.file()), readError(store.readOnlyError())});
    }
    return std::nullopt;
}

std::optional<std::string> StateNotice::line(const Store& store) {
    const auto why = reason(store);
    if (!why) return std::nullopt;
    if (store.readOnly()) return t("state_ro_line", {*why});
    if (store.copyPending()) return t("state_copy_pending_line", {*why});
    return t(store.brokenCopy() ? "state_reset_line" : "state_records_line", {*why});
}

std::optional<std::string> StateNotice::briefLine(const Store& store) {
    if (store.readOnly()) return std::nullopt;
    if (store.brokenCopy()) return t("state_reset_brief");
    if (store.setAside().copy) return t("state_records_brief");
    return std::nullopt;
}

std::optional<std::string> StateNotice::lostAtQuit(const Store& store) {
    if (store.readOnly()) return t("quit_info_read_only", {reason(store).value_or("")});
    if (store.saveError() != 0) return t("quit_info_unsaved", {saveCause(store).whole});
    return std::nullopt;
}

std::optional<platform::ui::Alert> StateNotice::alert(const Store& store) {
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
