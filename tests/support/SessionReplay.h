#pragma once

// Plays a recording (SessionRecording.h) into a tile on a virtual clock:
// each record at its own time, the loop's timers (settles, trust answers)
// running in between as they would have. What the tile shows is sampled
// after every record and at every expectation.

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/shell/SessionStatus.h"
#include "support/SessionRecording.h"

namespace quiltdeck::testing {

// What the replay drives: a Session, or a status machine beside a terminal.
class ReplayTarget {
public:
    virtual ~ReplayTarget() = default;
    virtual void output(std::span<const uint8_t> bytes) = 0;
    virtual void input(std::span<const uint8_t> bytes) = 0;
    virtual void hook(const std::string& event, const nlohmann::json& body) = 0;
    virtual void exit(int rawStatus) = 0;
    virtual void resize(int cols, int rows) = 0;
    virtual SessionStatus status() const = 0;
    virtual bool finished() const = 0;
    // The running tool's label, as the tile's header shows it.
    virtual std::string tool() const = 0;
};

struct ReplayResult {
    // Each change of what the tile shows: time, status, finished mark.
    struct Change {
        double t;
        SessionStatus status;
        bool finished;
    };
    std::vector<Change> timeline;
    // One line per expectation that did not hold.
    std::vector<std::string> misses;

    std::string describe() const {
        std::ostringstream text;
        for (const auto& change : timeline)
            text << change.t << " " << rawValue(change.status) << (change.finished ? " finished" : "") << "\n";
        return text.str();
    }
};

inline ReplayResult replay(const SessionRecording& recording, platform::runtime::VirtualMainLoop& loop,
                           ReplayTarget& target, double tail = 1.0) {
    ReplayResult result;
    const auto start = loop.now();
    auto at = [&](double seconds) {
        return start + std::chrono::duration_cast<platform::runtime::Duration>(std::chrono::duration<double>(seconds));
    };
    auto sample = [&](double t) {
        const bool finished = target.finished();
        if (result.timeline.empty() || result.timeline.back().status != target.status() ||
            result.timeline.back().finished != finished)
            result.timeline.push_back({t, target.status(), finished});
    };
    // Timers run at their own times, and what they change is seen then.
    auto advanceTo = [&](double t) {
        while (loop.now() < at(t)) {
            const auto step = std::min<platform::runtime::Duration>(at(t) - loop.now(), std::chrono::milliseconds(10));
            loop.advance(step);
            loop.runPending();
            sample(std::chrono::duration<double>(loop.now() - start).count());
        }
    };
    sample(0);
    for (const auto& record : recording.records) {
        advanceTo(record.t);
        switch (record.kind) {
            case SessionRecord::Kind::output: target.output(record.bytes); break;
            case SessionRecord::Kind::input: target.input(record.bytes); break;
            case SessionRecord::Kind::hook: target.hook(record.event, record.body); break;
            case SessionRecord::Kind::exit: target.exit(record.status); break;
            case SessionRecord::Kind::resize: target.resize(record.cols, record.rows); break;
            case SessionRecord::Kind::expect: {
                const bool statusHolds = rawValue(target.status()) == record.event;
                const bool finishedHolds = !record.finished || *record.finished == target.finished();
                const bool toolHolds = !record.tool || *record.tool == target.tool();
                if (!statusHolds || !finishedHolds || !toolHolds) {
                    std::ostringstream miss;
                    miss << "at " << record.t << " expected " << record.event
                         << (record.finished ? (*record.finished ? " finished" : " not finished") : "")
                         << (record.tool ? " tool \"" + *record.tool + "\"" : "") << ", shows "
                         << rawValue(target.status()) << (target.finished() ? " finished" : "") << " tool \""
                         << target.tool() << "\"";
                    result.misses.push_back(miss.str());
                }
                break;
            }
        }
        loop.runPending();
        sample(record.t);
    }
    advanceTo((recording.records.empty() ? 0 : recording.records.back().t) + tail);
    return result;
}

}  // namespace quiltdeck::testing
