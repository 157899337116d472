#include "vantel/host/LocalProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <system_error>
#include <thread>
#include <utility>

#include "vantel/core/Terminal.h"
#include "vantel/core/Utf8.h"
#include "vantel/host/PseudoTerminalHelpers.h"

namespace vantel {

using platform::runtime::Clock;
using platform::runtime::MainLoop;

std::atomic<int> LocalProcess::busyDeliveries_{0};
std::atomic<const LocalProcess*> LocalProcess::typedInto_{nullptr};
std::atomic<bool> LocalProcess::typingStarted_{false};
LocalProcess::TypingShare LocalProcess::typingShare_;

namespace {

void printLine(std::string line) {
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

std::string describeBytes(std::span<const uint8_t> bytes) {
    std::string out = "[";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(bytes[i]);
    }
    return out + "]";
}

}  // namespace

// The I/O side of one child: its master descriptor, the thread that reads and
// writes it, and the writes not yet done.
struct LocalProcess::Channel {
    struct PendingWrite {
        int id;
        std::vector<uint8_t> bytes;
        bool isReply = false;
        size_t written = 0;
        // The paste whose text it is (0: keys, frames, replies), which may be taken back.
        uint64_t paste = 0;
        // Written once the child has read what came before it (sendWhenRead).
        bool whenRead = false;
    };

    int masterFd = -1;
    int wakeFd = -1;
    std::mutex writeMutex;
    std::deque<PendingWrite> writes;
    // Bytes in `writes`, all of them and those of user input.
    size_t queuedBytes = 0;
    size_t queuedInputBytes = 0;
    // Since when the terminal has taken no byte, full (none while it takes them).
    std::optional<platform::runtime::TimePoint> blockedSince;
    // The first write waits for the child's reader (I/O thread only): since when, since when the
    // child was last seen running, reading or writing, what it had left unread and had written (all
    // that came from it) then, how many looks in a row found the reader waiting, and whether the
    // thread looks again soon.
    std::optional<platform::runtime::TimePoint> readerWaitSince;
    platform::runtime::TimePoint readerActiveAt{};
    std::optional<int> readerUnread;
    uint64_t readerOutput = 0;
    int readerSeenWaiting = 0;
    bool waitingForReader = false;
    // An interrupt key that waited for its reader went out (I/O thread only): what follows it waits
    // until the programs it went to have acted on it. The foreground group then, its processes that
    // read the terminal as they were before the key, and when the key went.
    struct InterruptHeard {
        pid_t group = 0;
        std::vector<std::pair<pid_t, PseudoTerminalHelpers::ProcessLook>> readers;
        platform::runtime::TimePoint since;
    };
    std::optional<InterruptHeard> interruptHeard;
    // The terminal's foreground as last walked (I/O thread only): walked again when its group
    // changes, when a reader left it, or `foregroundLookAge` after the last walk, so that a
    // group of hundreds is not walked every few milliseconds.
    std::optional<PseudoTerminalHelpers::Foreground> foregroundSeen;
    platform::runtime::TimePoint foregroundSeenAt{};
    const PseudoTerminalHelpers::Foreground& foreground(pid_t leader) {
        const pid_t group = ::tcgetpgrp(masterFd);
        const auto now = Clock::now();
        const bool stale = !foregroundSeen || foregroundSeen->group != std::max(group, pid_t{0}) ||
                           now - foregroundSeenAt >= foregroundLookAge ||
                           std::any_of(foregroundSeen->readers.begin(), foregroundSeen->readers.end(), [&](pid_t reader) {
                               return ::getpgid(reader) != group;
                           });
        if (stale) {
            foregroundSeen = PseudoTerminalHelpers::foreground(masterFd, leader);
            foregroundSeenAt = now;
        }
        return *foregroundSeen;
    }
    // The foreground group an interrupt key goes to now, with how its readers look.
    std::optional<InterruptHeard> interruptGoesTo(pid_t leader) {
        const auto& seen = foreground(leader);
        if (seen.group <= 0) return std::nullopt;
        InterruptHeard heard;
        heard.group = seen.group;
        for (const pid_t reader : seen.readers) {
            if (const auto look = PseudoTerminalHelpers::look(reader)) heard.readers.emplace_back(reader, *look);
        }
        heard.since = Clock::now();
        return heard;
    }
    // The user insisted (another interrupt key): the writes up to this one go without waiting for a
    // reader or for an interrupt to be acted on (guarded by writeMutex).
    int insistUpTo = -1;
    std::jthread thread;

    ~Channel() {
        shutDown();
        if (masterFd >= 0) ::close(masterFd);
        if (wakeFd >= 0) ::close(wakeFd);
    }
    void wake() {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd, &one, sizeof one);
    }
    void shutDown() {
        if (!thread.joinable()) return;
        thread.request_stop();
        wake();
        thread.join();
    }
    bool hasPendingWrites() {
        std::lock_guard lock(writeMutex);
        return !writes.empty();
    }
    // With writeMutex held.
    void popWrite() {
        const PendingWrite& write = writes.front();
        queuedBytes -= write.bytes.size();
        if (!write.isReply) queuedInputBytes -= write.bytes.size();
        writes.pop_front();
    }
};

