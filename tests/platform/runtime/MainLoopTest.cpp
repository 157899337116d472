#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/GLibMainLoop.h"
#include "platform/runtime/VirtualMainLoop.h"

namespace platform::runtime {
namespace {

using namespace std::chrono_literals;
constexpr auto patience = std::chrono::seconds(30);

// Moves time forward on either loop: by hand on the virtual one, by waiting on GLib.
void letTimePass(VirtualMainLoop& loop, Duration d) { loop.advance(d); }
void letTimePass(GLibMainLoop& loop, Duration d) {
    loop.runUntil([] { return false; }, d);
}
// Time spent inside work: skipped on the virtual clock, slept through on GLib.
void spendTime(VirtualMainLoop& loop, Duration d) { loop.skipTime(d); }
void spendTime(GLibMainLoop&, Duration d) { std::this_thread::sleep_for(d); }
bool runTimersUntil(VirtualMainLoop& loop, const std::function<bool()>& done) {
    for (int step = 0; step < 100000 && !done(); ++step) loop.advance(1ms);
    return done();
}
bool runTimersUntil(GLibMainLoop& loop, const std::function<bool()>& done) { return loop.runUntil(done, patience); }

// Work set up on a fresh loop, and the order its marks must come in.
template <class Loop>
struct OrderCase {
    const char* name;
    std::function<void(Loop&, std::string&)> setUp;
    std::string expected;
};

template <class Loop, size_t N>
void expectOrders(const OrderCase<Loop> (&cases)[N]) {
    for (const OrderCase<Loop>& c : cases) {
        Loop loop;
        std::string order;
        c.setUp(loop, order);
        EXPECT_TRUE(runTimersUntil(loop, [&] { return order.size() == c.expected.size(); })) << c.name;
        EXPECT_EQ(order, c.expected) << c.name;
    }
}

template <class Loop>
class MainLoopTest : public ::testing::Test {
protected:
    Loop loop;
};

using Loops = ::testing::Types<GLibMainLoop, VirtualMainLoop>;
TYPED_TEST_SUITE(MainLoopTest, Loops);

TYPED_TEST(MainLoopTest, PostsFromManyThreadsRunInOrderPerThread) {
    constexpr int threads = 4, perThread = 500;
    std::vector<std::vector<int>> seen(threads);
    std::atomic<int> done{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                this->loop.post([&, t, i] {
                    EXPECT_TRUE(this->loop.isLoopThread());
                    seen[t].push_back(i);
                    ++done;
                });
            }
        });
    }
    EXPECT_TRUE(this->loop.runUntil([&] { return done == threads * perThread; }, patience));
    for (auto& poster : posters) poster.join();
    for (auto& list : seen) {
        ASSERT_EQ(list.size(), size_t(perThread));
        for (int i = 0; i < perThread; ++i) EXPECT_EQ(list[i], i);
    }
}

TYPED_TEST(MainLoopTest, DelayedWorkRunsByDueTimeThenPostOrder) {
    std::string order;
    // Due times from one reading of the clock: a thread preempted between two posts must not
    // reorder them. The plain work is queued first: queued after a timer came due, it would
    // rightly follow it, and a preempted thread could let one come due.
    this->loop.post([&] { order += "now,"; });
    const TimePoint start = this->loop.now();
    auto at = [&](Duration delay, std::function<void()> work) {
        auto item = std::make_shared<WorkItem>(std::move(work));
        this->loop.postAt(start + delay, item);
        return item;
    };
    at(3ms, [&] { order += "c"; });
    at(1ms, [&] { order += "a"; });
    auto cancelled = at(2ms, [&] { order += "x"; });
    at(2ms, [&] { order += "b1"; });
    at(2ms, [&] { order += "b2"; });
    cancelled->cancel();
    letTimePass(this->loop, 50ms);
    EXPECT_EQ(order, "now,ab1b2c");
}

