#pragma once

#include <sys/ioctl.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <span>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace vantel {

class LocalProcess;

// The owner of a local process: told of output and of the exit on the delivery
// loop, and asked for the window size at start.
class LocalProcessDelegate {
public:
    virtual ~LocalProcessDelegate() = default;
    // `exitCode` is the raw wait status, not decoded.
    virtual void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) = 0;
    virtual void dataReceived(std::span<const uint8_t> slice) = 0;
    virtual winsize getWindowSize() = 0;
    // Asked on the program's main loop before each piece of output: a delegate that cannot take
    // more now (its terminal holds its input while slow work goes on) says no, and calls
    // LocalProcess::resumeDelivery once it can. Meanwhile output waits, with back-pressure.
    virtual bool readyForData() { return true; }
};

// One child program on a new pseudo-terminal. An I/O thread reads the master
// without blocking and hands the bytes to the delivery loop. On the program's
// main loop they are queued and delivered in passes of about 4 ms of the loop
// thread's work, shared between the children delivering at the same time (so one
// child's flood delays another's echo by one round at most), a read split into
// pieces of at most about 1 ms of work; a pass ends after 4 ms of real time however
// little it did (the thread preempted), and early when the loop has a timer or a
// frame due. Output that
// arrives within a second of user input, while nothing of this child waits, is
// the echo the user waits for: its pass goes ahead of the other children's (the
// loop's urgent work) and takes the whole slice, with no due work ending it
// early; for that second the other children's passes share a part of the
// loop's time and wait for it. Reading stops while 4 MiB wait and resumes at
// 1 MiB. On any other loop each read
// waits until the delegate has taken it. Writes go out in order on the I/O
// thread, at most 4 MiB of them waiting: past that the engine's replies are
// dropped, and user input has a room of its own. The process is created, driven and destroyed on its
// delivery loop's thread; `send` may be called from any thread.
class LocalProcess {
public:
    static constexpr size_t readSize = 131072;
    // Bytes written to the child that may wait for it to read them, replies and input each.
    static constexpr size_t writeQueueLimit = 4'194'304;
    // A terminal that took none of the writes waiting for this long has a child that reads nothing.
    static constexpr auto stalledTerminal = std::chrono::milliseconds(200);
    // Input this short is a key, queued even past the limit.
    static constexpr size_t largestKeystroke = 256;
    // After terminate(), a child that has not gone is killed with its process group.
    static constexpr auto terminateGrace = std::chrono::seconds(2);
    // Output this soon after user input goes ahead of other children's.
    static constexpr auto interactiveWindow = std::chrono::seconds(1);
    // Meanwhile the passes of the program's other children together take at most this share of
    // its loop's time, so that a flood cannot keep the loop from the echo and its frame.
    static constexpr double backgroundShareWhileTyping = 0.3;

    // Read-side figures, for diagnostics and tests.
    struct DeliveryFigures {
        size_t peakPendingBytes = 0;
        size_t suspensions = 0;
        size_t resumes = 0;
        size_t highestPendingAtResume = 0;
        size_t drainPasses = 0;
        // Passes that went ahead of the loop's queue, and passes put off while another child
        // was typed into.
        size_t urgentPasses = 0;
        size_t postponedPasses = 0;
    };
    // Write-side figures.
    struct WriteFigures {
        size_t queuedBytes = 0;
        size_t peakQueuedBytes = 0;
        size_t droppedReplies = 0;
        size_t droppedReplyBytes = 0;
        size_t refusedInputs = 0;
        // Waits that ran to their bound: for a reader (readerWaitLimit), for an interrupt to be
        // acted on (interruptActLimit).
        size_t readerWaitsPastLimit = 0;
        size_t interruptWaitsPastLimit = 0;
    };

    // A null `dispatchQueue` delivers on the program's main loop. The delegate
    // is not owned; it outlives the process or is cleared first.
    explicit LocalProcess(LocalProcessDelegate* delegate, platform::runtime::MainLoop* dispatchQueue = nullptr);
    ~LocalProcess();
    LocalProcess(const LocalProcess&) = delete;
    LocalProcess& operator=(const LocalProcess&) = delete;