LocalProcess::LocalProcess(LocalProcessDelegate* delegate, MainLoop* dispatchQueue)
    : delegate_(delegate),
      dispatchQueue_(dispatchQueue ? *dispatchQueue : MainLoop::main()),
      usesMainQueue_(&dispatchQueue_ == &MainLoop::main()) {}

LocalProcess::~LocalProcess() {
    const LocalProcess* self = this;
    typedInto_.compare_exchange_strong(self, nullptr);
    closeChannel();
    lifetime_.reset();
    {
        // A delivery still scheduled will never run: it no longer shares the loop.
        std::lock_guard lock(pendingLock_);
        if (pendingScheduled_) busyDeliveries_.fetch_sub(1);
        pendingScheduled_ = false;
    }
    // The child is not signalled, only reaped once it ends.
    letGoOfChild();
}

std::optional<std::string> LocalProcess::loggingDir() const {
    std::lock_guard lock(loggingMutex_);
    return loggingDir_;
}

void LocalProcess::setHostLogging(std::optional<std::string> directory) {
    std::lock_guard lock(loggingMutex_);
    loggingDir_ = std::move(directory);
}

LocalProcess::DeliveryFigures LocalProcess::deliveryFigures() {
    std::lock_guard lock(pendingLock_);
    return figures_;
}

bool LocalProcess::hasPendingOutput() {
    std::lock_guard lock(pendingLock_);
    return pendingScheduled_;
}

std::optional<uint64_t> LocalProcess::outputWritten() {
    {
        std::lock_guard lock(pendingLock_);
        if (readSuspendedForBackpressure_) return std::nullopt;
    }
    auto channel = currentChannel();
    std::lock_guard lock(readCountMutex_);
    int waiting = 0;
    if (channel && ::ioctl(channel->masterFd, FIONREAD, &waiting) != 0) waiting = 0;
    return readBytes_.load() + static_cast<uint64_t>(std::max(waiting, 0));
}

LocalProcess::WriteFigures LocalProcess::writeFigures() {
    size_t queued = 0;
    if (auto channel = currentChannel()) {
        std::lock_guard lock(channel->writeMutex);
        queued = channel->queuedBytes;
    }
    std::lock_guard lock(writeFiguresMutex_);
    WriteFigures figures = writeFigures_;
    figures.queuedBytes = queued;
    return figures;
}

std::shared_ptr<LocalProcess::Channel> LocalProcess::currentChannel() {
    std::lock_guard lock(channelMutex_);
    return channel_;
}

std::string LocalProcess::takeDropSummary() {
    std::string line;
    if (unloggedDrops_ > 0) {
        line = "Dropped " + std::to_string(unloggedDrops_) + " replies (" + std::to_string(unloggedDropBytes_) +
               " bytes) to the child";
    }
    unloggedDrops_ = unloggedDropBytes_ = 0;
    return line;
}

void LocalProcess::closeChannel() {
    std::string summary;
    {
        std::lock_guard lock(writeFiguresMutex_);
        summary = takeDropSummary();
    }
    if (!summary.empty()) printLine(summary);
    std::shared_ptr<Channel> old;
    {
        std::lock_guard lock(channelMutex_);
        old.swap(channel_);
    }
    if (old) old->shutDown();
}

void LocalProcess::letGoOfChild() {
    if (childMonitor_) std::exchange(childMonitor_, nullptr)->cancel();
    // Each owner reaps only its own children; this one no longer waits, so the loop does.
    if (childOwned_.exchange(false)) dispatchQueue_.reapWhenExited(shellPid_.load());
}

// --- Start --------------------------------------------------------------------------------

void LocalProcess::startProcess(const std::string& executable, const std::vector<std::string>& args,
                                const std::optional<std::vector<std::string>>& environment,
                                const std::optional<std::string>& execName,
                                const std::optional<std::string>& currentDirectory) {
    if (running_) return;
    const winsize size = delegate_ ? delegate_->getWindowSize() : winsize{};
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) return;
    std::optional<PseudoTerminalHelpers::Child> child;
    try {
        std::vector<std::string> argv;
        argv.reserve(args.size() + 1);
        argv.push_back(execName.value_or(executable));
        argv.insert(argv.end(), args.begin(), args.end());
        const auto env = environment ? *environment : Terminal::getEnvironmentVariables("xterm-256color", true);
        child = PseudoTerminalHelpers::fork(executable, argv, env, currentDirectory, size);
    } catch (const std::bad_alloc&) {
        child.reset();
    }
    if (!child) {
        ::close(wakeFd);
        return;
    }
    ::fcntl(child->masterFd, F_SETFL, ::fcntl(child->masterFd, F_GETFL) | O_NONBLOCK);

    // A restart replaces the previous channel and monitor.
    closeChannel();
    letGoOfChild();
    running_ = true;
    childfd_ = child->masterFd;
    shellPid_ = child->pid;
    childOwned_ = true;

    std::weak_ptr<int> alive = lifetime_;
    childMonitor_ = dispatchQueue_.watchChild(child->pid, [this, alive](int status) {
        if (!alive.expired()) processTerminated(status);
    });

    auto channel = std::make_shared<Channel>();
    channel->masterFd = child->masterFd;
    channel->wakeFd = wakeFd;
    Channel* raw = channel.get();
    try {
        channel->thread = std::jthread([this, raw](std::stop_token stop) { readLoop(stop, *raw); });
    } catch (const std::system_error&) {
        // Without a reader the child would block on its first full screen.
        channel.reset();
        terminate();
        return;
    }
    std::lock_guard lock(channelMutex_);
    channel_ = std::move(channel);
}