// A due timer goes before work queued after it came due, and waits for the task in progress
// only, not for the rest of the batch; one armed by its own run waits for the next task.
TYPED_TEST(MainLoopTest, ADueTimerWaitsForTheTaskInProgressOnly) {
    using Case = OrderCase<TypeParam>;
    auto timer = [](TypeParam& loop, Duration delay, std::string& order, std::string mark) {
        loop.postAt(loop.now() + delay, std::make_shared<WorkItem>([&order, mark] { order += mark; }));
    };
    const Case cases[] = {
        {"due during a task",
         [&](TypeParam& loop, std::string& order) {
             loop.post([&] {
                 order += "a";
                 timer(loop, 2ms, order, "T");
                 spendTime(loop, 5ms);
                 loop.post([&] { order += "c"; });
             });
             loop.post([&] { order += "b"; });
         },
         "aTbc"},
        {"due before the work was queued",
         [&](TypeParam& loop, std::string& order) {
             timer(loop, 1ms, order, "T");
             spendTime(loop, 3ms);
             loop.post([&] { order += "a"; });
         },
         "Ta"},
        {"re-armed by its own run",
         [&](TypeParam& loop, std::string& order) {
             loop.post([&] {
                 order += "a";
                 loop.postAt(loop.now(), std::make_shared<WorkItem>([&] {
                     order += "T";
                     timer(loop, -1us, order, "R");
                 }));
                 spendTime(loop, 1ms);
             });
             loop.post([&] { order += "b"; });
             loop.post([&] { order += "c"; });
         },
         "aTbRc"},
    };
    expectOrders<TypeParam>(cases);
}

// Urgent work (the echo of a key) waits for the task in progress only: it goes before the rest
// of the queue and before timers that came due meanwhile, in the order it was posted.
TYPED_TEST(MainLoopTest, UrgentWorkWaitsForTheTaskInProgressOnly) {
    using Case = OrderCase<TypeParam>;
    auto mark = [](std::string& order, std::string text) { return [&order, text] { order += text; }; };
    const Case cases[] = {
        {"posted during a task",
         [&](TypeParam& loop, std::string& order) {
             loop.post([&] {
                 order += "a";
                 loop.postUrgent(mark(order, "U"));
             });
             loop.post(mark(order, "b"));
         },
         "aUb"},
        {"before a timer that came due meanwhile",
         [&](TypeParam& loop, std::string& order) {
             loop.post([&] {
                 order += "a";
                 loop.postAt(loop.now() + 1ms, std::make_shared<WorkItem>(mark(order, "T")));
                 spendTime(loop, 3ms);
                 loop.postUrgent(mark(order, "U"));
             });
             loop.post(mark(order, "b"));
         },
         "aUTb"},
        {"several, and what they post urgently",
         [&](TypeParam& loop, std::string& order) {
             loop.post([&] {
                 order += "a";
                 loop.postUrgent([&] {
                     order += "U";
                     loop.postUrgent(mark(order, "W"));
                     loop.post(mark(order, "c"));
                 });
                 loop.postUrgent(mark(order, "V"));
             });
             loop.post(mark(order, "b"));
         },
         "aUVWbc"},
        {"while the loop waits",
         [&](TypeParam& loop, std::string& order) { loop.postUrgent(mark(order, "U")); },
         "U"},
        {"after a timer's run",
         [&](TypeParam& loop, std::string& order) {
             loop.postAt(loop.now() + 1ms, std::make_shared<WorkItem>([&] {
                 order += "T";
                 loop.postAt(loop.now(), std::make_shared<WorkItem>(mark(order, "R")));
                 loop.postUrgent(mark(order, "U"));
             }));
         },
         "TUR"},
    };
    expectOrders<TypeParam>(cases);
}

TYPED_TEST(MainLoopTest, LongWorkIsToldToYieldWhileUrgentWorkWaits) {
    std::vector<bool> answers;
    this->loop.post([&] {
        answers.push_back(this->loop.shouldYield());
        this->loop.postUrgent([&] { answers.push_back(this->loop.shouldYield()); });
        answers.push_back(this->loop.shouldYield());
    });
    EXPECT_TRUE(this->loop.runUntil([&] { return answers.size() == 3; }, patience));
    EXPECT_EQ(answers, (std::vector<bool>{false, true, false}));
}

