#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/gtk/SelectionTransfer.h"

namespace platform::ui::gtk {

// One read through a pipe an owner writes into (a Wayland offer's): our end is watched on the
// main loop and a part taken each time it is readable. The end of the pipe ends the read whole:
// with a blocking end of its own, an owner that stops short of its text can only have ended, and
// the protocol gives no event that orders its last write against its going, so a withdrawn offer
// says nothing of whether all came (an owner that wrote all and quit is the common case). While
// the reader is full the pipe is not read, so the owner waits in its write. Closing our end is
// all it takes to let the owner go: its next write fails.
class PipeTransfer : public SelectionTransfer {
public:
    static constexpr size_t partBytes = size_t{64} << 10;

    // A pipe for an owner: `ours` reads without blocking; `theirs` keeps the ordinary flags
    // (blocking), as an owner that writes plainly on what it is handed expects. None (errno
    // set) when none could be made.
    struct Pipe {
        int ours = -1;
        int theirs = -1;
    };
    static std::optional<Pipe> open();

    // Reads `fd` (ours, closed at the end) as `type`, at most `limit` bytes: past it the read is
    // cut there (`tooLarge`).
    static Pasteboard::CancelRead start(int fd, std::string type, size_t limit, Handler handler);

private:
    PipeTransfer(int fd, std::string type, size_t limit, Handler handler);
    ~PipeTransfer() override;
    void watch();
    void take();

    int fd_;
    std::string type_;
    size_t limit_;
    std::shared_ptr<runtime::Watch> watch_;
};

}  // namespace platform::ui::gtk