// --- Reading (I/O thread) -------------------------------------------------------------------

void LocalProcess::readLoop(std::stop_token stop, Channel& channel) {
    std::vector<uint8_t> buffer(readSize);
    bool reading = true;
    while (!stop.stop_requested()) {
        bool suspended;
        {
            std::lock_guard lock(pendingLock_);
            suspended = readSuspendedForBackpressure_;
        }
        // A suspended reader leaves the master out of the poll set altogether:
        // a hung-up master would otherwise wake the thread without end.
        const bool wantRead = reading && !suspended;
        // A write that waits for the child's reader is looked at again every few milliseconds.
        const bool waitingForReader = channel.waitingForReader;
        const bool wantWrite = channel.hasPendingWrites() && !waitingForReader;
        pollfd fds[2] = {{channel.wakeFd, POLLIN, 0}, {-1, 0, 0}};
        if (wantRead || wantWrite) {
            fds[1] = {channel.masterFd, static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0)), 0};
        }
        if (::poll(fds, 2, waitingForReader ? 2 : -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] ssize_t got = ::read(channel.wakeFd, &count, sizeof count);
        }
        if (stop.stop_requested()) break;
        const short ready = fds[1].revents;
        if ((wantWrite && ready) || waitingForReader) {
            flushWrites(channel);
            if ((ready & (POLLHUP | POLLERR)) && channel.hasPendingWrites()) {
                // Nobody is left to read them.
                std::deque<Channel::PendingWrite> dropped;
                {
                    std::lock_guard lock(channel.writeMutex);
                    dropped.swap(channel.writes);
                    channel.queuedBytes = channel.queuedInputBytes = 0;
                }
                for (auto& write : dropped) {
                    total_ += static_cast<int64_t>(write.bytes.size());
                    printLine("Error writing data to the child, errno=" + std::to_string(EIO));
                }
            }
        }
        if (wantRead && (ready & (POLLIN | POLLHUP | POLLERR))) {
            if (readAvailable(stop, channel, buffer) == ReadOutcome::ended) reading = false;
        }
    }
    flushWrites(channel);
}

LocalProcess::ReadOutcome LocalProcess::readAvailable(std::stop_token stop, Channel& channel,
                                                      std::vector<uint8_t>& buffer) {
    size_t filled = 0;
    bool ended = false;
    {
        std::lock_guard lock(readCountMutex_);
        while (filled < readSize) {
            const ssize_t n = ::read(channel.masterFd, buffer.data() + filled, readSize - filled);
            if (n > 0) {
                filled += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            // 0, or EIO once every descriptor of the child's side is closed.
            ended = true;
            break;
        }
        readBytes_ += filled;
    }
    bool mayGoOn = true;
    if (filled > 0) mayGoOn = childProcessRead(stop, std::span<const uint8_t>(buffer.data(), filled));
    if (ended) {
        childProcessRead(stop, {});
        return ReadOutcome::ended;
    }
    return mayGoOn ? ReadOutcome::goOn : ReadOutcome::suspended;
}

bool LocalProcess::childProcessRead(std::stop_token stop, std::span<const uint8_t> data) {
    if (debugIO_) {
        totalRead_ += static_cast<int64_t>(data.size());
        printLine("[READ] count=" + std::to_string(data.size()) +
                  " received from host total=" + std::to_string(totalRead_.load()));
    }
    if (data.empty()) {
        childfd_ = -1;
        running_ = false;
        return false;
    }
    std::vector<uint8_t> chunk(data.begin(), data.end());
    writeHostLog(chunk);
    if (usesMainQueue_) return enqueueReceivedData(std::move(chunk));

    // Elsewhere the reader waits for the delegate: no queue, no back-pressure.
    std::weak_ptr<int> alive = lifetime_;
    dispatchQueue_.sync(
        [this, alive, chunk = std::move(chunk)] {
            if (alive.expired()) return;
            if (delegate_) delegate_->dataReceived(chunk);
            if (!alive.expired()) deliveredBytes_ += chunk.size();
        },
        stop);
    return true;
}

void LocalProcess::writeHostLog(const std::vector<uint8_t>& chunk) {
    const auto directory = loggingDir();
    if (!directory) return;
    const std::string path = *directory + "/log-" + std::to_string(logFileCounter_.load());
    int error = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
    } else {
        for (size_t done = 0; done < chunk.size();) {
            const ssize_t n = ::write(fd, chunk.data() + done, chunk.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                break;
            }
            done += static_cast<size_t>(n);
        }
        ::close(fd);
    }
    if (error == 0) {
        ++logFileCounter_;
    } else {
        printLine("Got error while logging data dump to " + path + ": " +
                  std::error_code(error, std::generic_category()).message());
    }
}