// Work posting more work, urgent or not, at random (a fixed seed per round), against a model:
// urgent work first in its own order, then the queue in its order.
TYPED_TEST(MainLoopTest, UrgentAndQueuedWorkFollowTheModel) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        uint32_t state = seed;
        auto next = [&state](uint32_t n) {
            state = state * 1664525u + 1013904223u;
            return (state >> 16) % n;
        };
        // Each task's children, decided up front: (urgent?, id).
        std::vector<std::vector<std::pair<bool, int>>> children(1);
        for (size_t task = 0; task < children.size() && children.size() < 300; ++task) {
            const uint32_t count = next(4);
            for (uint32_t k = 0; k < count; ++k) {
                children[task].emplace_back(next(3) == 0, static_cast<int>(children.size()));
                children.emplace_back();
            }
        }
        std::deque<int> urgent, queued{0};
        std::vector<int> expected;
        while (!urgent.empty() || !queued.empty()) {
            auto& from = urgent.empty() ? queued : urgent;
            const int task = from.front();
            from.pop_front();
            expected.push_back(task);
            for (const auto& [isUrgent, child] : children[static_cast<size_t>(task)]) {
                (isUrgent ? urgent : queued).push_back(child);
            }
        }
        std::vector<int> seen;
        std::function<void(int)> run = [&](int task) {
            seen.push_back(task);
            for (const auto& [isUrgent, child] : children[static_cast<size_t>(task)]) {
                if (isUrgent) this->loop.postUrgent([&run, child] { run(child); });
                else this->loop.post([&run, child] { run(child); });
            }
        };
        this->loop.post([&] { run(0); });
        EXPECT_TRUE(this->loop.runUntil([&] { return seen.size() == children.size(); }, patience));
        EXPECT_EQ(seen, expected) << "seed " << seed;
    }
}

TYPED_TEST(MainLoopTest, RepeatingTimerRunsUntilCancelledFromInside) {
    int ticks = 0;
    std::shared_ptr<WorkItem> timer;
    timer = this->loop.scheduleRepeating(2ms, [&] {
        if (++ticks == 3) timer->cancel();
    });
    EXPECT_TRUE(runTimersUntil(this->loop, [&] { return ticks == 3; }));
    letTimePass(this->loop, 20ms);
    EXPECT_EQ(ticks, 3);
}

TYPED_TEST(MainLoopTest, ThrowingWorkDoesNotStopTheLoop) {
    bool after = false;
    this->loop.post([] { throw std::runtime_error("boom"); });
    this->loop.post([&] { after = true; });
    EXPECT_TRUE(this->loop.runUntil([&] { return after; }, patience));
}

TYPED_TEST(MainLoopTest, SyncFromAWorkerRunsOnTheLoopAndWaits) {
    std::atomic<bool> ranOnLoop{false}, returned{false}, result{false};
    std::thread worker([&] {
        result = this->loop.sync([&] { ranOnLoop = this->loop.isLoopThread(); });
        returned = true;
    });
    EXPECT_TRUE(this->loop.runUntil([&] { return returned.load(); }, patience));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ranOnLoop);
    // On the loop's own thread the work runs at once.
    bool inline_ = false;
    EXPECT_TRUE(this->loop.sync([&] { inline_ = true; }));
    EXPECT_TRUE(inline_);
}

TYPED_TEST(MainLoopTest, SyncGivesUpWhenStoppedAndTheWorkNeverRuns) {
    std::stop_source stop;
    std::atomic<bool> ran{false}, result{true};
    std::thread worker([&] { result = this->loop.sync([&] { ran = true; }, stop.get_token()); });
    // The loop is not run while the worker waits.
    std::this_thread::sleep_for(20ms);
    stop.request_stop();
    worker.join();
    EXPECT_FALSE(result);
    this->loop.runUntil([] { return false; }, 20ms);
    EXPECT_FALSE(ran);
}

TYPED_TEST(MainLoopTest, DescriptorWatchReportsReadinessUntilCancelled) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0;
    std::shared_ptr<Watch> watch;
    watch = this->loop.watchDescriptor(fds[0], IoEvent::readable, [&](IoEvents events) {
        EXPECT_TRUE(events & IoEvent::readable);
        char byte;
        EXPECT_EQ(::read(fds[0], &byte, 1), 1);
        if (++calls == 2) watch->cancel();
    });
    ASSERT_EQ(::write(fds[1], "ab", 2), 2);
    EXPECT_TRUE(this->loop.runUntil([&] { return calls == 2; }, patience));
    ASSERT_EQ(::write(fds[1], "c", 1), 1);
    this->loop.runUntil([] { return false; }, 20ms);
    EXPECT_EQ(calls, 2);
    ::close(fds[0]);
    ::close(fds[1]);
}

