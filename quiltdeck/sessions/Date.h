#pragma once

#include <compare>

namespace quiltdeck {

// A moment as the state document stores it: seconds, with fraction, since
// 2001-01-01 00:00:00 UTC. Kept as that number so that it survives a save and a
// load bit for bit.
struct Date {
    static constexpr double unixSecondsAtReference = 978307200.0;

    double sinceReference = 0;

    static Date now();
    // The moments before and after every other, as the platform's calendar has them.
    static constexpr Date distantPast() { return Date{-63114076800.0}; }
    static constexpr Date distantFuture() { return Date{63113904000.0}; }
    static Date fromUnixSeconds(double seconds) { return Date{seconds - unixSecondsAtReference}; }
    double unixSeconds() const { return sinceReference + unixSecondsAtReference; }

    friend auto operator<=>(const Date&, const Date&) = default;
};

}  // namespace quiltdeck