// --- Delivery on the main loop ----------------------------------------------------------------

bool LocalProcess::enqueueReceivedData(std::vector<uint8_t> chunk) {
    bool schedule = false, urgent = false;
    bool mayGoOn;
    {
        std::lock_guard lock(pendingLock_);
        pendingBytes_ += chunk.size();
        pendingChunks_.push_back(std::move(chunk));
        figures_.peakPendingBytes = std::max(figures_.peakPendingBytes, pendingBytes_);
        if (pendingBytes_ >= pendingHighWaterBytes) {
            if (!readSuspendedForBackpressure_) ++figures_.suspensions;
            readSuspendedForBackpressure_ = true;
        }
        if (!pendingScheduled_) {
            pendingScheduled_ = schedule = true;
            urgentPass_ = interactive();
            busyDeliveries_.fetch_add(1);
        }
        mayGoOn = pendingBytes_ < pendingHighWaterBytes;
        urgent = schedule && urgentPass_;
        if (urgent) ++figures_.urgentPasses;
    }
    if (schedule) scheduleDrain(urgent);
    return mayGoOn;
}

bool LocalProcess::interactive() const { return interactiveAt(lastInputNs_.load(std::memory_order_relaxed)); }

bool LocalProcess::interactiveAt(int64_t lastInputNs) const {
    if (lastInputNs == 0) return false;
    const int64_t now = dispatchQueue_.now().time_since_epoch().count();
    return now - lastInputNs <= std::chrono::nanoseconds(interactiveWindow).count();
}

bool LocalProcess::typedIntoElsewhere() const {
    const LocalProcess* typed = typedInto_.load();
    return typed && typed != this && typed->interactive();
}

std::chrono::nanoseconds LocalProcess::waitForShare() {
    const int64_t now = dispatchQueue_.now().time_since_epoch().count();
    TypingShare& share = typingShare_;
    if (typingStarted_.exchange(false) || now < share.refilledAtNs) share = TypingShare{0, now};
    const auto earned = static_cast<int64_t>(static_cast<double>(now - share.refilledAtNs) * backgroundShareWhileTyping);
    share.creditNs = std::min<int64_t>(share.creditNs + earned, static_cast<int64_t>(pendingTimeSliceNs));
    share.refilledAtNs = now;
    if (share.creditNs > 0) return std::chrono::nanoseconds(0);
    // Until the share has earned back what the passes before took, and a little more.
    return std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(-share.creditNs) / backgroundShareWhileTyping) +
                                    static_cast<int64_t>(smallestSliceNs));
}

void LocalProcess::scheduleDrain(bool urgent) {
    std::weak_ptr<int> alive = lifetime_;
    auto drain = [this, alive] {
        if (!alive.expired()) drainReceivedData();
    };
    if (urgent) dispatchQueue_.postUrgent(std::move(drain));
    else dispatchQueue_.post(std::move(drain));
}

