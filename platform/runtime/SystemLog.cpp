#include "platform/runtime/SystemLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/runtime/MainLoop.h"

namespace platform::runtime {

namespace {

std::mutex sinkMutex;
SystemLog::Sink& currentSink() {
    static SystemLog::Sink sink;
    return sink;
}

bool verbose() {
    static const bool on = [] {
        const char* value = std::getenv("VANTEL_PROFILE");
        return value && std::string_view(value) == "1";
    }();
    return on;
}

void writeToStandardError(const LogEntry& entry) {
    if (entry.level < LogLevel::error && !verbose()) return;
    std::fprintf(stderr, "[%.*s]%s%s %s\n", static_cast<int>(logLevelName(entry.level).size()),
                 logLevelName(entry.level).data(), entry.category.empty() ? "" : " ", entry.category.c_str(),
                 entry.message.c_str());
}

}  // namespace

std::string_view logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return "debug";
        case LogLevel::info: return "info";
        case LogLevel::error: return "error";
        case LogLevel::fault: return "fault";
    }
    return "info";
}

void SystemLog::write(LogLevel level, std::string_view category, std::string_view message) {
    LogEntry entry{level, std::string(category), std::string(message)};
    std::lock_guard lock(sinkMutex);
    if (currentSink()) currentSink()(entry);
    else writeToStandardError(entry);
}

namespace {

constexpr auto summaryInterval = std::chrono::minutes(1);

// What was said of each kind of refusal. The count starts afresh with each capture.
struct Refusals {
    struct Kind {
        int said = 0;
        size_t unsaid = 0;
        TimePoint lastSummary{};
        bool summaryDue = false;
    };
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, Kind> kinds;
    uint64_t generation = 0;
};

Refusals& refusals() {
    // Never destroyed: a line may be written while the process ends.
    static auto* state = new Refusals;
    return *state;
}

// The line for what was not said of a kind, if anything; resets the count.
std::string takeSummary(Refusals::Kind& kind, const std::string& name, TimePoint now) {
    kind.lastSummary = now;
    if (kind.unsaid == 0) return {};
    return "and " + std::to_string(std::exchange(kind.unsaid, 0)) + " more: " + name;
}

}  // namespace

void SystemLog::writeRefusal(LogLevel level, std::string_view category, std::string_view kindName,
                             std::string_view message) {
    MainLoop& loop = MainLoop::main();
    const TimePoint now = loop.now();
    const std::pair<std::string, std::string> key{std::string(category), std::string(kindName)};
    std::string line;
    bool scheduleSummary = false;
    uint64_t generation = 0;
    {
        Refusals& state = refusals();
        std::lock_guard lock(state.mutex);
        Refusals::Kind& kind = state.kinds[key];
        if (kind.said < refusalLinesPerKind) {
            ++kind.said;
            line = std::string(message);
            kind.lastSummary = now;
        } else {
            ++kind.unsaid;
            if (now - kind.lastSummary >= summaryInterval) {
                line = takeSummary(kind, key.second, now);
            } else if (!kind.summaryDue) {
                // The rest of this minute's are said at its end, whether more come or not.
                kind.summaryDue = scheduleSummary = true;
                generation = state.generation;
            }
        }
    }
    if (!line.empty()) write(level, category, line);
    if (!scheduleSummary) return;
    loop.postAfter(summaryInterval, [level, key, generation, &loop] {
        std::string summary;
        {
            Refusals& state = refusals();
            std::lock_guard lock(state.mutex);
            if (state.generation != generation) return;
            Refusals::Kind& kind = state.kinds[key];
            kind.summaryDue = false;
            summary = takeSummary(kind, key.second, loop.now());
        }
        if (!summary.empty()) write(level, key.first, summary);
    });
}

void SystemLog::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex);
    currentSink() = std::move(sink);
}

struct ScopedLogCapture::State {
    mutable std::mutex mutex;
    std::vector<LogEntry> entries;
    SystemLog::Sink previous;
};

ScopedLogCapture::ScopedLogCapture() : state_(std::make_shared<State>()) {
    {
        Refusals& counts = refusals();
        std::lock_guard lock(counts.mutex);
        counts.kinds.clear();
        ++counts.generation;
    }
    std::lock_guard lock(sinkMutex);
    state_->previous = std::move(currentSink());
    std::weak_ptr<State> weak = state_;
    currentSink() = [weak](const LogEntry& entry) {
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            state->entries.push_back(entry);
        }
    };
}

ScopedLogCapture::~ScopedLogCapture() {
    std::lock_guard lock(sinkMutex);
    currentSink() = std::move(state_->previous);
}

std::vector<LogEntry> ScopedLogCapture::entries() const {
    std::lock_guard lock(state_->mutex);
    return state_->entries;
}

std::vector<std::string> ScopedLogCapture::messages(std::string_view category) const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> out;
    for (const auto& entry : state_->entries)
        if (entry.category == category) out.push_back(entry.message);
    return out;
}

}  // namespace platform::runtime
