#include "platform/ui/LinkPolicy.h"

#include <gio/gio.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/ui/HiddenCharacters.h"
#include "platform/ui/Workspace.h"

namespace platform::ui {

namespace {

using Action = LinkDecision::Action;

// Characters that no link may hold: they hide, reorder or break what the user is shown.
bool forbidden(UChar32 c) {
    const int8_t type = u_charType(c);
    return type == U_CONTROL_CHAR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR ||
           u_hasBinaryProperty(c, UCHAR_BIDI_CONTROL);
}

// Valid UTF-8 with no forbidden character.
bool clean(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0 || forbidden(c)) return false;
    }
    return true;
}

std::string_view trimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// The local path of a file: URL (percent-decoding done), or nothing when it is malformed or
// names another host.
std::optional<std::string> localPath(const std::string& url) {
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(url.c_str(), &host, nullptr);
    const bool local = path && (!host || g_ascii_strcasecmp(host, "localhost") == 0);
    std::optional<std::string> result;
    if (local) result = path;
    g_free(path);
    g_free(host);
    return result;
}

// The host of a URL that parses; nothing when it does not.
std::optional<std::string> hostOf(const std::string& url) {
    GUri* uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return std::nullopt;
    const char* host = g_uri_get_host(uri);
    std::string result = host ? host : "";
    g_uri_unref(uri);
    return result;
}

LinkDecision fileDecision(const std::string& path, const LinkPolicy::FileInspector& inspect, LinkDecision decision) {
    const LinkedFile file = inspect(path);
    switch (file.kind) {
        case LinkedFile::Kind::directory: decision.action = Action::open; break;
        case LinkedFile::Kind::regular: decision.action = file.launches ? Action::reveal : Action::open; break;
        case LinkedFile::Kind::missing:
        case LinkedFile::Kind::other: return decision;
    }
    decision.target = decision.action == Action::reveal ? file.resolvedPath : Workspace::fileURL(file.resolvedPath);
    if (decision.target.empty()) decision.action = Action::refuse;
    return decision;
}

bool endsWithDesktop(const std::string& path) {
    constexpr std::string_view suffix = ".desktop";
    return path.size() >= suffix.size() &&
           g_ascii_strcasecmp(path.c_str() + path.size() - suffix.size(), suffix.data()) == 0;
}

// A desktop entry by its content, as the shared MIME database spots one: its group header within
// the first 32 bytes. (Some handlers go by the content where the name says nothing.)
bool holdsDesktopEntry(const std::string& path) {
    constexpr std::string_view header = "[Desktop Entry]";
    char start[32 + header.size()];
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    const size_t length = std::fread(start, 1, sizeof start, file);
    std::fclose(file);
    return std::string_view(start, length).find(header) != std::string_view::npos;
}

// Content types whose usual default handlers run the file: desktop entries, native programs and
// libraries, shell scripts, Windows programs and installers (run by a compatibility layer), Java
// archives and AppImages. Subtypes count too.
bool launchingContentType(const std::string& path) {
    static constexpr std::array types = {
        "application/x-desktop",          "application/x-executable",   "application/x-pie-executable",
        "application/x-sharedlib",        "application/x-shellscript",  "application/x-ms-dos-executable",
        "application/x-msdownload",       "application/x-msi",          "application/x-ms-shortcut",
        "application/x-java-archive",     "application/vnd.appimage",   "application/x-appimage",
    };
    GFile* file = g_file_new_for_path(path.c_str());
    GFileInfo* info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    g_object_unref(file);
    if (!info) return false;
    bool launches = false;
    if (const char* type = g_file_info_get_content_type(info)) {
        for (const char* launching : types) launches = launches || g_content_type_is_a(type, launching);
    }
    g_object_unref(info);
    return launches;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A mail link's parameter that names a file to attach: "attach" or "attachment" before its "=",
// in any case, percent-encoded or not, with spaces or controls around it.
bool namesAttachment(std::string_view parameter) {
    const std::string_view name = parameter.substr(0, parameter.find('='));
    std::string decoded;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c == '%' && i + 2 < name.size() && hexValue(name[i + 1]) >= 0 && hexValue(name[i + 2]) >= 0) {
            c = static_cast<char>(hexValue(name[i + 1]) * 16 + hexValue(name[i + 2]));
            i += 2;
        }
        decoded += static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    }
    const size_t first = decoded.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos) return false;
    std::string_view trimmed = std::string_view(decoded).substr(first);
    while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ') trimmed.remove_suffix(1);
    return trimmed == "attach" || trimmed == "attachment";
}