    // Does nothing while a child runs. `execName` is the child's argv[0]
    // (`executable` when absent); no environment means the terminal's default.
    // Failures are silent: nothing starts and nothing is reported.
    void startProcess(const std::string& executable, const std::vector<std::string>& args = {},
                      const std::optional<std::vector<std::string>>& environment = std::nullopt,
                      const std::optional<std::string>& execName = std::nullopt,
                      const std::optional<std::string>& currentDirectory = std::nullopt);
    // User input (keys, pastes) for the child, in call order with replies; ignored
    // unless running. Never dropped: a paste that does not fit beside the input
    // that waits is refused whole, with a log line, and false returned.
    bool send(std::span<const uint8_t> data);
    // Pasted text of the paste `paste` (not 0): sent as input, but takeBackPastes may take back
    // what of it has not been written to the terminal yet.
    bool sendPaste(std::span<const uint8_t> data, uint64_t paste);
    // Input written only once the child has read all the input before it and waits for more (at
    // most `readerWaitLimit` after it was last seen running, reading or writing, `readerBusyLimit`
    // in all), where the terminal turns keys into signals: an interrupt key the terminal takes in
    // discards what the child has not read (the end of a paste it is in), and a shell's line
    // editor hears a signal only while it waits for input. Elsewhere as send.
    // What is sent after it waits, in its turn, until the programs that read the terminal have
    // acted on the signal the key made (taken it and, unless they ignore it, gone back to waiting
    // for input), at most `interruptActLimit`: keys typed straight after the interrupt land where
    // it left the program (a shell's fresh prompt), not in the line it throws away.
    bool sendWhenRead(std::span<const uint8_t> data);
    static constexpr auto readerWaitLimit = std::chrono::seconds(3);
    static constexpr auto readerBusyLimit = std::chrono::seconds(20);
    static constexpr auto interruptActLimit = std::chrono::seconds(1);
    // How long a walk of the terminal's foreground (PseudoTerminalHelpers::foreground) is used
    // while these waits look at its readers every few milliseconds.
    static constexpr auto foregroundLookAge = std::chrono::milliseconds(100);
    // Input the user insists on (an interrupt key while one waits): it and what waits before it
    // go now, whatever they wait for.
    bool sendInsisting(std::span<const uint8_t> data);
    // Takes back every byte of pasted text that waits to be written to the terminal (a write cut
    // short keeps the rest of the character it began), so that what is sent next goes next. When
    // the terminal has taken nothing for `stalledTerminal` (its child reads nothing) and turns an
    // interrupt key into a signal, the input it holds unread is discarded too, as that key would
    // discard it once the terminal took it in: `flushed` says so, and nothing is written of a
    // write the terminal had begun to take. The bytes taken back of each paste.
    std::map<uint64_t, size_t> takeBackPastes(bool* flushed = nullptr);
    // How many bytes of input send() takes now; the limit when no child runs (nothing waits).
    size_t inputRoom();
    // An engine reply for the child: dropped (and counted in the log) while the
    // child leaves more than the limit unread. Returns whether it was queued.
    bool sendReply(std::span<const uint8_t> data);
    // Closes the terminal and sends SIGTERM; no exit report follows. A child still
    // there after `terminateGrace` gets SIGKILL, with its process group.
    void terminate();
    void setHostLogging(std::optional<std::string> directory);
    // TIOCSWINSZ on the running child's terminal; -1 when none runs.
    int setWindowSize(const winsize& size);

