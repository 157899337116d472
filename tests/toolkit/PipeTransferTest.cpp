// A read through a pipe, as a Wayland offer's is read: owners on a thread of their own write into
// the end they were handed the way programs do, plainly, on the loop's virtual clock for the step
// limit. A read keeps to its reader's read-ahead, and the wait for room is not the owner's.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/gtk/PipeTransfer.h"

namespace {

using namespace std::chrono_literals;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::Pasteboard;
using platform::ui::gtk::PipeTransfer;
using Outcome = PipeTransfer::Outcome;

constexpr auto stepLimit = std::chrono::seconds(PipeTransfer::stepLimitSeconds);

std::string textOf(size_t bytes) {
    std::string text;
    for (int line = 0; text.size() < bytes; ++line) text += "line " + std::to_string(line) + "\n";
    text.resize(bytes);
    return text;
}

// How an owner writes its text into the end it was handed.
enum class Writes {
    oneCall,      // one write() of the whole text, then closes, whatever that call wrote
    untilEagain,  // write() until the text is out or a call fails, then closes
    thenHold,     // all of it, then keeps the pipe open without another word
    endless,      // the text over and over until the pipe is closed
};

class Owner {
public:
    Owner(int fd, Writes writes, std::string text) : fd_(fd), text_(std::move(text)), thread_([this, writes] { run(writes); }) {}
    ~Owner() {
        release();
        thread_.join();
    }
    size_t written() const { return written_; }
    bool failed() const { return failed_; }
    // An owner that holds its end closes it.
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    void run(Writes writes) {
        if (writes == Writes::oneCall) {
            const ssize_t count = ::write(fd_, text_.data(), text_.size());
            if (count > 0) written_ += static_cast<size_t>(count);
        } else {
            do {
                for (size_t at = 0; at < text_.size();) {
                    const ssize_t count = ::write(fd_, text_.data() + at, text_.size() - at);
                    if (count <= 0) {
                        failed_ = true;
                        break;
                    }
                    at += static_cast<size_t>(count);
                    written_ += static_cast<size_t>(count);
                }
            } while (writes == Writes::endless && !failed_);
        }
        if (writes == Writes::thenHold) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return released_; });
        }
        ::close(fd_);
    }

    int fd_;
    std::string text_;
    std::atomic<size_t> written_{0};
    std::atomic<bool> failed_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
    std::thread thread_;
};

// A read under way: what came, and how it ended.
struct Read {
    std::string came;
    int pieces = 0;
    std::optional<PipeTransfer::End> end;
    std::string type;
    Pasteboard::CancelRead cancel;

    Read(int fd, size_t limit, std::shared_ptr<Pasteboard::ReadAhead> ahead = nullptr) {
        cancel = PipeTransfer::start(fd, "text/plain;charset=utf-8", limit,
                                     {[this, ahead](std::string piece) {
                                          came += piece;
                                          ++pieces;
                                          if (ahead) ahead->setHeld(ahead->held() + piece.size());
                                      },
                                      [this](PipeTransfer::End how) { end = how; },
                                      [this](std::string told) { type = told; },
                                      ahead});
    }
};

class PipeTransferTest : public ::testing::Test {
protected:
    void SetUp() override { ::signal(SIGPIPE, SIG_IGN); }
    // Runs the loop until `done`, which comes.
    void runUntil(const std::function<bool()>& done) { loop.runUntil(done, 30s); }
    // Runs the loop a while for what should not come (an owner that waits, or holds).
    void runAWhile() { loop.runUntil([] { return false; }, 200ms); }

    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
};

