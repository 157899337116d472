#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "quiltdeck/panels/SetupProbe.h"

namespace quiltdeck::testing {

// Answers from a script, one per probe (the last repeats); a gate can hold a
// probe until the test lets it go.
class ScriptedProbe : public SetupProbe {
public:
    struct Script {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::pair<SetupProbe::Status, bool>> answers;
        std::pair<SetupProbe::Status, bool> last{{}, true};
        int probes = 0;
        bool held = false;
    };

    explicit ScriptedProbe(std::shared_ptr<Script> script) : script_(std::move(script)) {}

    SetupProbe::Status probe() override {
        std::unique_lock lock(script_->mutex);
        ++script_->probes;
        script_->changed.notify_all();
        script_->changed.wait(lock, [&] { return !script_->held; });
        if (!script_->answers.empty()) {
            script_->last = script_->answers.front();
            script_->answers.pop_front();
        }
        return script_->last.first;
    }
    bool fullDiskAccess() override {
        std::lock_guard lock(script_->mutex);
        return script_->last.second;
    }

private:
    std::shared_ptr<Script> script_;
};

}  // namespace quiltdeck::testing