    bool running() const { return running_.load(); }
    int childfd() const { return childfd_.load(); }
    pid_t shellPid() const { return shellPid_.load(); }
    // Who reads the terminal's keys, from its foreground group and its mode alone (two calls, no
    // look at the processes): the child started (a shell at its prompt; also when none runs), a
    // program of its that reads whole lines or none (a build, sleep, cat), or one that reads its
    // keys one by one (an editor, a pager, a REPL, a nested shell, a relay).
    enum class Foreground { child, lineReader, keyReader };
    Foreground foreground() const;
    // The child's terminal turns the interrupt key into a signal (its program has not taken its
    // keys raw, as a relay does: sudo's terminal of its own, ssh, tmux). True when no child runs.
    bool keysMakeSignals() const;
    // The terminal's foreground sends its keys on to a terminal where they make signals again (a
    // relay: sudo's own terminal, ssh, tmux, script); false when no child runs.
    bool foregroundRelays() const;
    bool debugIO() const { return debugIO_.load(); }
    void setDebugIO(bool on) { debugIO_.store(on); }
    int sendCount() const { return sendCount_.load(); }
    int64_t total() const { return total_.load(); }
    int64_t totalRead() const { return totalRead_.load(); }
    int logFileCounter() const { return logFileCounter_.load(); }
    void setLogFileCounter(int counter) { logFileCounter_.store(counter); }
    std::optional<std::string> loggingDir() const;
    LocalProcessDelegate* delegate() const { return delegate_; }
    void setDelegate(LocalProcessDelegate* delegate) { delegate_ = delegate; }
    platform::runtime::MainLoop& dispatchQueue() const { return dispatchQueue_; }
    DeliveryFigures deliveryFigures();
    // Output read from the child that the delegate has not had yet (delivery on
    // the program's main loop). With childfd() at -1 as well, the reader has
    // seen the end and everything has been delivered: the exit report can come
    // before that, so an owner that needs the last output waits for it.
    bool hasPendingOutput();
    // The bytes of output the child has written as far as the host can tell: read from its
    // terminal, or waiting there to be read. None while reading is stopped for back-pressure
    // (the terminal may then hold more than it tells).
    std::optional<uint64_t> outputWritten();
    // The bytes of output the delegate has had.
    uint64_t outputDelivered() const { return deliveredBytes_.load(); }
    WriteFigures writeFigures();
    // Delivers again after the delegate said it was not ready; nothing otherwise.
    void resumeDelivery();
    // Told, on the delivery loop, how long each delivery pass took (benchmarks, diagnostics).
    void setDrainPassObserver(std::function<void(std::chrono::nanoseconds)> observer) {
        drainPassObserver_ = std::move(observer);
    }

private:
    struct Channel;
    enum class ReadOutcome { goOn, suspended, ended };

    void readLoop(std::stop_token stop, Channel& channel);
    ReadOutcome readAvailable(std::stop_token stop, Channel& channel, std::vector<uint8_t>& buffer);
    bool childProcessRead(std::stop_token stop, std::span<const uint8_t> data);
    void writeHostLog(const std::vector<uint8_t>& chunk);
    bool queueWrite(std::span<const uint8_t> data, bool isReply, uint64_t paste = 0, bool whenRead = false,
                    bool insists = false);
    // Whether a write that waits for the child's reader may go now; the I/O thread's.
    bool readerReady(Channel& channel);
    // Whether the program an interrupt that waited for its reader went to has acted on it.
    bool interruptActedOn(Channel& channel);
    void noteInput();
    // The log line for the replies dropped since the last one, if any; with writeFiguresMutex_ held.
    std::string takeDropSummary();
    bool enqueueReceivedData(std::vector<uint8_t> chunk);
    void scheduleDrain(bool urgent = false);
    bool interactive() const;
    bool interactiveAt(int64_t lastInputNs) const;
    // Another child of the program's loop is typed into.
    bool typedIntoElsewhere() const;
    // How long a pass waits for the share it may take while another child is typed into.
    std::chrono::nanoseconds waitForShare();
    void drainReceivedData();
    void adaptPieceSize(size_t piece, std::chrono::nanoseconds took);
    void processTerminated(int status);
    void flushWrites(Channel& channel);
    std::shared_ptr<Channel> currentChannel();
    void closeChannel();
    void letGoOfChild();

