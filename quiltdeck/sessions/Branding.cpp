#include "quiltdeck/sessions/Branding.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "platform/gfx/ImageDecoder.h"
#include "quiltdeck/sessions/FileReading.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {

namespace {

constexpr std::pair<std::string_view, int> extensionWeights[] = {
    {"png", 3}, {"svg", 3}, {"jpg", 1}, {"jpeg", 1}, {"webp", 1}, {"ico", 0},
};
constexpr std::string_view neverTaken[] = {
    "next.svg", "vercel.svg", "file.svg", "globe.svg", "window.svg",
    "vite.svg", "react.svg", "placeholder.png", "placeholder.svg",
};
constexpr std::string_view genericWords[] = {"web", "app", "src", "apps", "packages"};
constexpr std::string_view unlikelyParts[] = {"email", "banner", "cover", "screenshot", "hero"};
constexpr size_t projectWordMinimum = 4;

template <class Table>
bool contains(const Table& table, std::string_view value) {
    return std::find(std::begin(table), std::end(table), value) != std::end(table);
}

// The text after the last dot; a leading dot starts a name, not an extension.
std::string_view extension(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

}  // namespace

std::optional<Branding::Logo> Branding::logo(const std::string& cwd) {
    return logo(cwd, Store::shared().tileLogos(), homeFolder().string());
}

std::optional<Branding::Logo> Branding::logo(const std::string& cwd, const Store::StringMap& tileLogos,
                                             std::string_view home) {
    auto loaded = [](const std::string& path) -> std::optional<Logo> {
        if (auto image = loadImage(path)) return Logo{path, std::move(*image)};
        return std::nullopt;
    };
    if (auto chosen = tileLogos.find(cwd); chosen != tileLogos.end()) return loaded(chosen->second);
    for (const char* relative : fixedPaths) {
        const std::string path = cwd + "/" + relative;
        if (!pathExists(path)) continue;
        if (auto found = loaded(path)) return found;
    }
    if (auto best = scan(cwd, home)) return loaded(*best);
    return std::nullopt;
}

std::optional<platform::gfx::Image> Branding::loadImage(const std::string& path) { return loadImage(path, 0); }

std::optional<platform::gfx::Image> Branding::loadImage(const std::string& path, int fitSide) {
    if (path.empty()) return std::nullopt;
    const std::optional<std::string> bytes = readRegularFile(path, logoFileLimit);
    if (!bytes) return std::nullopt;
    using platform::gfx::ImageDecoder;
    ImageDecoder::Request request;
    request.sideLimit = logoSideLimit;
    request.fitSide = fitSide;
    ImageDecoder::Result result =
        ImageDecoder::decode(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()), request);
    if (result.status != ImageDecoder::Status::decoded) return std::nullopt;
    return std::move(result.image);
}

std::vector<std::string> Branding::projectWords(const std::string& cwd, std::string_view home) {
    const std::string_view rest = pathBelowHome(cwd, home).value_or(cwd);
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t slash = std::min(rest.find('/', start), rest.size());
        const std::string word = lowerCased(rest.substr(start, slash - start));
        if (characterCount(word) >= projectWordMinimum && !contains(genericWords, word)) words.push_back(word);
        start = slash + 1;
    }
    return words;
}

std::optional<int> Branding::score(std::string_view fileName, const std::vector<std::string>& projectWords) {
    const std::string name = lowerCased(fileName);
    const std::string_view ext = extension(name);
    const auto weight = std::find_if(std::begin(extensionWeights), std::end(extensionWeights),
                                     [&](const auto& entry) { return entry.first == ext; });
    if (weight == std::end(extensionWeights) || contains(neverTaken, name)) return std::nullopt;
    int score = weight->second;
    if (name.find("icon") != std::string::npos) score += 4;
    if (name.find("logo") != std::string::npos) score += 3;
    if (name.find("favicon") != std::string::npos) score += 1;
    if (std::any_of(projectWords.begin(), projectWords.end(),
                    [&](const std::string& word) { return name.find(word) != std::string::npos; })) {
        score += 5;
    }
    if (name.starts_with("og") ||
        std::any_of(std::begin(unlikelyParts), std::end(unlikelyParts),
                    [&](std::string_view part) { return name.find(part) != std::string::npos; })) {
        score -= 6;
    }
    return score;
}

std::vector<Branding::Candidate> Branding::scored(const std::string& cwd, std::string_view home) {
    const std::vector<std::string> words = projectWords(cwd, home);
    std::unordered_set<std::string> taken;
    std::vector<Candidate> result;
    for (const char* folder : scanFolders) {
        const std::string folderPath = cwd + "/" + folder;
        const auto names = listNames(folderPath);
        if (!names) continue;
        for (const std::string& name : *names) {
            std::string path = folderPath + "/" + name;
            if (taken.contains(path)) continue;
            const std::optional<int> value = score(name, words);
            if (!value || *value < keptScore) continue;
            taken.insert(path);
            result.push_back({*value, std::move(path)});
        }
    }
    return result;
}

std::optional<std::string> Branding::scan(const std::string& cwd, std::string_view home) {
    const std::vector<Candidate> all = scored(cwd, home);
    const Candidate* best = nullptr;
    for (const Candidate& candidate : all) {
        if (!best || candidate.score > best->score) best = &candidate;
    }
    if (!best) return std::nullopt;
    return best->path;
}

std::vector<std::string> Branding::candidates(const std::string& cwd) { return candidates(cwd, homeFolder().string()); }

std::vector<std::string> Branding::candidates(const std::string& cwd, std::string_view home) {
    std::vector<Candidate> all = scored(cwd, home);
    std::erase_if(all, [](const Candidate& candidate) { return candidate.score < candidateScore; });
    std::stable_sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    std::vector<std::string> paths;
    for (Candidate& candidate : all) paths.push_back(std::move(candidate.path));
    return paths;
}

}  // namespace quiltdeck