void LocalProcess::drainReceivedData() {
    const auto start = dispatchQueue_.now();
    std::weak_ptr<int> alive = lifetime_;
    bool charged = false;
    auto passEnded = [&] {
        const auto took = std::chrono::duration_cast<std::chrono::nanoseconds>(dispatchQueue_.now() - start);
        if (charged) typingShare_.creditNs -= took.count();
        if (drainPassObserver_) drainPassObserver_(took);
    };
    if (delegate_ && !delegate_->readyForData()) {
        // The rest waits for resumeDelivery.
        waitingForDelegate_ = true;
        {
            std::lock_guard lock(pendingLock_);
            ++figures_.drainPasses;
        }
        passEnded();
        return;
    }
    std::unique_lock lock(pendingLock_);
    ++figures_.drainPasses;
    // The echo of a key goes ahead of everything and takes the whole slice; the passes after it
    // queue as any other.
    const bool urgent = std::exchange(urgentPass_, false);
    // Children delivering at the same time share the loop's time: each pass gets its part of the
    // slice, so one child's flood never keeps another's echo waiting longer than one round.
    const uint64_t slice =
        urgent ? pendingTimeSliceNs
               : std::max(pendingTimeSliceNs / static_cast<uint64_t>(std::max(busyDeliveries_.load(), 1)),
                          smallestSliceNs);
    // While another child is typed into, this one waits for its share of the loop.
    charged = !urgent && usesMainQueue_ && typedIntoElsewhere();
    if (charged) {
        const auto wait = waitForShare();
        if (wait.count() > 0) {
            ++figures_.postponedPasses;
            lock.unlock();
            dispatchQueue_.postAfter(wait, [this, alive] {
                if (!alive.expired()) drainReceivedData();
            });
            return;
        }
    }
    // What came due on the loop (a timer, a frame) goes first: the pass ends after a piece when
    // it is due, and at once when it was due at the start, though not twice in a row, so that a
    // loop that always has something due still gets output delivered.
    if (!urgent && !passEndedEmpty_ && dispatchQueue_.shouldYield()) {
        passEndedEmpty_ = true;
        lock.unlock();
        scheduleDrain();
        passEnded();
        return;
    }
    passEndedEmpty_ = false;
    // Pieces and the pass's part of the slice are counted in the loop thread's work: time the
    // thread was preempted (a starved core) is no cost of the output. Real time only bounds the
    // pass as a whole, for the work queued behind it.
    const auto workStart = dispatchQueue_.workTime();
    auto pieceWorkStart = workStart;
    for (;;) {
        if (deliveredOffset_ >= deliveringChunk_.size()) {
            if (pendingChunkIndex_ >= pendingChunks_.size()) {
                pendingChunks_.clear();
                pendingChunkIndex_ = 0;
                pendingBytes_ = 0;
                pendingScheduled_ = false;
                busyDeliveries_.fetch_sub(1);
                std::vector<uint8_t>().swap(deliveringChunk_);
                deliveredOffset_ = 0;
                lock.unlock();
                passEnded();
                return;
            }
            deliveringChunk_ = std::move(pendingChunks_[pendingChunkIndex_++]);
            deliveredOffset_ = 0;
            if (pendingChunkIndex_ >= pendingChunkFlushThreshold) {
                pendingChunks_.erase(pendingChunks_.begin(), pendingChunks_.begin() + pendingChunkIndex_);
                pendingChunkIndex_ = 0;
            }
        }
        // A piece, not the whole read: a slow consumer (a huge screen, costly
        // reports) would otherwise hold the loop for as long as a read takes it.
        const size_t piece = std::min(pieceBytes_, deliveringChunk_.size() - deliveredOffset_);
        pendingBytes_ -= piece;
        bool resume = false;
        if (readSuspendedForBackpressure_ && pendingBytes_ <= pendingLowWaterBytes) {
            readSuspendedForBackpressure_ = false;
            ++figures_.resumes;
            figures_.highestPendingAtResume = std::max(figures_.highestPendingAtResume, pendingBytes_);
            resume = true;
        }
        lock.unlock();
        // Resumed also after the exit report: a child's children may still be
        // writing, and their output must not stall in the terminal.
        if (resume) {
            if (auto channel = currentChannel()) channel->wake();
        }
        const std::span<const uint8_t> bytes(deliveringChunk_.data() + deliveredOffset_, piece);
        deliveredOffset_ += piece;
        if (delegate_) delegate_->dataReceived(bytes);
        if (alive.expired()) return;
        deliveredBytes_ += piece;
        // Once a piece: the work clock may be a system call.
        const auto worked = dispatchQueue_.workTime();
        adaptPieceSize(piece, worked - pieceWorkStart);
        pieceWorkStart = worked;
        if (delegate_ && !delegate_->readyForData()) {
            // The rest waits for resumeDelivery.
            waitingForDelegate_ = true;
            passEnded();
            return;
        }
        const auto elapsed = dispatchQueue_.now() - start;
        if (static_cast<uint64_t>((worked - workStart).count()) >= slice ||
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()) >=
                pendingTimeSliceNs ||
            (!urgent && dispatchQueue_.shouldYield())) {
            // Yield the loop to other work; `pendingScheduled_` stays set.
            scheduleDrain();
            passEnded();
            return;
        }
        lock.lock();
    }
}

void LocalProcess::resumeDelivery() {
    if (!std::exchange(waitingForDelegate_, false)) return;
    scheduleDrain();
}

void LocalProcess::adaptPieceSize(size_t piece, std::chrono::nanoseconds took) {
    // A piece that took over twice the target shrinks to it, at the rate it went; a whole piece
    // no slower than the target grows toward it, at least twofold and at most by
    // `pieceGrowthLimit` (a cheap run says little of the next bytes). In between nothing changes.
    const auto ns = static_cast<uint64_t>(std::max<int64_t>(took.count(), 0));
    if (ns > 2 * pieceTargetNs) {
        const double fitting = static_cast<double>(piece) * pieceTargetNs / static_cast<double>(ns);
        pieceBytes_ = static_cast<size_t>(std::max(fitting, double(smallestPiece)));
    } else if (ns <= pieceTargetNs && piece == pieceBytes_) {
        const double most = static_cast<double>(piece) * pieceGrowthLimit;
        const double fitting = ns == 0 ? most : static_cast<double>(piece) * pieceTargetNs / static_cast<double>(ns);
        const double grown = std::clamp(fitting, 2.0 * static_cast<double>(piece), most);
        pieceBytes_ = std::min(static_cast<size_t>(grown), largestPiece);
    }
}

// --- Exit, writes, size, terminate ---------------------------------------------------------------

