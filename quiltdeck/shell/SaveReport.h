#pragma once

#include <string>

namespace quiltdeck {

// Tells the log when a file's saves start failing and when they work again: one line for the first
// failure of a run of failures ("<subject>: save failed: <cause>") and one for the success that
// ends it ("<subject>: saved again"), so a full disk does not fill the log. The caller serialises
// its saves.
class SaveReport {
public:
    explicit SaveReport(std::string subject) : subject_(std::move(subject)) {}

    // Returns `saved`; `error` is the errno value of a failure.
    bool record(bool saved, int error);
    bool failing() const { return failing_; }

private:
    std::string subject_;
    bool failing_ = false;
};

}  // namespace quiltdeck