TYPED_TEST(MainLoopTest, ChildWatchReportsTheRawStatusAndReapsOnlyThatChild) {
    struct Case {
        int exitCode;
        int rawStatus;
    };
    for (const Case& c : {Case{0, 0}, Case{3, 768}, Case{127, 32512}}) {
        const pid_t watched = ::fork();
        if (watched == 0) ::_exit(c.exitCode);
        const pid_t bystander = ::fork();
        if (bystander == 0) ::_exit(9);
        std::optional<int> status;
        auto watch = this->loop.watchChild(watched, [&](int raw) { status = raw; });
        EXPECT_TRUE(this->loop.runUntil([&] { return status.has_value(); }, patience));
        EXPECT_EQ(status, c.rawStatus);
        int other = 0;
        EXPECT_EQ(::waitpid(bystander, &other, 0), bystander) << "someone else's child was reaped";
        EXPECT_EQ(WEXITSTATUS(other), 9);
    }
}

TYPED_TEST(MainLoopTest, ReapWhenExitedLeavesNoZombie) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[1]);
        char byte;
        [[maybe_unused]] auto n = ::read(fds[0], &byte, 1);
        ::_exit(0);
    }
    this->loop.reapWhenExited(child);
    EXPECT_EQ(this->loop.pendingReapCount(), 1u);
    ::close(fds[1]);  // lets the child end
    EXPECT_TRUE(this->loop.runUntil([&] { return this->loop.pendingReapCount() == 0; }, patience));
    EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    ::close(fds[0]);
}

TEST(VirtualMainLoopTest, TimersRunAtTheirOwnDueTimeAndSkippedTimeRunsNothing) {
    VirtualMainLoop loop;
    const TimePoint start = loop.now();
    std::vector<Duration> firedAt;
    auto timer = loop.scheduleRepeating(100ms, [&] { firedAt.push_back(loop.now() - start); });
    loop.skipTime(250ms);
    EXPECT_TRUE(firedAt.empty());
    // The late tick runs once as soon as the loop is free; the missed ones are dropped.
    loop.advance(1ms);
    loop.advance(200ms);
    EXPECT_EQ(firedAt, (std::vector<Duration>{250ms, 350ms, 450ms}));
    timer->cancel();
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST(VirtualMainLoopTest, RunPendingStopsWorkThatKeepsPostingItself) {
    VirtualMainLoop loop;
    size_t runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.post(again);
    };
    loop.post(again);
    EXPECT_EQ(loop.runPending(50), 50u);
    EXPECT_EQ(runs, 50u);
}

TEST(GLibMainLoopTest, DelayedWorkWaitsAtLeastItsDelay) {
    GLibMainLoop loop;
    const TimePoint start = Clock::now();
    TimePoint ranAt;
    loop.postAfter(30ms, [&] { ranAt = Clock::now(); });
    EXPECT_TRUE(loop.runUntil([&] { return ranAt != TimePoint(); }, patience));
    EXPECT_GE(ranAt - start, 30ms);
}

// The work clock counts the thread's own work: a wait (a preempted thread's) is left out, but for
// the little counted between two readings of the processor time, and it never goes back.
TEST(GLibMainLoopTest, WorkTimeLeavesOutWaitsAndNeverGoesBack) {
    GLibMainLoop loop;
    const Duration before = loop.workTime();
    std::this_thread::sleep_for(30ms);
    EXPECT_LT(loop.workTime() - before, 5ms);
    Duration last = loop.workTime();
    bool backwards = false;
    for (const TimePoint until = Clock::now() + 5ms; Clock::now() < until;) {
        const Duration work = loop.workTime();
        backwards = backwards || work < last;
        last = work;
    }
    EXPECT_FALSE(backwards);
    EXPECT_GT(last, before);
}

TEST(GLibMainLoopTest, ATimerDueDuringLongWorkRunsBeforeTheRestOfTheBatch) {
    GLibMainLoop loop;
    std::vector<std::string> order;
    loop.post([&] {
        order.push_back("long");
        // Armed here, so it is due during this task whenever the batch began.
        const TimePoint due = Clock::now() + 5ms;
        loop.postAt(due, std::make_shared<WorkItem>([&] { order.push_back("timer"); }));
        std::this_thread::sleep_until(due + 10ms);
    });
    loop.post([&] { order.push_back("next"); });
    loop.post([&] {
        order.push_back("last");
        // Due at once but posted from inside the batch: it waits for the next task or batch.
        loop.postAfter(0ms, [&] { order.push_back("re-armed"); });
    });
    EXPECT_TRUE(loop.runUntil([&] { return order.size() == 5; }, patience));
    EXPECT_EQ(order, (std::vector<std::string>{"long", "timer", "next", "last", "re-armed"}));
}

