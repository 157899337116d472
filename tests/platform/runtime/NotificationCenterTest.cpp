#include "platform/runtime/NotificationCenter.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>

#include "platform/runtime/VirtualMainLoop.h"

namespace platform::runtime {
namespace {

class NotificationCenterTest : public ::testing::Test {
protected:
    VirtualMainLoop loop;
    NotificationCenter center{&loop};
    std::string seen;
    NotificationCenter::Subscription record(const std::string& name, const std::string& tag) {
        return center.subscribe(name, [this, tag](const Notification& n) {
            EXPECT_TRUE(loop.isLoopThread());
            seen += tag;
            if (auto* text = std::any_cast<std::string>(&n.object)) seen += "(" + *text + ")";
            seen += ",";
        });
    }
};

TEST_F(NotificationCenterTest, DeliversOnTheLoopToTheNameInSubscriptionOrder) {
    auto a = record("lang", "a");
    auto other = record("theme", "t");
    auto b = record("lang", "b");
    center.post("lang", std::string("zh"));
    EXPECT_EQ(seen, "");  // never while posting
    loop.runPending();
    EXPECT_EQ(seen, "a(zh),b(zh),");
    std::thread([&] { center.post("theme"); }).join();
    loop.runPending();
    EXPECT_EQ(seen, "a(zh),b(zh),t,");
}

TEST_F(NotificationCenterTest, EndedSubscriptionsAreNotCalled) {
    std::optional<NotificationCenter::Subscription> b;
    auto a = center.subscribe("x", [&](const Notification&) {
        seen += "a,";
        b.reset();  // ends b's subscription before its turn
    });
    b = record("x", "b");
    auto c = record("x", "c");
    center.post("x");
    {
        auto moved = std::move(c);
        auto assigned = record("x", "d");
        assigned = std::move(moved);  // ends d, keeps c
    }
    center.post("x");
    loop.runPending();
    EXPECT_EQ(seen, "a,a,");
    EXPECT_EQ(center.observerCount("x"), 1u);
}

TEST(NotificationCenter, SubscriptionMayOutliveTheCentre) {
    VirtualMainLoop loop;
    NotificationCenter::Subscription kept;
    {
        NotificationCenter center(&loop);
        kept = center.subscribe("x", [](const Notification&) { FAIL(); });
        center.post("x");
    }
    loop.runPending();
    EXPECT_TRUE(kept.active());
    kept.cancel();
    EXPECT_FALSE(kept.active());
}

}  // namespace
}  // namespace platform::runtime
