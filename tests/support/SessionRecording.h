#pragma once

// A recording of what a tile's session sees, as JSON lines: a header, then
// one record per event with its time in seconds since the start:
//   {"recording":1,"cols":120,"rows":38,"tile":"…","cwd":"…"}
//   {"t":0.105,"out":"…"}          output chunk ("out64": Base64 when not UTF-8)
//   {"t":1.2,"in":"hi\r"}           the user's input ("in64" likewise)
//   {"t":1.25,"hook":"Stop","body":{…}}
//   {"t":9.5,"exit":0}              the raw wait status
//   {"t":3.0,"resize":[50,7]}       the terminal's new columns and rows
//   {"t":2.0,"expect":"busy","finished":false}   what the tile should show then
//   {"t":3.0,"expect":"idle","tool":""}           ... with the tool's label too
// Expectations are written by hand (or by the test that made the recording).

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantel/core/Base64.h"
#include "vantel/core/Character.h"

namespace quiltdeck::testing {

struct SessionRecord {
    enum class Kind { output, input, hook, exit, expect, resize };
    double t = 0;
    Kind kind = Kind::output;
    std::vector<uint8_t> bytes;     // output, input
    std::string event;              // hook; expect: the status
    nlohmann::json body;            // hook
    int status = 0;                 // exit
    int cols = 0, rows = 0;         // resize
    std::optional<bool> finished;   // expect
    std::optional<std::string> tool;  // expect
};

struct SessionRecording {
    int cols = 120;
    int rows = 38;
    std::string tile;
    std::string cwd;
    std::vector<SessionRecord> records;
};

inline nlohmann::json recordBytes(const char* key, std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (vantel::isValidUtf8(text)) return {{key, text}};
    return {{std::string(key) + "64", vantel::Base64::encode(bytes)}};
}

// One record; nothing for a kind it does not know.
inline std::optional<SessionRecord> recordFrom(const nlohmann::json& record) {
    SessionRecord entry;
    entry.t = record.value("t", 0.0);
    auto bytesOf = [&](const char* key) {
        if (record.contains(key)) {
            const std::string text = record[key];
            return std::vector<uint8_t>(text.begin(), text.end());
        }
        return vantel::Base64::decode(record.value(std::string(key) + "64", "")).bytes;
    };
    if (record.contains("out") || record.contains("out64")) {
        entry.kind = SessionRecord::Kind::output;
        entry.bytes = bytesOf("out");
    } else if (record.contains("in") || record.contains("in64")) {
        entry.kind = SessionRecord::Kind::input;
        entry.bytes = bytesOf("in");
    } else if (record.contains("hook")) {
        entry.kind = SessionRecord::Kind::hook;
        entry.event = record["hook"];
        entry.body = record.value("body", nlohmann::json::object());
    } else if (record.contains("exit")) {
        entry.kind = SessionRecord::Kind::exit;
        entry.status = record["exit"];
    } else if (record.contains("resize")) {
        entry.kind = SessionRecord::Kind::resize;
        entry.cols = record["resize"].at(0).get<int>();
        entry.rows = record["resize"].at(1).get<int>();
    } else if (record.contains("expect")) {
        entry.kind = SessionRecord::Kind::expect;
        entry.event = record["expect"];
        if (record.contains("finished")) entry.finished = record["finished"].get<bool>();
        if (record.contains("tool")) entry.tool = record["tool"].get<std::string>();
    } else {
        return std::nullopt;
    }
    return entry;
}

inline std::optional<SessionRecording> readSessionRecording(const std::string& path, std::string* error = nullptr) {
    std::ifstream file(path);
    if (!file) {
        if (error) *error = "cannot open " + path;
        return std::nullopt;
    }
    SessionRecording recording;
    size_t lineNumber = 0;
    for (std::string line; std::getline(file, line);) {
        ++lineNumber;
        if (line.empty()) continue;
        const auto record = nlohmann::json::parse(line, nullptr, false);
        if (!record.is_object()) {
            if (error) *error = "line " + std::to_string(lineNumber) + " is not a JSON object";
            return std::nullopt;
        }
        if (record.contains("recording")) {
            recording.cols = record.value("cols", 120);
            recording.rows = record.value("rows", 38);
            recording.tile = record.value("tile", "");
            recording.cwd = record.value("cwd", "");
            continue;
        }
        try {
            if (auto entry = recordFrom(record)) recording.records.push_back(std::move(*entry));
        } catch (const nlohmann::json::exception& e) {
            if (error) *error = "line " + std::to_string(lineNumber) + ": " + e.what();
            return std::nullopt;
        }
    }
    std::stable_sort(recording.records.begin(), recording.records.end(),
                     [](const auto& a, const auto& b) { return a.t < b.t; });
    return recording;
}

}  // namespace quiltdeck::testing
