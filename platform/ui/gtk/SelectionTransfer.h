#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Pasteboard.h"

namespace platform::ui::gtk {

// One transfer of a clipboard target from its owner, as every reader of one shares it (the X11
// selection, the toolkit's request, the Wayland pipe): the reader hears of it until it ends, once;
// every step of it is bounded, so a hung owner never holds a paste and a slow one that works gets
// through: no first answer within `stepLimitSeconds` ends it `noAnswer`, no next part within it
// ends it `stopped`. While the reader's read-ahead is full the owner is asked for nothing more, and
// that wait is not the owner's: its clock starts again when there is room. A transfer lives on the
// heap until it ends or is let go of; a subclass lets its owner go in its destructor (closes the
// pipe, takes its window away). Main thread only.
class SelectionTransfer {
public:
    enum class Outcome { whole, refused, wrongType, noAnswer, stopped, gone, tooLarge };
    struct End {
        Outcome outcome = Outcome::whole;
        // What the owner said it holds (at least) before sending it.
        std::optional<size_t> size;
        // wrongType: what the owner answered instead, for the one line the read's log says.
        std::string refusal = {};
    };
    struct Handler {
        std::function<void(std::string)> piece;
        std::function<void(End)> end;
        // The type the owner gave its answer (a target asked for as TEXT comes as one of the text
        // types), once, before the first piece; may be empty.
        std::function<void(std::string)> type = {};
        // How far the read may run ahead of where its pieces go; none: no bound but the limit.
        std::shared_ptr<Pasteboard::ReadAhead> ahead = {};
    };
    // The limit of each step: the owner's targets, its first answer, each later part.
    static constexpr int stepLimitSeconds = 10;

    SelectionTransfer(const SelectionTransfer&) = delete;
    SelectionTransfer& operator=(const SelectionTransfer&) = delete;

    // Lets the transfer go (the owner is asked for nothing more) without a word to the handler;
    // does nothing once it ended.
    Pasteboard::CancelRead cancel();

protected:
    explicit SelectionTransfer(Handler handler);
    virtual ~SelectionTransfer();

    // The owner answered: the next step's clock starts.
    void heard();
    bool answered() const { return answered_; }
    size_t received() const { return received_; }
    // Hands a piece of `type` to the reader. False when the reader let the read go from it: this
    // transfer is gone then, and nothing of it may be touched.
    bool hand(std::string piece, const std::string& type);
    // Whether the reader holds all it may ahead of its consumer.
    bool readerFull() const { return handler_.ahead && handler_.ahead->full(); }
    // Runs `next` at once while the reader has room, else once it has; the step's clock stops
    // meanwhile and starts afresh then.
    void whenRoom(std::function<void()> next);
    // Ends the transfer: this is deleted, then the handler hears the end.
    void finish(Outcome outcome, std::optional<size_t> size = std::nullopt, std::string refusal = {});
    // Called while the transfer lives (a toolkit's callback may come after it ended).
    std::weak_ptr<void> alive() const { return alive_; }

private:
    void armWatchdog();
    void onWatchdog();

    Handler handler_;
    runtime::TimePoint lastHeard_;
    std::shared_ptr<runtime::WorkItem> watchdog_;
    bool answered_ = false;
    bool typeTold_ = false;
    size_t received_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace platform::ui::gtk
