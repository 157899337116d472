#pragma once

// The process-wide caches' counters, printed at the end of a benchmark run.
#include <cstdio>

#include "platform/gfx/FallbackFontCache.h"
#include "platform/gfx/GlyphCache.h"
#include "vantel/view/CustomGlyphCache.h"
#include "vantel/view/ShapedLineCache.h"
#include "vantel/view/ShapedRowCache.h"
#include "vantel/view/TerminalBidi.h"

inline void printCacheLine(const char* name, size_t entries, const platform::gfx::CacheCounters& c) {
    const uint64_t asked = c.hits + c.misses;
    std::printf("  %-22s %7zu entries   hits %10llu   misses %8llu   evictions %8llu   hit rate %5.1f %%\n", name,
                entries, static_cast<unsigned long long>(c.hits), static_cast<unsigned long long>(c.misses),
                static_cast<unsigned long long>(c.evictions), asked ? 100.0 * c.hits / asked : 0.0);
}

inline void printCacheCounters() {
    std::printf("caches\n");
    auto& glyphs = platform::gfx::GlyphCache::shared();
    printCacheLine("glyphs", glyphs.count(), glyphs.counters());
    auto& masks = vantel::CustomGlyphCache::shared();
    printCacheLine("box and block masks", masks.count(), masks.counters());
    auto& lines = vantel::ShapedLineCache::shared();
    printCacheLine("shaped short runs", lines.count(), lines.counters());
    auto& rows = vantel::ShapedRowCache::shared();
    printCacheLine("shaped rows", rows.count(), rows.counters());
    auto& fallbacks = platform::gfx::FallbackFontCache::shared();
    printCacheLine("fallback fonts", fallbacks.count(), fallbacks.counters());
    const vantel::TerminalBidi::CacheStatistics bidi = vantel::TerminalBidi::cacheStatistics();
    printCacheLine("bidi paragraphs", bidi.paragraphEntries, bidi.paragraph);
    printCacheLine("bidi contents", bidi.contentEntries, bidi.content);
}