void LocalProcess::processTerminated(int status) {
    childOwned_ = false;
    std::weak_ptr<int> alive = lifetime_;
    if (delegate_) delegate_->processTerminated(*this, status);
    if (alive.expired()) return;
    running_ = false;
    if (childMonitor_) std::exchange(childMonitor_, nullptr)->cancel();
}

void LocalProcess::noteInput() {
    // 0 means never: a clock that starts at 0 (the tests' virtual one) still counts.
    const int64_t previous = lastInputNs_.exchange(
        std::max<int64_t>(dispatchQueue_.now().time_since_epoch().count(), 1), std::memory_order_relaxed);
    if (usesMainQueue_) {
        const LocalProcess* before = typedInto_.exchange(this);
        // Typing that starts afresh starts the others' share afresh.
        if (before != this || !interactiveAt(previous)) typingStarted_.store(true);
    }
}

bool LocalProcess::send(std::span<const uint8_t> data) {
    noteInput();
    return queueWrite(data, false);
}

bool LocalProcess::sendPaste(std::span<const uint8_t> data, uint64_t paste) {
    noteInput();
    return queueWrite(data, false, paste);
}

bool LocalProcess::sendWhenRead(std::span<const uint8_t> data) {
    noteInput();
    return queueWrite(data, false, 0, true);
}

bool LocalProcess::sendInsisting(std::span<const uint8_t> data) {
    noteInput();
    return queueWrite(data, false, 0, false, true);
}

namespace {

// Whether an interrupt key the terminal takes in discards what its child has not read: its keys
// make signals, and a signal flushes.
bool interruptFlushes(int masterFd) {
    termios modes{};
    return ::tcgetattr(masterFd, &modes) == 0 && (modes.c_lflag & ISIG) && !(modes.c_lflag & NOFLSH);
}

// Whether the terminal turns the interrupt key into a signal.
bool interruptSignals(int masterFd) {
    termios modes{};
    return ::tcgetattr(masterFd, &modes) == 0 && (modes.c_lflag & ISIG);
}

}  // namespace

std::map<uint64_t, size_t> LocalProcess::takeBackPastes(bool* flushed) {
    std::map<uint64_t, size_t> taken;
    if (flushed) *flushed = false;
    auto channel = running_ ? currentChannel() : nullptr;
    if (!channel) return taken;
    std::lock_guard lock(channel->writeMutex);
    // A terminal that took nothing for a while: its child reads nothing, and what was written
    // before would keep the next key out for good. What it holds is discarded as the interrupt key
    // would discard it once in; a terminal whose keys make no signals (a raw reader) keeps it,
    // keys typed before the paste among it.
    const bool pasteWaits = std::any_of(channel->writes.begin(), channel->writes.end(),
                                        [](const auto& write) { return write.paste != 0; });
    const bool flush = pasteWaits && channel->masterFd >= 0 && channel->blockedSince &&
                       Clock::now() - *channel->blockedSince >= stalledTerminal && interruptFlushes(channel->masterFd);
    size_t removed = 0;
    for (auto write = channel->writes.begin(); write != channel->writes.end();) {
        size_t keep;
        if (flush && write->written > 0) {
            // Its first bytes were in the terminal, and go with what it held: none of the rest goes.
            keep = 0;
        } else if (!write->paste) {
            ++write;
            continue;
        } else {
            // A write begun keeps the rest of its character: the child never gets half of one.
            keep = write->written;
            while (keep > 0 && keep < write->bytes.size() && utf8::isContinuationByte(write->bytes[keep])) ++keep;
        }
        const size_t unsent = write->bytes.size() - std::max(keep, write->written);
        if (write->paste && unsent > 0) taken[write->paste] += unsent;
        const size_t gone = write->bytes.size() - keep;
        removed += gone;
        if (!write->isReply) channel->queuedInputBytes -= gone;
        if (keep > 0) {
            write->bytes.resize(keep);
            write->paste = 0;
            ++write;
        } else {
            write = channel->writes.erase(write);
        }
    }
    channel->queuedBytes -= removed;
    if (flush) {
        // What it holds comes in two parts: what the child's side has yet to take in, and what it
        // took in that the child has yet to read (full: nothing more, a Ctrl+C neither, goes in).
        ::ioctl(channel->masterFd, TCFLSH, TCOFLUSH);
        if (const int peer = ::ioctl(channel->masterFd, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_CLOEXEC); peer >= 0) {
            ::tcflush(peer, TCIFLUSH);
            ::close(peer);
        }
        channel->blockedSince.reset();
        if (flushed) *flushed = true;
    }
    if (removed > 0) channel->wake();
    return taken;
}

bool LocalProcess::sendReply(std::span<const uint8_t> data) { return queueWrite(data, true); }

size_t LocalProcess::inputRoom() {
    auto channel = running_ ? currentChannel() : nullptr;
    if (!channel) return writeQueueLimit;
    std::lock_guard lock(channel->writeMutex);
    return writeQueueLimit - std::min(channel->queuedInputBytes, writeQueueLimit);
}

