#include "platform/runtime/SystemLog.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

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
