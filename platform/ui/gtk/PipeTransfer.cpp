#include "platform/ui/gtk/PipeTransfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform::ui::gtk {

std::optional<PipeTransfer::Pipe> PipeTransfer::open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    // Only our end: the flag belongs to the open pipe, which the owner's end would share.
    const int flags = ::fcntl(fds[0], F_GETFL);
    if (flags < 0 || ::fcntl(fds[0], F_SETFL, flags | O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        errno = error;
        return std::nullopt;
    }
    return Pipe{fds[0], fds[1]};
}

Pasteboard::CancelRead PipeTransfer::start(int fd, std::string type, size_t limit, Handler handler) {
    if (!handler.piece || !handler.end) {
        ::close(fd);
        return {};
    }
    return (new PipeTransfer(fd, std::move(type), limit, std::move(handler)))->cancel();
}

PipeTransfer::PipeTransfer(int fd, std::string type, size_t limit, Handler handler)
    : SelectionTransfer(std::move(handler)), fd_(fd), type_(std::move(type)), limit_(limit) {
    watch();
}

PipeTransfer::~PipeTransfer() {
    if (watch_) watch_->cancel();
    ::close(fd_);
}

void PipeTransfer::watch() {
    watch_ = runtime::MainLoop::main().watchDescriptor(fd_, runtime::IoEvent::readable, [this](runtime::IoEvents) { take(); });
}

void PipeTransfer::take() {
    // One byte past the limit tells a text that passes it from one that ends there.
    std::string part(std::min(partBytes, limit_ - received() + 1), '\0');
    const ssize_t count = ::read(fd_, part.data(), part.size());
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (count < 0) {
        std::fprintf(stderr, "clipboard: reading the offer failed: %s\n", std::strerror(errno));
        return finish(answered() ? Outcome::stopped : Outcome::noAnswer);
    }
    if (count == 0) return finish(Outcome::whole, received());
    heard();
    part.resize(static_cast<size_t>(count));
    const bool over = part.size() > limit_ - received();
    if (over) part.resize(limit_ - received());
    if (!hand(std::move(part), type_)) return;
    if (over) return finish(Outcome::tooLarge);
    if (!readerFull()) return;
    // The owner waits in its write until the reader has room.
    watch_->cancel();
    watch_.reset();
    whenRoom([this] { watch(); });
}

}  // namespace platform::ui::gtk
