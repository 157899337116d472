#include "platform/ui/gtk/SelectionTransfer.h"

#include <chrono>
#include <utility>

namespace platform::ui::gtk {

namespace {

constexpr runtime::Duration stepLimit = std::chrono::seconds(SelectionTransfer::stepLimitSeconds);

runtime::MainLoop& loop() { return runtime::MainLoop::main(); }

}  // namespace

SelectionTransfer::SelectionTransfer(Handler handler) : handler_(std::move(handler)), lastHeard_(loop().now()) {
    armWatchdog();
}

SelectionTransfer::~SelectionTransfer() {
    if (watchdog_) watchdog_->cancel();
}

Pasteboard::CancelRead SelectionTransfer::cancel() {
    return [this, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired()) delete this;
    };
}

void SelectionTransfer::heard() {
    answered_ = true;
    lastHeard_ = loop().now();
}

// One timer for the whole transfer: when it comes due it looks at when the owner was last heard,
// so a part that comes costs no timer of its own.
void SelectionTransfer::armWatchdog() {
    if (watchdog_) watchdog_->cancel();
    watchdog_ = std::make_shared<runtime::WorkItem>([this, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired()) onWatchdog();
    });
    loop().postAt(lastHeard_ + stepLimit, watchdog_);
}

void SelectionTransfer::onWatchdog() {
    watchdog_.reset();
    if (loop().now() - lastHeard_ < stepLimit) return armWatchdog();
    finish(answered_ ? Outcome::stopped : Outcome::noAnswer);
}

bool SelectionTransfer::hand(std::string piece, const std::string& type) {
    if (piece.empty()) return true;
    const std::weak_ptr<int> alive = alive_;
    if (!std::exchange(typeTold_, true) && handler_.type) {
        const auto tell = handler_.type;
        tell(type);
        if (alive.expired()) return false;
    }
    received_ += piece.size();
    const auto take = handler_.piece;
    take(std::move(piece));
    return !alive.expired();
}

void SelectionTransfer::whenRoom(std::function<void()> next) {
    if (!readerFull()) return next();
    if (watchdog_) watchdog_->cancel();
    watchdog_.reset();
    handler_.ahead->whenRoom([this, alive = std::weak_ptr<int>(alive_), next = std::move(next)] {
        if (alive.expired()) return;
        lastHeard_ = loop().now();
        armWatchdog();
        next();
    });
}

void SelectionTransfer::finish(Outcome outcome, std::optional<size_t> size, std::string refusal) {
    auto end = std::move(handler_.end);
    delete this;
    end({outcome, size, std::move(refusal)});
}

}  // namespace platform::ui::gtk
