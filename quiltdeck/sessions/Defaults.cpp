#include "quiltdeck/sessions/Defaults.h"

#include <cerrno>
#include <system_error>

#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Log.h"

namespace quiltdeck {

using Json = nlohmann::json;

Defaults& Defaults::standard() {
    static Defaults* const defaults = new Defaults(standardFile());
    return *defaults;
}

std::filesystem::path Defaults::standardFile() { return configFolder() / "quiltdeck" / "defaults.json"; }

namespace {

// Deeper than anything written here; printing a value recurses once per level.
constexpr int nestingLimit = 8;

// What this program writes: strings, numbers, booleans and lists of strings.
bool isKeptShape(const Json& value) {
    if (value.is_string() || value.is_number() || value.is_boolean()) return true;
    if (!value.is_array()) return false;
    for (const Json& element : value) {
        if (!element.is_string()) return false;
    }
    return true;
}

}  // namespace

Defaults::Defaults(std::filesystem::path file) : file_(std::move(file)) {
    int error = 0;
    const auto bytes = readWholeFile(file_, fileSizeLimit, &error);
    if (!bytes) {
        readOnly_ = error != ENOENT;
        return;
    }
    if (!jsonNestedWithin(*bytes, nestingLimit)) {
        Log::write(file_.filename().string() + " ignored: nested deeper than " + std::to_string(nestingLimit) +
                   " levels");
        return;
    }
    Json parsed = parseJsonText(*bytes, nestingLimit);
    if (!parsed.is_object()) return;
    for (auto& [key, value] : parsed.items()) {
        if (isKeptShape(value)) values_[key] = std::move(value);
    }
}

std::optional<std::vector<std::string>> Defaults::stringArray(std::string_view key) const {
    const Json found = value(key);
    if (!found.is_array()) return std::nullopt;
    std::vector<std::string> strings;
    for (const Json& element : found) {
        if (!element.is_string()) return std::nullopt;
        strings.push_back(element.get<std::string>());
    }
    return strings;
}

void Defaults::setStringArray(std::string_view key, const std::vector<std::string>& values) {
    setValue(key, Json(values));
}

Json Defaults::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    return found == values_.end() ? Json() : *found;
}

void Defaults::setValue(std::string_view key, Json value) {
    std::lock_guard lock(mutex_);
    values_[std::string(key)] = std::move(value);
    saveLocked();
}

void Defaults::remove(std::string_view key) {
    std::lock_guard lock(mutex_);
    values_.erase(std::string(key));
    saveLocked();
}

// Under the lock, so that the file gets the changes in the order they were made.
void Defaults::saveLocked() {
    if (readOnly_) return;
    // Through a link, as a dotfile manager keeps the file: the link stays.
    const bool saved = writeThroughLinks(file_, values_.dump(-1, ' ', false, Json::error_handler_t::replace), 0644, 0755);
    saveReport_.record(saved, errno);
}

}  // namespace quiltdeck