// A timer already due when the loop woke still runs before a later one that came due while the
// first one worked.
TEST(GLibMainLoopTest, TimersDueTogetherKeepTheirOrderWhenALaterOneComesDueMeanwhile) {
    GLibMainLoop loop;
    std::string order;
    const TimePoint start = Clock::now();
    loop.postAt(start, std::make_shared<WorkItem>([&] {
        order += "a";
        std::this_thread::sleep_until(start + 80ms);
    }));
    loop.postAt(start, std::make_shared<WorkItem>([&] { order += "b"; }));
    loop.postAt(start + 60ms, std::make_shared<WorkItem>([&] { order += "c"; }));
    EXPECT_TRUE(loop.runUntil([&] { return order.size() == 3; }, patience));
    EXPECT_EQ(order, "abc");
}

TEST(VirtualMainLoopTest, TimersDueTogetherLetTheFirstOnesWorkGoFirst) {
    VirtualMainLoop loop;
    std::string order;
    const TimePoint due = loop.now() + 5ms;
    loop.postAt(due, std::make_shared<WorkItem>([&] {
        order += "1";
        loop.post([&] { order += "a"; });
        loop.post([&] { order += "b"; });
    }));
    loop.postAt(due, std::make_shared<WorkItem>([&] { order += "2"; }));
    loop.advance(10ms);
    EXPECT_EQ(order, "1ab2");
}