// A mailto: link without the parameters that make some mail programs attach a local file. Every
// "&" or "?" after the first "?" starts a parameter here, as some mail programs read them so.
std::string withoutAttachments(std::string_view link) {
    const size_t query = link.find('?');
    if (query == std::string_view::npos) return std::string(link);
    std::string kept(link.substr(0, query));
    for (size_t start = query; start < link.size();) {
        size_t end = link.find_first_of("&?", start + 1);
        if (end == std::string_view::npos) end = link.size();
        if (!namesAttachment(link.substr(start + 1, end - start - 1))) kept += link.substr(start, end - start);
        start = end;
    }
    // The parameters still start with a "?" when the first one went.
    if (kept.size() > query) kept[query] = '?';
    return kept;
}

}  // namespace

std::string LinkPolicy::schemeOf(std::string_view text) {
    std::string scheme;
    for (const char c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool more = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (c == ':') return scheme;
        if (!letter && (scheme.empty() || !more)) return {};
        scheme += static_cast<char>(letter ? (c | 0x20) : c);
    }
    return {};
}

LinkDecision LinkPolicy::decide(std::string_view link, LinkOrigin origin, const FileInspector& inspect) {
    const std::string_view trimmed = trimSpaces(link);
    const std::string text(trimmed);
    LinkDecision decision{Action::refuse, {}, LinkPolicy::schemeOf(text)};
    if (text.empty() || !clean(text)) return decision;
    const std::string& scheme = decision.scheme;
    if (scheme.empty()) {
        if (origin != LinkOrigin::terminal || text.front() != '/') return decision;
        decision.scheme = "file";
        return fileDecision(text, inspect, std::move(decision));
    }
    if (scheme == "javascript" || scheme == "data" || scheme == "vbscript") return decision;
    if (scheme == "file") {
        if (origin == LinkOrigin::webPage) return decision;
        const auto path = localPath(text);
        return path ? fileDecision(*path, inspect, std::move(decision)) : decision;
    }
    const auto host = hostOf(text);
    if (!host) return decision;
    if (scheme == "http" || scheme == "https" || scheme == "ftp") {
        if (host->empty()) return decision;
        decision.action = Action::open;
    } else {
        decision.action = scheme == "mailto" ? Action::open : Action::ask;
    }
    decision.target = scheme == "mailto" ? withoutAttachments(text) : text;
    return decision;
}

LinkedFile LinkPolicy::inspectFile(const std::string& path) {
    LinkedFile file;
    char resolved[PATH_MAX];
    if (path.empty() || !realpath(path.c_str(), resolved)) return file;
    struct stat status {};
    if (stat(resolved, &status) != 0) return file;
    file.resolvedPath = resolved;
    if (S_ISDIR(status.st_mode)) {
        file.kind = LinkedFile::Kind::directory;
    } else if (S_ISREG(status.st_mode)) {
        file.kind = LinkedFile::Kind::regular;
        file.launches = (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0 || endsWithDesktop(path) ||
                        endsWithDesktop(file.resolvedPath) || holdsDesktopEntry(file.resolvedPath) ||
                        launchingContentType(file.resolvedPath);
    } else {
        file.kind = LinkedFile::Kind::other;
    }
    return file;
}

std::string LinkPolicy::displayText(std::string_view link) {
    // One shown piece per character (or per byte that is not UTF-8).
    std::vector<std::string> pieces;
    HiddenCharacters::forEachShown(link, [&pieces](std::string_view piece) { pieces.emplace_back(piece); });
    std::string shown;
    if (pieces.size() <= displayLimit) {
        for (const std::string& piece : pieces) shown += piece;
        return shown;
    }
    const size_t half = displayLimit / 2;
    for (size_t i = 0; i < half; ++i) shown += pieces[i];
    shown += " \u2026 ";
    for (size_t i = pieces.size() - half; i < pieces.size(); ++i) shown += pieces[i];
    return shown;
}

}  // namespace platform::ui
