#pragma once

// Internal states the engine should never reach, whatever the input. They are counted, never
// printed, so a program cannot flood the host's output or slow the engine through them.
// Checked builds (debug, and the sanitizer build, which defines VANTEL_CHECKS) also stop at
// the assertions below.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if !defined(NDEBUG) && !defined(VANTEL_CHECKS)
#define VANTEL_CHECKS 1
#endif

#if defined(VANTEL_CHECKS)
#define VANTEL_ASSERT(condition)                                                                    \
    do {                                                                                            \
        if (!(condition)) ::vantel::assertionFailed(#condition, __FILE__, __LINE__);                \
    } while (false)
#else
#define VANTEL_ASSERT(condition) \
    do {                         \
    } while (false)
#endif

namespace vantel {

enum class Inconsistency : uint8_t {
    cellIndexOutOfRange,      // a write past the end of a line, repaired by writing the last cell
    ringShiftRefused,         // the ring refused to shift lines it does not hold
    scrollRegionOutsideRing,  // a scroll or reverse index found its region past the ring
    scrollShiftRefused,       // the ring refused the shift of a scroll or reverse index
    bufferScrollMissing,      // a buffer wrapped at its region's bottom with no terminal to scroll it
    count,
};

// Counts one occurrence.
void noteInconsistency(Inconsistency kind);
// How many there were in this process so far.
uint64_t inconsistencies(Inconsistency kind);

[[noreturn]] void assertionFailed(const char* condition, const char* file, int line);

}  // namespace vantel
