#include "quiltdeck/sessions/Projects.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <optional>
#include <unordered_set>

#include "quiltdeck/sessions/FileReading.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Env.h"

namespace quiltdeck {

namespace {

constexpr size_t keywordEntryLimit = 60;
// Steps of the match engine; the heads are at most 2048 bytes.
constexpr int32_t regexTimeLimit = 100;

struct Probe {
    const char* file;
    size_t bytes;
    const char* pattern;
};

constexpr Probe probes[] = {
    {"/package.json", 2048, R"re("name"\s*:\s*"([^"]+)")re"},
    {"/pubspec.yaml", 2048, R"re((?m)^name:\s*(.+)$)re"},
    {"/README.md", 600, R"re((?m)^#+\s*(.+)$)re"},
    {"/CLAUDE.md", 600, R"re((?m)^#+\s*(.+)$)re"},
    {"/.git/config", 2048, R"re(url\s*=\s*(.+))re"},
};

// Compiled once; a pattern is immutable and shared by matchers on any thread.
const icu::RegexPattern* compiledPattern(size_t probe) {
    static const auto patterns = [] {
        std::vector<std::unique_ptr<icu::RegexPattern>> compiled;
        for (const Probe& entry : probes) {
            UErrorCode status = U_ZERO_ERROR;
            UParseError error{};
            compiled.emplace_back(icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(entry.pattern), 0, error, status));
            if (U_FAILURE(status)) compiled.back().reset();
        }
        return compiled;
    }();
    return patterns[probe].get();
}

// The whole first match, capture groups aside.
std::optional<std::string> firstMatch(size_t probe, const std::string& text) {
    const icu::RegexPattern* pattern = compiledPattern(probe);
    if (!pattern || text.empty()) return std::nullopt;
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(unicode, status));
    if (U_FAILURE(status)) return std::nullopt;
    matcher->setTimeLimit(regexTimeLimit, status);
    if (!matcher->find(status) || U_FAILURE(status)) return std::nullopt;
    const icu::UnicodeString matched = matcher->group(status);
    if (U_FAILURE(status)) return std::nullopt;
    std::string word;
    matched.toUTF8String(word);
    return word;
}

struct Scan {
    std::vector<Project> result;
    std::unordered_set<std::string> seen;
    std::string home;

    void add(const std::string& dir, bool isRecent) {
        if (!seen.insert(dir).second) return;
        result.push_back({dir, abbreviatingHome(dir, home), isRecent, Projects::keywords(dir)});
    }

    void scanRoot(const std::string& root) {
        const auto names = listNames(root);
        if (!names) return;
        for (const std::string& name : *names) {
            if (name.starts_with('.') || isSkipped(name)) continue;
            const std::string path = root + "/" + name;
            if (!isFolder(path)) continue;
            if (Projects::hasMarker(path)) {
                add(path, false);
                continue;
            }
            scanGroup(path);
        }
    }

    // A folder without a marker may hold projects one level down.
    void scanGroup(const std::string& path) {
        const auto names = listNames(path);
        if (!names) return;
        std::vector<std::string> found;
        for (const std::string& name : *names) {
            if (name.starts_with('.')) continue;
            const std::string sub = path + "/" + name;
            if (isFolder(sub) && Projects::hasMarker(sub)) found.push_back(sub);
        }
        if (found.empty()) return;
        add(path, false);
        for (size_t i = 0; i < found.size() && i < Projects::groupLimit; ++i) add(found[i], false);
    }

    static bool isSkipped(const std::string& name) {
        for (const char* skipped : Projects::skippedNames) {
            if (name == skipped) return true;
        }
        return false;
    }
};

}  // namespace

std::vector<Project> Projects::list() { return list(Store::shared().recents(), homeFolder().string()); }

std::vector<Project> Projects::list(const std::vector<std::string>& recents, std::string_view home) {
    Scan scan;
    scan.home = std::string(home);
    while (scan.home.size() > 1 && scan.home.back() == '/') scan.home.pop_back();
    for (const std::string& recent : recents) {
        if (pathExists(recent)) scan.add(recent, true);
    }
    scan.scanRoot(scan.home);
    for (const char* folder : searchFolders) scan.scanRoot(scan.home + "/" + folder);
    return std::move(scan.result);
}

bool Projects::hasMarker(const std::string& path) {
    for (const char* marker : markers) {
        if (pathExists(path + "/" + marker)) return true;
    }
    return false;
}

std::string Projects::head(const std::string& path, size_t count) {
    const auto bytes = readHead(path, count);
    if (!bytes) return "";
    // A character cut at the end becomes a replacement character, not a failure.
    std::string text;
    icu::UnicodeString::fromUTF8(*bytes).toUTF8String(text);
    return text;
}

std::string Projects::keywords(const std::string& dir) {
    std::string words = lastPathComponent(dir) + " " + lastPathComponent(deletingLastPathComponent(dir));
    if (const auto names = listNames(dir, keywordEntryLimit)) {
        for (const std::string& name : *names) {
            if (!name.starts_with('.')) words += " " + name;
        }
    }
    for (size_t i = 0; i < std::size(probes); ++i) {
        if (auto word = firstMatch(i, head(dir + probes[i].file, probes[i].bytes))) words += " " + *word;
    }
    return lowerCased(words);
}

}  // namespace quiltdeck