    static constexpr size_t pendingChunkFlushThreshold = 32;
    static constexpr uint64_t pendingTimeSliceNs = 4'000'000;
    // The least a pass gets however many children deliver at once.
    static constexpr uint64_t smallestSliceNs = 250'000;
    // Processes with a delivery scheduled, on any loop: they split the time slice between them.
    static std::atomic<int> busyDeliveries_;
    static constexpr size_t pendingHighWaterBytes = 4'194'304;
    static constexpr size_t pendingLowWaterBytes = 1'048'576;
    // A delivered piece should take about this much of the loop thread's work (twice it at
    // most before it shrinks). Pieces start at the smallest and grow while they are quick; the
    // largest is kept small too, since a few bytes can cost a lot (a report over
    // a huge screen) after a run of cheap ones.
    static constexpr uint64_t pieceTargetNs = 1'000'000;
    static constexpr size_t smallestPiece = 4;
    static constexpr size_t largestPiece = 16'384;
    static constexpr size_t pieceGrowthLimit = 16;

    LocalProcessDelegate* delegate_;
    platform::runtime::MainLoop& dispatchQueue_;
    const bool usesMainQueue_;
    // Expires when the process goes; work queued for later checks it first.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);

    std::atomic<int> childfd_{-1};
    std::atomic<pid_t> shellPid_{0};
    std::atomic<bool> running_{false};
    // The child is ours and not yet reaped, so its pid may be signalled.
    std::atomic<bool> childOwned_{false};
    std::atomic<bool> debugIO_{false};
    std::atomic<int> sendCount_{0};
    std::atomic<int64_t> total_{0};
    std::atomic<int64_t> totalRead_{0};
    std::atomic<int> logFileCounter_{0};
    // Held while the reader reads and counts, so that what was read and what waits are told together.
    std::mutex readCountMutex_;
    std::atomic<uint64_t> readBytes_{0};
    std::atomic<uint64_t> deliveredBytes_{0};
    mutable std::mutex loggingMutex_;
    std::optional<std::string> loggingDir_;

    std::mutex channelMutex_;
    std::shared_ptr<Channel> channel_;
    std::shared_ptr<platform::runtime::Watch> childMonitor_;

    // Guarded by pendingLock_.
    std::mutex pendingLock_;
    std::vector<std::vector<uint8_t>> pendingChunks_;
    size_t pendingChunkIndex_ = 0;
    bool pendingScheduled_ = false;
    size_t pendingBytes_ = 0;
    bool readSuspendedForBackpressure_ = false;
    DeliveryFigures figures_;

    // The read being delivered, piece by piece; the delivery loop's thread only.
    std::vector<uint8_t> deliveringChunk_;
    size_t deliveredOffset_ = 0;
    size_t pieceBytes_ = smallestPiece;
    // The last pass ended before delivering anything, to let due work run.
    bool passEndedEmpty_ = false;
    // The delegate was not ready: no pass is scheduled until it says so (pendingScheduled_ stays set).
    bool waitingForDelegate_ = false;
    // The pass scheduled goes ahead of the queue (guarded by pendingLock_).
    bool urgentPass_ = false;
    // When user input was last sent, on the delivery loop's clock (ns); 0: never.
    std::atomic<int64_t> lastInputNs_{0};
    // The child of the program's loop that last had user input.
    static std::atomic<const LocalProcess*> typedInto_;
    // Set when typing starts afresh: the share starts again from nothing.
    static std::atomic<bool> typingStarted_;
    // What the other children's passes may still take of the loop while one is typed into (the
    // program's loop's thread only).
    struct TypingShare {
        int64_t creditNs = 0;
        int64_t refilledAtNs = 0;
    };
    static TypingShare typingShare_;
    std::function<void(std::chrono::nanoseconds)> drainPassObserver_;

    std::mutex writeFiguresMutex_;
    WriteFigures writeFigures_;
    // Replies dropped since the last log line about them (guarded by writeFiguresMutex_).
    size_t unloggedDrops_ = 0;
    size_t unloggedDropBytes_ = 0;
};

}  // namespace vantel