bool LocalProcess::queueWrite(std::span<const uint8_t> data, bool isReply, uint64_t paste, bool whenRead, bool insists) {
    if (!running_) return false;
    auto channel = currentChannel();
    if (!channel) return false;
    std::string logLine;
    int id = -1;
    {
        std::lock_guard lock(channel->writeMutex);
        // Replies may fill the queue up to the limit; input has room of its own, so
        // a child that never reads its replies cannot shut out the user's keys, and
        // a key always goes in: only a paste can be too big.
        const size_t waiting = isReply ? channel->queuedBytes : channel->queuedInputBytes;
        const bool fits = data.size() <= writeQueueLimit - std::min(waiting, writeQueueLimit) ||
                          (!isReply && data.size() <= largestKeystroke);
        std::lock_guard figuresLock(writeFiguresMutex_);
        if (!fits && isReply) {
            ++writeFigures_.droppedReplies;
            writeFigures_.droppedReplyBytes += data.size();
            if (unloggedDrops_++ == 0) logLine = "Dropping replies to the child: it leaves its input unread";
            unloggedDropBytes_ += data.size();
        } else if (!fits) {
            ++writeFigures_.refusedInputs;
            logLine = "Refused " + std::to_string(data.size()) + " bytes of input: the child leaves " +
                      std::to_string(channel->queuedInputBytes) + " bytes of input unread";
        } else {
            if (isReply) logLine = takeDropSummary();
            id = sendCount_++;
            channel->writes.push_back(
                Channel::PendingWrite{id, std::vector<uint8_t>(data.begin(), data.end()), isReply, 0, paste, whenRead});
            if (insists) channel->insistUpTo = id;
            channel->queuedBytes += data.size();
            if (!isReply) channel->queuedInputBytes += data.size();
            writeFigures_.peakQueuedBytes = std::max(writeFigures_.peakQueuedBytes, channel->queuedBytes);
        }
    }
    if (!logLine.empty()) printLine(logLine);
    if (id < 0) return false;
    if (debugIO_) printLine("[SEND-" + std::to_string(id) + "] Queuing data to client: " + describeBytes(data) + " ");
    channel->wake();
    return true;
}

void LocalProcess::flushWrites(Channel& channel) {
    for (;;) {
        // What the first write waits for is looked up in /proc with the lock let go: keys typed
        // meanwhile are queued at once, however long the look takes.
        int front;
        bool insisted, whenRead;
        {
            std::lock_guard lock(channel.writeMutex);
            channel.waitingForReader = false;
            if (channel.writes.empty()) return;
            const auto& write = channel.writes.front();
            front = write.id;
            insisted = write.id <= channel.insistUpTo;
            whenRead = write.whenRead && write.written == 0 && !insisted;
        }
        const auto waitForReader = [&] {
            std::lock_guard lock(channel.writeMutex);
            channel.waitingForReader = true;
        };
        if (channel.interruptHeard && !insisted && !interruptActedOn(channel)) return waitForReader();
        channel.interruptHeard.reset();
        std::optional<Channel::InterruptHeard> heard;
        if (whenRead) {
            if (!readerReady(channel)) return waitForReader();
            // Looked at before the key goes: the programs may act on it at once.
            if (interruptSignals(channel.masterFd)) heard = channel.interruptGoesTo(shellPid_);
        }
        int id;
        size_t count;
        int error = 0;
        {
            std::lock_guard lock(channel.writeMutex);
            if (channel.writes.empty()) return;
            auto& write = channel.writes.front();
            // Taken back, or insisted on, meanwhile: looked at again.
            if (write.id != front || (write.id <= channel.insistUpTo) != insisted) continue;
            if (whenRead || insisted) channel.readerWaitSince.reset();
            while (write.written < write.bytes.size()) {
                const ssize_t n =
                    ::write(channel.masterFd, write.bytes.data() + write.written, write.bytes.size() - write.written);
                if (n > 0) {
                    // Taking bytes is reading: a child that reads slowly is no stalled one.
                    write.written += static_cast<size_t>(n);
                    channel.blockedSince.reset();
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    if (!channel.blockedSince) channel.blockedSince = Clock::now();
                    return;
                }
                error = n < 0 ? errno : EIO;
                break;
            }
            channel.blockedSince.reset();
            id = write.id;
            count = write.bytes.size();
            channel.popWrite();
            if (heard && error == 0) {
                heard->since = Clock::now();
                channel.interruptHeard = heard;
            }
        }
        total_ += static_cast<int64_t>(count);
        if (debugIO_) printLine("[SEND-" + std::to_string(id) + "] completed bytes=" + std::to_string(total_.load()));
        if (error != 0) printLine("Error writing data to the child, errno=" + std::to_string(error));
    }
}