TEST_F(PipeTransferTest, EndsAsTheOwnerWrote) {
    struct Row {
        const char* name;
        Writes writes;
        size_t bytes;
        size_t limit;
        Outcome outcome;
        size_t came;
    };
    const size_t plain = 4'587'520;
    const Row rows[] = {
        {"one write() of 4.5 MB on the end it was handed", Writes::oneCall, plain, 1u << 30, Outcome::whole, plain},
        {"write() until the first EAGAIN, which never comes", Writes::untilEagain, plain, 1u << 30, Outcome::whole, plain},
        {"a text that ends at the limit", Writes::untilEagain, 100'000, 100'000, Outcome::whole, 100'000},
        {"a text past the limit, cut there", Writes::untilEagain, plain, 100'000, Outcome::tooLarge, 100'000},
        {"an endless text, cut at the limit", Writes::endless, 70'000, 1'000'000, Outcome::tooLarge, 1'000'000},
        {"nothing, and the pipe closed", Writes::untilEagain, 0, 1u << 30, Outcome::whole, 0},
        {"nothing, and the pipe held open", Writes::thenHold, 0, 1u << 30, Outcome::noAnswer, 0},
        {"a part, and the pipe held open", Writes::thenHold, 1000, 1u << 30, Outcome::stopped, 1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto pipe = PipeTransfer::open();
        ASSERT_TRUE(pipe);
        const std::string text = textOf(row.bytes);
        Owner owner(pipe->theirs, row.writes, text);
        Read read(pipe->ours, row.limit);
        const bool holds = row.writes == Writes::thenHold;
        runUntil([&] { return holds ? read.came.size() == row.came : read.end.has_value(); });
        if (holds) {
            runAWhile();
            EXPECT_FALSE(read.end);
            loop.advance(stepLimit);
        }
        ASSERT_TRUE(read.end);
        EXPECT_EQ(read.end->outcome, row.outcome);
        EXPECT_EQ(read.came.size(), row.came);
        std::string expected;
        while (expected.size() < row.came) expected += text;
        EXPECT_TRUE(read.came == expected.substr(0, row.came));
        if (row.came > 0) {
            EXPECT_EQ(read.type, "text/plain;charset=utf-8");
        }
        // Cut: the pipe is closed, and the owner's next write fails.
        if (row.outcome == Outcome::tooLarge) {
            owner.release();
            loop.runUntil([&] { return owner.failed(); }, 30s);
            EXPECT_TRUE(owner.failed());
        }
    }
}

// A reader that holds all it may: the pipe is not read, so the owner waits in its write; the wait
// is not the owner's, however long; room made goes on at once, and the owner's clock with it.
TEST_F(PipeTransferTest, ReadsNoFurtherAheadThanItsReader) {
    const auto pipe = PipeTransfer::open();
    ASSERT_TRUE(pipe);
    const size_t aheadBytes = size_t{256} << 10;
    const size_t pipeBytes = static_cast<size_t>(::fcntl(pipe->ours, F_GETPIPE_SZ));
    const std::string text = textOf(size_t{4} << 20);
    Owner owner(pipe->theirs, Writes::thenHold, text);
    auto ahead = std::make_shared<Pasteboard::ReadAhead>(aheadBytes);
    Read read(pipe->ours, 1u << 30, ahead);
    runUntil([&] { return ahead->full(); });
    ASSERT_TRUE(ahead->full());
    runAWhile();
    const size_t held = read.came.size();
    EXPECT_LT(held, aheadBytes + PipeTransfer::partBytes);
    EXPECT_LE(owner.written(), held + pipeBytes);

    loop.advance(6 * stepLimit);
    runAWhile();
    EXPECT_FALSE(read.end);
    EXPECT_EQ(read.came.size(), held);

    // The child takes all but a little: the read goes on until the reader is full again.
    ahead->setHeld(aheadBytes / 4);
    runUntil([&] { return ahead->full(); });
    EXPECT_TRUE(ahead->full());
    EXPECT_GT(read.came.size(), held);
    // A child that takes everything as it comes: the rest arrives, then the owner holds its end
    // and its clock runs again.
    runUntil([&] {
        ahead->setHeld(0);
        return read.came.size() == text.size();
    });
    EXPECT_TRUE(read.came == text);
    EXPECT_FALSE(read.end);
    loop.advance(stepLimit);
    ASSERT_TRUE(read.end);
    EXPECT_EQ(read.end->outcome, Outcome::stopped);
}

TEST_F(PipeTransferTest, ALetGoReadClosesThePipe) {
    const auto pipe = PipeTransfer::open();
    ASSERT_TRUE(pipe);
    Owner owner(pipe->theirs, Writes::endless, textOf(10'000));
    Read read(pipe->ours, 1u << 30);
    runUntil([&] { return read.pieces >= 3; });
    ASSERT_GE(read.pieces, 3);
    read.cancel();
    const int pieces = read.pieces;
    loop.runUntil([&] { return owner.failed(); }, 30s);
    EXPECT_TRUE(owner.failed());
    loop.advance(2 * stepLimit);
    EXPECT_EQ(read.pieces, pieces);
    EXPECT_FALSE(read.end);
    // Once over, letting it go does nothing.
    read.cancel();
}

}  // namespace