// Long work asks whether to stop early: a due timer, or a GLib source above the queue that is
// ready (a frame, input), but not one below it.
TEST(GLibMainLoopTest, ShouldYieldForADueTimerOrAReadySourceAboveTheQueue) {
    struct Case {
        const char* name;
        std::optional<Duration> timerIn;
        std::optional<int> sourcePriority;
        bool expected;
        // The work runs in a turn the queue took ahead of a slow frame due every time.
        bool passedOver = false;
    };
    const Case cases[] = {
        {"nothing waits", std::nullopt, std::nullopt, false},
        {"a timer not due yet", 1s, std::nullopt, false},
        {"a due timer", 0ms, std::nullopt, true},
        {"input", std::nullopt, G_PRIORITY_DEFAULT, true},
        {"a frame", std::nullopt, GLibMainLoop::queuePriority - 1, true},
        {"idle work", std::nullopt, G_PRIORITY_DEFAULT_IDLE, false},
        {"frames, in a turn taken ahead of them", std::nullopt, GLibMainLoop::queuePriority - 1, false, true},
        {"input, in such a turn", std::nullopt, G_PRIORITY_DEFAULT, true, true},
        {"a due timer, in such a turn", 0ms, std::nullopt, true, true},
    };
    for (const Case& c : cases) {
        GLibMainLoop loop;
        std::optional<bool> answer;
        GSource* slowFrame = nullptr;
        if (c.passedOver) {
            slowFrame = g_idle_source_new();
            g_source_set_priority(slowFrame, GLibMainLoop::queuePriority - 1);
            g_source_set_callback(
                slowFrame,
                [](gpointer) -> gboolean {
                    std::this_thread::sleep_for(GLibMainLoop::passedOverLimit + 4ms);
                    return G_SOURCE_CONTINUE;
                },
                nullptr, nullptr);
            g_source_attach(slowFrame, loop.context());
        }
        loop.post([&] {
            EXPECT_EQ(loop.passedOverTurns(), c.passedOver ? 1u : 0u) << c.name;
            std::shared_ptr<WorkItem> timer;
            if (c.timerIn) timer = loop.postAfter(*c.timerIn, [] {});
            GSource* source = nullptr;
            if (c.sourcePriority) {
                source = g_idle_source_new();
                g_source_set_priority(source, *c.sourcePriority);
                g_source_set_callback(source, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
                g_source_attach(source, loop.context());
            }
            answer = loop.shouldYield();
            if (timer) timer->cancel();
            if (source) {
                g_source_destroy(source);
                g_source_unref(source);
            }
        });
        if (slowFrame) {
            // Not runUntil: its own timer would come due while the frame is drawn.
            for (int round = 0; round < 100 && !answer; ++round) g_main_context_iteration(loop.context(), TRUE);
        }
        EXPECT_TRUE(loop.runUntil([&] { return answer.has_value(); }, patience)) << c.name;
        EXPECT_EQ(answer, c.expected) << c.name;
        if (slowFrame) {
            g_source_destroy(slowFrame);
            g_source_unref(slowFrame);
        }
    }
}

// GLib runs only the most urgent ready sources. A source above the queue that is ready every
// time the loop comes round (a frame slower than the frame clock's interval, a stream of events)
// still leaves posted work and timers a turn about every frame's time; and work that never stops
// coming leaves a source above its turn whenever it is due. Counted in runs of each side.
TEST(GLibMainLoopTest, NeitherTheQueueNorTheSourcesAboveItKeepTheOtherWaiting) {
    struct Case {
        const char* name;
        int abovePriority;
        Duration aboveEvery;  // 0: ready every time the loop comes round
        Duration aboveCost;   // each of its runs
        Duration workCost;    // each run of work that posts itself again
        int aboveRuns;        // the case ends after this many runs of the source above
        int leastWorkRuns, leastTimerRuns, mostWorkRuns;
    };
    constexpr int any = INT_MAX;
    const int passedOverMs = static_cast<int>(GLibMainLoop::passedOverLimit / 1ms);
    const Case cases[] = {
        // Each frame outlasts the limit: the queue gets the turn after every one.
        {"a frame slower than a frame's time", GLibMainLoop::queuePriority - 1, 0ms, 20ms, 0ms, 15, 13, 13, any},
        // Frames of 2 ms: a turn after the limit's worth of them, at the latest.
        {"a quick frame due every time", GLibMainLoop::queuePriority - 1, 0ms, 2ms, 0ms, 200,
         200 / (passedOverMs / 2 + 1) - 2, 200 / (passedOverMs / 2 + 1) - 2, any},
        {"events at the priority of input", G_PRIORITY_DEFAULT, 0ms, 20ms, 0ms, 15, 13, 13, any},
        {"the toolkit's idle work", G_PRIORITY_HIGH_IDLE, 0ms, 20ms, 0ms, 15, 13, 13, any},
        // A frame due 4 ms after the last beside work of 1 ms a run: each frame waits for the run
        // in progress at most, so that at most 4 + 1 runs (and one more for the clock's grain)
        // come between two frames.
        {"a flood of work beside frames", GLibMainLoop::queuePriority - 1, 4ms, 0ms, 1ms, 50, 0, 0, 50 * 6},
    };
    for (const Case& c : cases) {
        GLibMainLoop loop;
        int aboveRuns = 0, workRuns = 0, timerRuns = 0;
        struct Above {
            Duration cost;
            int* runs;
        } above{c.aboveCost, &aboveRuns};
        GSource* source = c.aboveEvery > 0ms ? g_timeout_source_new(static_cast<guint>(c.aboveEvery / 1ms)) : g_idle_source_new();
        g_source_set_priority(source, c.abovePriority);
        g_source_set_callback(
            source,
            [](gpointer data) -> gboolean {
                auto* a = static_cast<Above*>(data);
                std::this_thread::sleep_for(a->cost);
                ++*a->runs;
                return G_SOURCE_CONTINUE;
            },
            &above, nullptr);
        bool going = true;
        std::function<void()> work = [&] {
            if (!going) return;
            ++workRuns;
            std::this_thread::sleep_for(c.workCost);
            loop.post(work);
        };
        loop.post(work);
        auto timer = loop.scheduleRepeating(1ms, [&] { ++timerRuns; });
        g_source_attach(source, loop.context());
        EXPECT_TRUE(loop.runUntil([&] { return aboveRuns >= c.aboveRuns; }, patience)) << c.name;
        going = false;
        timer->cancel();
        g_source_destroy(source);
        g_source_unref(source);
        EXPECT_GE(workRuns, c.leastWorkRuns) << c.name;
        EXPECT_GE(timerRuns, c.leastTimerRuns) << c.name;
        EXPECT_LE(workRuns, c.mostWorkRuns) << c.name;
    }
}

TEST(GLibMainLoopTest, RunReturnsAfterQuitFromAnotherThread) {
    GLibMainLoop loop;
    std::thread quitter([&] {
        loop.post([] {});
        loop.quit();
    });
    loop.run();
    quitter.join();
}

TEST(VirtualMainLoopTest, SyncWaiterIsReleasedWhenTheLoopGoesAwayUnrun) {
    auto loop = std::make_unique<VirtualMainLoop>();
    std::atomic<bool> returned{false}, result{true}, ran{false};
    std::thread worker([&] {
        result = loop->sync([&] { ran = true; });
        returned = true;
    });
    while (loop->queuedWorkCount() == 0) std::this_thread::sleep_for(1ms);
    loop.reset();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace platform::runtime