bool LocalProcess::interruptActedOn(Channel& channel) {
    const Channel::InterruptHeard& heard = *channel.interruptHeard;
    // A program that never acts on it (one that holds the signal blocked) holds nothing for long.
    if (Clock::now() - heard.since >= interruptActLimit) {
        std::lock_guard figuresLock(writeFiguresMutex_);
        ++writeFigures_.interruptWaitsPastLimit;
        return true;
    }
    // Another group has the terminal: the one interrupted ended, or gave it back.
    const auto& foreground = channel.foreground(shellPid_);
    if (foreground.group <= 0 || foreground.group != heard.group) return true;
    for (const auto& [pid, before] : heard.readers) {
        const auto now = PseudoTerminalHelpers::look(pid);
        // Gone, or left the group: it acted.
        if (!now || now->group != heard.group) continue;
        // A signal ignored all along is acted on as it comes. One ignored only now is being
        // handled: a line editor ignores it while it cleans up after it (and would throw away
        // what it read meanwhile).
        if (before.interruptIgnored && now->interruptIgnored) continue;
        // Not taken yet (it holds the signal blocked, or has not run since).
        if (now->interruptPending) return false;
        // Taken, but still in the sleep the signal found it in: a key that reached it now would be
        // read first (a line editor would take it into the line the interrupt is to throw away).
        // It has acted once it went to sleep again, waiting for input.
        if (now->sleeps == before.sleeps) return false;
        if (!PseudoTerminalHelpers::readersWaitForInput(channel.masterFd, foreground.readers)) return false;
    }
    return true;
}

bool LocalProcess::readerReady(Channel& channel) {
    const auto now = Clock::now();
    if (!interruptFlushes(channel.masterFd)) return true;
    // A child that runs, takes its input or writes (a line editor reading the rest of a paste, then
    // drawing it) is slow, not stuck: on a loaded machine that may take seconds, and a key that
    // came meanwhile would find it busy, where a shell's line editor keeps the signal for a read
    // that comes later (and takes the keys after it into the paste). The bound counts from its
    // last sign of life; `readerBusyLimit` holds all of the wait.
    const auto& readers = channel.foreground(shellPid_).readers;
    const auto unread = PseudoTerminalHelpers::unreadInput(channel.masterFd);
    const uint64_t output =
        readBytes_.load() + static_cast<uint64_t>(PseudoTerminalHelpers::availableBytes(channel.masterFd).second);
    const bool running = std::any_of(readers.begin(), readers.end(), [](pid_t reader) {
        const auto look = PseudoTerminalHelpers::look(reader);
        return look && look->state == 'R';
    });
    if (!channel.readerWaitSince) {
        channel.readerWaitSince = channel.readerActiveAt = now;
        channel.readerSeenWaiting = 0;
    } else if (running || (unread && channel.readerUnread && *unread < *channel.readerUnread) || output != channel.readerOutput) {
        channel.readerActiveAt = now;
    }
    channel.readerUnread = unread;
    channel.readerOutput = output;
    if (now - channel.readerActiveAt >= readerWaitLimit || now - *channel.readerWaitSince >= readerBusyLimit) {
        std::lock_guard figuresLock(writeFiguresMutex_);
        ++writeFigures_.readerWaitsPastLimit;
        return true;
    }
    if (!PseudoTerminalHelpers::readersWaitForInput(channel.masterFd, readers, unread)) {
        channel.readerSeenWaiting = 0;
        return false;
    }
    // Twice in a row: what was written last may still be on its way into the child's side.
    return ++channel.readerSeenWaiting >= 2;
}

bool LocalProcess::keysMakeSignals() const {
    const int fd = childfd_;
    return !running_ || fd < 0 || interruptSignals(fd);
}

bool LocalProcess::foregroundRelays() const {
    const int fd = childfd_;
    return running_ && fd >= 0 && PseudoTerminalHelpers::foregroundRelays(fd, shellPid_);
}

LocalProcess::Foreground LocalProcess::foreground() const {
    const int fd = childfd_;
    if (!running_ || fd < 0) return Foreground::child;
    const pid_t group = ::tcgetpgrp(fd);
    if (group <= 0 || group == shellPid_) return Foreground::child;
    termios modes{};
    if (::tcgetattr(fd, &modes) != 0) return Foreground::child;
    return modes.c_lflag & ICANON ? Foreground::lineReader : Foreground::keyReader;
}

int LocalProcess::setWindowSize(const winsize& size) {
    const int fd = childfd_;
    if (!running_ || fd < 0) return -1;
    return PseudoTerminalHelpers::setWinSize(fd, size);
}

namespace {

// Kills a child of ours that outlived its grace, with its process group. Runs on
// the loop that reaps it, so an unreaped child's pid (and group id) cannot have
// been given to another process meanwhile.
void killIfStillThere(pid_t pid) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0) return;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
}

}  // namespace

void LocalProcess::terminate() {
    closeChannel();
    childfd_ = -1;
    // A reaped child's pid may already belong to someone else.
    if (shellPid_ != 0 && childOwned_) {
        const pid_t pid = shellPid_;
        ::kill(pid, SIGTERM);
        dispatchQueue_.postAfter(terminateGrace, [pid] { killIfStillThere(pid); });
    }
    running_ = false;
    letGoOfChild();
}

}  // namespace vantel
