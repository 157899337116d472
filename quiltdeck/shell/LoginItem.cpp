#include "quiltdeck/shell/LoginItem.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/StoredSettings.h"

namespace quiltdeck {

namespace {

constexpr std::string_view ownerKey = "X-Quiltdeck-LoginItem";
constexpr size_t entrySizeLimit = 65536;

struct EntryFacts {
    bool ours = false;
    bool hidden = false;
    std::string exec;
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Keys of the [Desktop Entry] group only.
EntryFacts readEntry(std::string_view content) {
    EntryFacts facts;
    bool inMainGroup = false;
    while (!content.empty()) {
        const size_t end = content.find('\n');
        const std::string_view line = trimmed(content.substr(0, end));
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (line.starts_with('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key == ownerKey) facts.ours = value == "true";
        else if (key == "Hidden") facts.hidden = value == "true";
        else if (key == "Exec") facts.exec = value;
    }
    return facts;
}

std::optional<std::string> runningExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::nullopt;
    return path.string();
}

bool isReserved(char c) { return std::strchr(" \t\n\"'\\><~|&;$*?#()`", c) != nullptr && c != '\0'; }

}  // namespace

std::filesystem::path LoginItem::file() { return configFolder() / "autostart" / "quiltdeck.desktop"; }

bool LoginItem::enabled() {
    const auto content = readWholeFile(file(), entrySizeLimit);
    if (!content) return false;
    const EntryFacts facts = readEntry(*content);
    return facts.ours && !facts.hidden;
}

std::string LoginItem::execValue(std::string_view executable) {
    bool quote = executable.empty();
    for (char c : executable) quote = quote || isReserved(c);
    std::string argument;
    if (quote) argument += '"';
    for (char c : executable) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
        argument += c;
    }
    if (quote) argument += '"';
    // Then the escapes of every string value, which apply before the quoting is read.
    std::string value;
    for (char c : argument) {
        switch (c) {
        case '%': value += "%%"; break;
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\t': value += "\\t"; break;
        case '\r': value += "\\r"; break;
        default: value += c;
        }
    }
    return value;
}

std::string LoginItem::desktopEntry(std::string_view executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quiltdeck\n"
           "Exec=" + execValue(executable) + "\n"
           "Icon=org.quiltdeck.Quiltdeck\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n" + std::string(ownerKey) + "=true\n";
}

void LoginItem::apply() { apply(StoredSettings::shared().openAtLogin()); }

void LoginItem::apply(bool openAtLogin) {
    const auto content = readWholeFile(file(), entrySizeLimit);
    const EntryFacts facts = content ? readEntry(*content) : EntryFacts{};
    const bool isEnabled = facts.ours && !facts.hidden;

    if (!openAtLogin) {
        if (isEnabled && ::unlink(file().c_str()) != 0 && errno != ENOENT)
            Log::write(std::string("login item: ") + std::strerror(errno));
        return;
    }
    const auto executable = runningExecutable();
    if (!executable) {
        Log::write("login item: the running program's path is unknown");
        return;
    }
    // Also rewritten when the program has moved since it was registered.
    if (isEnabled && facts.exec == execValue(*executable)) return;
    makeMissingFolders(file().parent_path(), 0755);
    if (!writeFileDurably(file(), desktopEntry(*executable)))
        Log::write(std::string("login item: ") + std::strerror(errno));
}

}  // namespace quiltdeck
