#include "quiltdeck/sessions/HookServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <random>
#include <thread>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/HookBody.h"
#include "quiltdeck/sessions/HookTexts.h"
#include "quiltdeck/sessions/PeerOwner.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "support/FakeClaudeHome.h"
#include "support/TestHookOwner.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::runtime::VirtualMainLoop;

const std::string ok =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
const std::string tooLarge = "HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
const std::string forbidden = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
const std::string get = "GET /hook/T1/Stop HTTP/1.1\r\n\r\n";
const std::string outOfRange =
    "HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\nContent-Length: 48\r\nConnection: close\r\n\r\n"
    "{\"error\":\"a number in the body is out of range\"}";

sockaddr_in loopbackPort(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackPort(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Everything the server sends until it closes; "" when it closes at once,
// and "(still open)" after what was sent when it does not close in time.
std::string answerOf(int fd, int waitMs = 10000) {
    std::string answer;
    char chunk[65536];
    for (pollfd entry{fd, POLLIN, 0};;) {
        if (::poll(&entry, 1, waitMs) <= 0) return answer + "(still open)";
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) return answer;
        answer.append(chunk, static_cast<size_t>(n));
    }
}

// True when the server neither sends nor closes for `waitMs`.
bool silentFor(int fd, int waitMs) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, waitMs) == 0;
}

// The real lookup, counting its calls; the calls named in `script` (from 1)
// get the scripted result instead.
HookServer::PeerLookup countingLookup(std::atomic<size_t>& accepted, std::map<size_t, PeerOwner::Result> script = {}) {
    return [&accepted, script = std::move(script), owners = std::shared_ptr<PeerOwner>()](
               const sockaddr_in& peer, const sockaddr_in& local, PeerOwner::Clock::time_point at) mutable {
        const size_t call = ++accepted;
        if (auto scripted = script.find(call); scripted != script.end()) return scripted->second;
        if (!owners) owners = std::make_shared<PeerOwner>(local);  // the listener's address
        return owners->check(peer, local, at);
    };
}

// Sends the pieces with a pause between them, so that each arrives on its
// own, then (when `finish`) ends the sending side.
std::string exchange(uint16_t port, const std::vector<std::string>& pieces, bool finish = false) {
    const int fd = connectTo(port);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(20ms);
        for (size_t sent = 0; sent < pieces[i].size();) {
            const ssize_t n = ::send(fd, pieces[i].data() + sent, pieces[i].size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    }
    if (finish) ::shutdown(fd, SHUT_WR);
    std::string answer = answerOf(fd);
    ::close(fd);
    return answer;
}

std::string replaced(std::string text, std::string_view from, std::string_view to) {
    for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
    return text;
}

using Clock = std::chrono::steady_clock;

// A request sent whole and its answer, given up at `limit` as curl's own
// time limit would; "" then.
std::string postWithin(uint16_t port, const std::string& request, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    auto left = [&] { return static_cast<int>(std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count())); };
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackPort(port);
    std::string answer;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EINPROGRESS) {
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, left()) == 1 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char chunk[4096];
            for (entry = {fd, POLLIN, 0}; ::poll(&entry, 1, left()) == 1;) {
                const ssize_t n = ::read(fd, chunk, sizeof chunk);
                if (n <= 0) break;
                answer.append(chunk, static_cast<size_t>(n));
            }
        }
    }
    ::close(fd);
    return Clock::now() < deadline ? answer : std::string();
}

// Runs `body` in a forked child that acts as user nobody, its descriptor limit raised first, and
// returns once the child calls `ready`. The child's status is 0 when it could become nobody. The
// test must be root.
pid_t asNobody(const std::function<void(const std::function<void()>& ready)>& body) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit descriptors{20000, 20000};
        if (::setrlimit(RLIMIT_NOFILE, &descriptors) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        body([&] { (void)!::write(ready[1], "r", 1); });
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte;
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
    return child;
}

// The child's status; a child still running 30 s on is killed, so a hang fails the test instead
// of holding the run.
int waitFor(pid_t child) {
    int status = -1;
    for (const auto end = Clock::now() + 30s; Clock::now() < end; std::this_thread::sleep_for(10ms)) {
        if (::waitpid(child, &status, WNOHANG) == child) return status;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
}

std::string repeated(std::string_view text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// Checked against the JSON library: what a body keeps parses as the body does, each string the
// body's or its head (at least a sixth of the limit, a character's worth when escapes are all it
// holds), wherever the pieces it came in end.
TEST(HookBody, KeepsEachStringsHeadAsTheParserReadsIt) {
    using nlohmann::json;
    std::mt19937 random(7513);
    const std::string_view pieces[] = {"a", " ", "\u00e9", "\u20ac", "\xF0\x9F\x98\x80", "\\n", "\\\"", "\\\\",
                                       "\\u00e9", "\\u0001", "\\ud83d\\ude00", "\\/"};
    const auto text = [&](size_t bytes) {
        std::string out;
        while (out.size() < bytes) out += pieces[random() % std::size(pieces)];
        return out;
    };
    // Each string of the kept document is its own, or the head of its own.
    std::function<void(const json&, const json&)> same = [&](const json& body, const json& kept) {
        ASSERT_EQ(kept.type(), body.type());
        if (body.is_string()) {
            const auto& whole = body.get_ref<const std::string&>();
            const auto& head = kept.get_ref<const std::string&>();
            EXPECT_EQ(whole.substr(0, head.size()), head);
            if (head.size() < whole.size()) {
                EXPECT_GE(head.size(), HookBody::stringLimit / 6);
            }
        } else if (body.is_structured()) {
            ASSERT_EQ(kept.size(), body.size());
            for (auto b = body.begin(), k = kept.begin(); b != body.end(); ++b, ++k) {
                if (body.is_object()) {
                    EXPECT_EQ(k.key(), b.key());
                }
                same(*b, *k);
            }
        } else {
            EXPECT_EQ(kept, body);
        }
    };
    for (int round = 0; round < 40; ++round) {
        std::string body = R"({"hook_event_name":"UserPromptSubmit","tool_input":{"command":")" + text(random() % 300'000) +
                           R"(","n":[1,-2.5e3,true,null]},"prompt":")" + text(random() % 300'000) + R"(","k":[")" +
                           text(random() % 70'000) + R"(",")" + text(random() % 10) + R"("]})";
        const json parsed = json::parse(body, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << round;
        std::optional<std::string> first;
        for (const size_t most : {size_t{1} << 20, size_t{7}, size_t{1}}) {
            // Strings alone are cut here.
            HookBody kept({HookBody::stringLimit, SIZE_MAX, SIZE_MAX});
            for (size_t at = 0; at < body.size();) {
                const size_t n = 1 + random() % most;
                kept.append(std::string_view(body).substr(at, n));
                at += n;
            }
            if (!first) first = kept.kept();
            EXPECT_EQ(kept.kept(), *first) << round << " in pieces of at most " << most;
        }
        const json cut = json::parse(*first, nullptr, false);
        ASSERT_FALSE(cut.is_discarded()) << round;
        same(parsed, cut);
        EXPECT_LE(first->size(), 3 * (HookBody::stringLimit + 12) + 200);
    }
}

// Items and members past their shares go whole, with their commas, wherever the pieces end.
TEST(HookBody, KeepsTheFirstItemsAndTheMembersTheTileReads) {
    struct Case {
        const char* name;
        HookBody::Limits limits;
        std::string body, kept;
    };
    const Case cases[] = {
        {"an array's first items", {1000, 20, 1000}, R"({"a":["xxxxxxxx","yyyyyyyy","zzzzzzzz"],"b":1})",
         R"({"a":["xxxxxxxx","yyyyyyyy"],"b":1})"},
        {"an object's first members", {1000, 20, 1000}, R"({"t":{"p":"1234567890","q":"1234567890","r":{"s":[1]}}})",
         R"({"t":{"p":"1234567890"}})"},
        {"what goes may hold brackets, quotes and escapes", {1000, 20, 1000},
         R"({"a":["12345678901234567890","[\"}],\\",{"b":"]","c":[[{}]]}],"prompt":"p"})",
         R"({"a":["12345678901234567890"],"prompt":"p"})"},
        {"nothing of a share used up", {1000, 0, 1000}, R"({"a":[1,2],"b":{"c":3},"d":[]})", R"({"a":[],"b":{},"d":[]})"},
        // Past the event's share, what the tile reads stays, each once.
        {"the members read", {1000, 1000, 40},
         R"({"junk1":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa","junk2":"b","prompt":"hi","prompt":"again",)"
         R"("tool_input":{"command":"ls"},"x":[1,2],"session_id":"s","promptx":1,"prom\u0070t":2})",
         R"({"junk1":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa","prompt":"hi","tool_input":{"command":"ls"},"session_id":"s"})"},
        {"the first member past the event's share", {1000, 1000, 0}, R"({"x":{"y":[1]},"session_id":"s","z":"t"})",
         R"({"session_id":"s"})"},
        {"a read member keeps its share", {1000, 20, 0}, R"({"tool_input":{"command":"ls -la /tmp/somewhere","x":1}})",
         R"({"tool_input":{"command":"ls -la /tmp/somewhere"}})"},
        // Blanks before items go; the rest of what is sent stays as it came.
        {"blanks", {1000, 1000, 1000}, "{ \"a\" : [ 1 , 2 ] ,\n\"b\":\ttrue }", "{\"a\" : [1 ,2 ] ,\"b\":\ttrue }"},
        {"no JSON stays no JSON", {1000, 1000, 1000}, "[1,,2,] x, {,}", "[1,,2,] x, {,}"},
        {"no JSON past a share", {1000, 8, 1000}, R"({"a":[1,2,3,4,,]})", R"({"a":[1,2,]})"},
        // Past the tool input's share, what its label reads stays, each once; nowhere else.
        {"the tool input's members read", {1000, 30, 1000},
         R"({"tool_input":{"old_string":"aaaaaaaaaa","new_string":"b","file_path":"late.ts","x":{"command":"no"},)"
         R"("command":"c","file_path":"again","description":"d","pattern":"p"},"other":{"aaaaaaaaaaaaaaaaaaaaaaaaa":1,"file_path":"f"}})",
         R"({"tool_input":{"old_string":"aaaaaaaaaa","file_path":"late.ts","command":"c","description":"d","pattern":"p"},)"
         R"("other":{"aaaaaaaaaaaaaaaaaaaaaaaaa":1}})"},
        {"the tool input read past the event's share", {1000, 10, 0},
         R"({"x":1,"tool_input":{"old_string":"aaaaaaaaaa","file_path":"late.ts"}})", R"({"tool_input":{"file_path":"late.ts"}})"},
        // A part too deep for the parse goes alone: the brackets kept close as they came.
        {"nested too deep", {1000, SIZE_MAX, 1000},
         R"({"a":)" + std::string(300, '[') + "1" + std::string(300, ']') + R"(,"b":[2]})",
         R"({"a":)" + std::string(HookBody::depthLimit - 1, '[') + std::string(HookBody::depthLimit - 1, ']') + R"(,"b":[2]})"},
        // A string cut within its limit, never inside a character or an escaped pair: the character
        // the limit falls in goes, and so does a high surrogate whose low half it would cut off.
        {"a cut after a lone high surrogate", {10, SIZE_MAX, SIZE_MAX}, R"({"s":"aaaa\ud800\ud83d\ude00bb"})",
         R"({"s":"aaaa"})"},
        {"a cut inside the pair after it", {16, SIZE_MAX, SIZE_MAX}, R"({"s":"aaaa\ud800\ud83d\ude00bb"})",
         R"({"s":"aaaa\ud800"})"},
        {"a pair that runs past the limit", {20, SIZE_MAX, SIZE_MAX}, R"({"s":"aaaa\ud800\ud83d\ude00bb"})",
         R"({"s":"aaaa\ud800"})"},
        {"an escape that runs past the limit", {6, SIZE_MAX, SIZE_MAX}, R"({"s":"aaaa\u00e9bb"})", R"({"s":"aaaa"})"},
        {"a character that runs past the limit", {5, SIZE_MAX, SIZE_MAX}, "{\"s\":\"aaaa\u20ACbb\"}", R"({"s":"aaaa"})"},
        {"a pair ending at the limit", {22, SIZE_MAX, SIZE_MAX}, R"({"s":"aaaa\ud800\ud83d\ude00bb"})",
         R"({"s":"aaaa\ud800\ud83d\ude00"})"},
        // The string's last character runs past the limit: nothing follows to cut it at.
        {"a last character past the limit", {5, SIZE_MAX, SIZE_MAX}, "{\"s\":\"aaaa\u20AC\"}", R"({"s":"aaaa"})"},
        {"a last escape past the limit", {6, SIZE_MAX, SIZE_MAX}, R"({"s":"aaaa\u00e9","t":1})", R"({"s":"aaaa","t":1})"},
        {"a last pair past the limit", {10, SIZE_MAX, SIZE_MAX}, R"({"s":"aaaa\ud83d\ude00"})", R"({"s":"aaaa"})"},
        {"a last character at the limit", {7, SIZE_MAX, SIZE_MAX}, "{\"s\":\"aaaa\u20AC\"}", "{\"s\":\"aaaa\u20AC\"}"},
        // An object's member whose value is too deep goes with its key; its object stays.
        {"objects nested too deep", {1000, SIZE_MAX, SIZE_MAX},
         R"({"a":)" + repeated(R"({"q":)", 300) + "1" + std::string(300, '}') + R"(,"b":[2]})",
         R"({"a":)" + repeated(R"({"q":)", HookBody::depthLimit - 2) + "{}" + std::string(HookBody::depthLimit - 2, '}') +
             R"(,"b":[2]})"},
        {"a member too deep after others", {1000, SIZE_MAX, SIZE_MAX},
         R"({"a":)" + repeated(R"({"k":1,"q":)", 300) + "1" + std::string(300, '}') + "}",
         R"({"a":)" + repeated(R"({"k":1,"q":)", HookBody::depthLimit - 2) + R"({"k":1})" +
             std::string(HookBody::depthLimit - 2, '}') + "}"},
        {"arrays and objects nested too deep", {1000, SIZE_MAX, SIZE_MAX},
         R"({"a":)" + repeated(R"([{"q":)", 200) + "1" + repeated("}]", 200) + R"(,"b":[2]})",
         R"({"a":)" + repeated(R"([{"q":)", HookBody::depthLimit / 2 - 1) + "[]" +
             repeated("}]", HookBody::depthLimit / 2 - 1) + R"(,"b":[2]})"},
    };
    for (const Case& c : cases) {
        for (const size_t piece : {c.body.size(), size_t{1}, size_t{3}}) {
            HookBody body(c.limits);
            for (size_t at = 0; at < c.body.size(); at += piece) body.append(std::string_view(c.body).substr(at, piece));
            EXPECT_EQ(body.kept(), c.kept) << c.name << " in pieces of " << piece;
        }
    }
}

// Checked against the JSON library on random documents: what is kept parses, holds each
// container's first items and members in order (a top-level object's members read by the tile
// among them), and stays within the bound, whatever the size sent.
TEST(HookBody, KeepsAPrefixOfEveryContainerWithinItsBound) {
    using Json = nlohmann::ordered_json;
    // A new key at the end, without the search for it an ordered object's [] makes (thousands of
    // members would cost their square).
    const auto addMember = [](Json& object, std::string key, Json item) {
        object.get_ref<Json::object_t&>().emplace_back(std::move(key), std::move(item));
    };
    std::mt19937 random(2718);
    std::function<Json(int)> value = [&](int depth) -> Json {
        const unsigned pick = random() % (depth > 4 ? 4 : 7);
        if (pick == 0) return Json(static_cast<int>(random() % 1000));
        if (pick == 1) return Json(std::string(random() % 300, 'a' + static_cast<char>(random() % 26)));
        if (pick == 2) return Json(random() % 2 == 0);
        if (pick == 3) return Json(nullptr);
        const size_t count = depth <= 1 && random() % 8 == 0 ? random() % 3000 : random() % 6;
        Json container = pick % 2 ? Json::array() : Json::object();
        for (size_t i = 0; i < count; ++i) {
            if (container.is_array()) container.push_back(value(depth + 1));
            else addMember(container, "k" + std::to_string(i), value(depth + 1));
        }
        return container;
    };
    // `kept` holds the first of `body`'s items or members, each kept alike; `top` allows a top-level
    // object to leave out members between those it keeps.
    std::function<void(const Json&, const Json&, bool)> prefix = [&](const Json& body, const Json& kept, bool top) {
        ASSERT_EQ(kept.is_object(), body.is_object());
        ASSERT_EQ(kept.is_array(), body.is_array());
        if (!body.is_structured()) {
            EXPECT_EQ(kept, body);
            return;
        }
        ASSERT_LE(kept.size(), body.size());
        auto b = body.begin();
        for (auto k = kept.begin(); k != kept.end(); ++k, ++b) {
            if (body.is_object()) {
                while (top && b != body.end() && b.key() != k.key()) ++b;
                ASSERT_NE(b, body.end());
                EXPECT_EQ(k.key(), b.key());
            }
            prefix(*b, *k, false);
        }
    };
    const std::string_view read[] = {"session_id", "prompt", "tool_name", "tool_input", "notification_type"};
    for (int round = 0; round < 60; ++round) {
        Json body = Json::object();
        const size_t members = random() % 4 == 0 ? 20000 : random() % 30;
        for (size_t i = 0; i < members; ++i) addMember(body, "m" + std::to_string(i), value(members > 100 ? 5 : 1));
        for (const auto name : read) {
            if (random() % 2) body[std::string(name)] = value(1);
        }
        body["z"] = value(1);
        const std::string text = body.dump();
        HookBody kept;
        for (size_t at = 0; at < text.size();) {
            const size_t n = 1 + random() % 100'000;
            kept.append(std::string_view(text).substr(at, n));
            at += n;
        }
        SCOPED_TRACE(round);
        EXPECT_LE(kept.kept().size(), HookBody::keptBound);
        const Json cut = Json::parse(kept.kept(), nullptr, false);
        ASSERT_TRUE(cut.is_object()) << kept.kept().substr(0, 200);
        prefix(body, cut, true);
        for (const auto name : read) EXPECT_EQ(cut.contains(name), body.contains(name)) << name;
        EXPECT_EQ(kept.dropped() == 0, cut == body);
    }
}

class HookServerTest : public ::testing::Test {
protected:
    std::string logged() { return testing::logContents().substr(logStart); }

    size_t logStart = testing::logContents().size();
    testing::TempFolder folder;
    Store store{folder.path()};
    VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    std::shared_ptr<testing::TestHookOwner> owner =
        testing::TestHookOwner::make({0, 0, &loop, {}}, {&Date::now, &loop, &store});
};

struct RequestCase {
    const char* name;
    std::vector<std::string> pieces;  // "{port}" stands for the server's port
    std::string answer;
    std::vector<std::string> events;  // of tile T1
    std::string log = {};
    bool finish = false;
    friend void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }
};

class HookServerRequest : public HookServerTest, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(HookServerRequest, AnswersAndRoutes) {
    const RequestCase& c = GetParam();
    owner->browserLabels["d<&>\"'123456"] = "<b>Work & Play</b>";
    owner->open("T1", folder.path());
    const std::string port = std::to_string(owner->server.port());
    std::vector<std::string> pieces;
    for (const auto& piece : c.pieces) pieces.push_back(replaced(piece, "{port}", port));
    EXPECT_EQ(exchange(owner->server.port(), pieces, c.finish), c.answer);
    loop.runPending();
    EXPECT_EQ(owner->tiles[0].events, c.events);
    if (!c.log.empty()) {
        EXPECT_NE(logged().find(c.log), std::string::npos) << logged();
    }
}

std::string posted(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string million = "{\"title\":\"" + std::string(1'000'000 - 12, 'x') + "\"}";


// A hook event's body as sent, and the event as the tile gets it: the prompt's head.
std::string promptBody(const std::string& prompt) {
    return R"({"session_id":"s1","hook_event_name":"UserPromptSubmit","prompt":")" + prompt + R"("})";
}
std::string promptEvent(const std::string& prompt) {
    return "hook UserPromptSubmit " +
           nlohmann::json{{"session_id", "s1"}, {"hook_event_name", "UserPromptSubmit"}, {"prompt", prompt}}.dump();
}
// A file search's PostToolUse with `paths` paths, as sent, and as the tile gets it: the paths
// that fit in a member's share.
std::string searchBody(size_t paths) {
    std::string list;
    for (size_t i = 0; i < paths; ++i) list += (i ? ",\"" : "\"") + std::string("src/module") + std::to_string(i) + "/file.ts\"";
    return R"({"session_id":"s1","hook_event_name":"PostToolUse","tool_name":"Glob","tool_input":{"pattern":"**/*.ts"},)"
           R"("tool_response":{"filenames":[)" + list + R"(],"numFiles":)" + std::to_string(paths) + "}}";
}
std::string searchEvent(size_t paths) {
    nlohmann::json kept = nlohmann::json::parse(searchBody(paths));
    auto& filenames = kept["tool_response"]["filenames"];
    // Items are kept while the member's kept form is under its share.
    size_t keptItems = 0;
    for (size_t size = std::string(R"("tool_response":{"filenames":[)").size(); size < HookBody::memberLimit; ++keptItems)
        size += filenames[keptItems].get_ref<const std::string&>().size() + 2 + (keptItems ? 1 : 0);
    filenames.erase(filenames.begin() + static_cast<std::ptrdiff_t>(keptItems), filenames.end());
    kept["tool_response"].erase("numFiles");
    return "hook PostToolUse " + kept.dump();
}

// An edit of a long text: the file's path comes after the old and new strings, past the tool
// input's share; and an event with a part nested a thousand levels deep, as the event and as the
// tile gets it (that part to the depth kept).
std::string editBody() {
    return R"({"session_id":"s1","hook_event_name":"PreToolUse","tool_name":"Edit","tool_input":{"old_string":")" +
           std::string(100'000, 'a') + R"(","new_string":")" + std::string(100'000, 'b') + R"(","file_path":"src/late_path.ts"}})";
}
std::string editEvent() {
    return "hook PreToolUse " + nlohmann::json{{"session_id", "s1"},
                                               {"hook_event_name", "PreToolUse"},
                                               {"tool_name", "Edit"},
                                               {"tool_input",
                                                {{"old_string", std::string(HookBody::stringLimit, 'a')},
                                                 {"file_path", "src/late_path.ts"}}}}
                                    .dump();
}
// `objects` objects nested in each other's "a", 1 in the innermost.
std::string objectChain(size_t objects) { return repeated(R"({"a":)", objects) + "1" + std::string(objects, '}'); }
// The same as the event keeps it when it starts at `depth` (the value of a top-level member at 2):
// the member that would open a level past the limit goes, its object left empty.
nlohmann::json keptChain(size_t objects, size_t depth) {
    const size_t kept = std::min(objects, HookBody::depthLimit - depth + 1);
    nlohmann::json chain = kept == objects ? nlohmann::json{{"a", 1}} : nlohmann::json::object();
    for (size_t i = 1; i < kept; ++i) chain = nlohmann::json{{"a", std::move(chain)}};
    return chain;
}
// A tool's event with a chain of objects in its input, in its response or beside them, and the
// event as the tile gets it: the session and the file's path kept whatever the depth.
std::pair<std::string, std::string> deepEvent(const std::string& where, size_t objects) {
    const std::string chain = objectChain(objects);
    const std::string body = R"({"session_id":"s1","hook_event_name":"PostToolUse","tool_name":"Edit",)" +
                             (where == "beside" ? R"("x":)" + chain + "," : std::string()) + R"("tool_input":{)" +
                             (where == "input" ? R"("q":)" + chain + "," : std::string()) +
                             R"("file_path":"src/deep.ts"},"tool_response":{"q":)" +
                             (where == "response" ? chain : std::string("1")) + "}}";
    nlohmann::json event = {{"session_id", "s1"},
                            {"hook_event_name", "PostToolUse"},
                            {"tool_name", "Edit"},
                            {"tool_input", {{"file_path", "src/deep.ts"}}},
                            {"tool_response", {{"q", 1}}}};
    if (where == "beside") event["x"] = keptChain(objects, 2);
    if (where == "input") event["tool_input"]["q"] = keptChain(objects, 3);
    if (where == "response") event["tool_response"]["q"] = keptChain(objects, 3);
    return {body, "hook PostToolUse " + event.dump()};
}
RequestCase deepCase(const char* name, const std::string& where, size_t objects) {
    const auto [body, event] = deepEvent(where, objects);
    return RequestCase{name, {posted("/hook/T1/PostToolUse", body)}, ok, {event}};
}
std::string nestedBody(size_t depth) {
    return R"({"session_id":"s1","hook_event_name":"PreToolUse","x":)" + std::string(depth, '[') + std::string(depth, ']') +
           R"(,"tool_name":"Bash","tool_input":{"command":"ls"}})";
}

const std::string page =
    "<!doctype html><meta charset=\"utf-8\"><title>no browser</title>\n<body style=\"margin:0;height:100vh;"
    "display:grid;place-content:center;text-align:center;background:#298558;color:#fff;font:600 16px system-ui\">\n"
    "<div style=\"font-size:12vw;line-height:1.1\">no browser</div>\n<div style=\"opacity:.7;margin-top:18px\">this is "
    "this browser &middot; /identif</div>\n<div style=\"opacity:.7;margin-top:6px\">give it a name in Quiltdeck</div>";
const std::string card = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                         std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
const std::string gone =
    "{\"error\":\"no tile GONE. Use the tile id from your system prompt; an id from earlier in the conversation may "
    "be stale.\"}";
const std::string escapedGone = replaced(gone, "GONE", "G\\\"\\u0001\\\\");

INSTANTIATE_TEST_SUITE_P(
    Cases, HookServerRequest,
    ::testing::Values(
        RequestCase{"SplitHead", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Le", "ngth: 7\r\n\r", "\n{\"a\"", ":1}"}, ok,
                    {"hook Stop {\"a\":1}"}},
        RequestCase{"UpperCaseNameAndSpaces", {"POST /hook/T1/Stop HTTP/1.1\r\nCONTENT-LENGTH:   12\r\n\r\n{\"n\":123456}"}, ok,
                    {"hook Stop {\"n\":123456}"}},
        RequestCase{"LengthAbcIsZero", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: abc\r\n\r\n{\"a\":1}"}, ok, {"hook Stop {}"}},
        RequestCase{"LengthMinusFiveIsZero", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: -5\r\n\r\n{}"}, ok, {"hook Stop {}"}},
        RequestCase{"MillionAndOneRefusedAtTheHead", {"POST /rename/T1 HTTP/1.1\r\nContent-Length: 1000001\r\n\r\n"}, tooLarge, {}},
        RequestCase{"LengthBeyondSixtyFourBits", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: 18446744073709551616\r\n\r\n"},
                    tooLarge, {}},
        RequestCase{"MillionAccepted", {"POST /rename/T1 HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n" + million}, ok,
                    {"rename " + std::string(1'000'000 - 12, 'x')}},
        // A hook event's strings are cut as they come, so it may send far more: a pasted prompt of
        // megabytes arrives as its head, within the limit, cut where a character or a surrogate pair starts.
        RequestCase{"HookPastItsLimitRefusedAtTheHead", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: 268435457\r\n\r\n"},
                    tooLarge, {}, "hook server: refused a request past its size limit (413)"},
        RequestCase{"FiveMegabytePromptKeepsItsHead", {posted("/hook/T1/UserPromptSubmit", promptBody(repeated("\u20AC", 5'000'000 / 3)))},
                    ok, {promptEvent(repeated("\u20AC", 65536 / 3))}},
        RequestCase{"EscapedPairsAreKeptWhole",
                    {posted("/hook/T1/UserPromptSubmit", promptBody(repeated("\\ud83d\\ude00", 100'000)))}, ok,
                    {promptEvent(repeated("\U0001F600", 65536 / 12))}},
        RequestCase{"EscapesAreKeptWhole", {posted("/hook/T1/UserPromptSubmit", promptBody("ab" + repeated("\\u00e9", 20'000)))},
                    ok, {promptEvent("ab" + repeated("\u00E9", (65536 - 2) / 6))}},
        // A client that waits to be told to send its body (curl past 1 MiB) is told at once.
        RequestCase{"ExpectContinueIsAnswered",
                    {"POST /hook/T1/Stop HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 7\r\n\r\n", "{\"a\":1}"},
                    "HTTP/1.1 100 Continue\r\n\r\n" + ok, {"hook Stop {\"a\":1}"}},
        RequestCase{"ExpectContinueWithTheBodyAtOnce",
                    {"POST /hook/T1/Stop HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 7\r\n\r\n{\"a\":1}"}, ok,
                    {"hook Stop {\"a\":1}"}},
        RequestCase{"ExpectContinueRefusedAtTheHead",
                    {"POST /rename/T1 HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 1000001\r\n\r\n"}, tooLarge, {}},
        // What is no JSON is kept as it comes, up to what a JSON object's kept form comes to.
        RequestCase{"NoJsonPastTheKeptFormRefused", {posted("/hook/T1/Stop", std::string(HookBody::keptBound + 1, 'x'))},
                    tooLarge, {}, "hook server: refused a request past its size limit (413)"},
        // A file search's tens of thousands of paths arrive as their first ones, the event whole.
        RequestCase{"SixtyThousandPathsArrive", {posted("/hook/T1/PostToolUse", searchBody(60'000))}, ok,
                    {searchEvent(60'000)}},
        // What the tool's label reads is kept whatever comes before it in the tool's input.
        RequestCase{"TheEditedFilesPathAfterLongStrings", {posted("/hook/T1/PreToolUse", editBody())}, ok, {editEvent()}},
        // A part nested past what the parse reads goes by itself, not the event.
        RequestCase{"APartNestedTooDeepGoesAlone", {posted("/hook/T1/PreToolUse", nestedBody(1000))}, ok,
                    {"hook PreToolUse " + nlohmann::json::parse(nestedBody(HookBody::depthLimit - 1)).dump()}},
        // Objects nested past it, in the members the tile reads and beside them, at any depth.
        deepCase("ObjectsJustWithinTheDepthStayWhole", "input", HookBody::depthLimit - 2),
        deepCase("ObjectsOneLevelTooDeepGoAlone", "input", HookBody::depthLimit - 1),
        deepCase("ObjectsNestedTooDeepInTheInputGoAlone", "input", 512),
        deepCase("ObjectsNestedAMillionDeepInTheInputGoAlone", "input", 1'000'000),
        deepCase("ObjectsNestedTooDeepInTheResponseGoAlone", "response", 513),
        deepCase("ObjectsNestedTooDeepBesideGoAlone", "beside", 511),
        // Half an emoji, as JSON.stringify writes it, is a replacement character.
        RequestCase{"LoneSurrogatesAreReplaced",
                    {posted("/hook/T1/UserPromptSubmit", promptBody("fix \\ud83d it \\ude00\\ud83d\\ude00\\udbff"))}, ok,
                    {promptEvent("fix \uFFFD it \uFFFD\U0001F600\uFFFD")}},
        RequestCase{"HeadOf64KiBAccepted", {"GET /hook/T1/Stop HTTP/1.1\r\nX: " + std::string(65536 - 31, 'h') + "\r\n\r\n"}, ok,
                    {"hook Stop {}"}},
        RequestCase{"LongerHeadRefused", {"GET /hook/T1/Stop HTTP/1.1\r\nX: " + std::string(65537 - 31, 'h') + "\r\n\r\n"},
                    tooLarge, {}},
        RequestCase{"HeadWithoutEndRefused", {std::string(70000, 'h')}, tooLarge, {}},
        RequestCase{"ExtraBodyBytesCut", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: 7\r\n\r\n{\"a\":1}{\"b\":2}"}, ok,
                    {"hook Stop {\"a\":1}"}},
        RequestCase{"EarlyCloseUnanswered", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: 10\r\n\r\n{\"a"}, "", {}, {}, true},
        RequestCase{"GetRoutedLikePost", {"GET /hook/T1/Stop HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n"}, ok, {"hook Stop {}"}},
        RequestCase{"TwoPiecesRunNothing", {"POST /hook/T1 HTTP/1.1\r\n\r\n"}, ok, {}},
        RequestCase{"UnknownRouteRunsNothing", {"POST /status/T1 HTTP/1.1\r\n\r\n"}, ok, {}},
        RequestCase{"NumberTitleRenamesNothing", {"POST /rename/T1 HTTP/1.1\r\nContent-Length: 11\r\n\r\n{\"title\":5}"}, ok, {}},
        RequestCase{"Rename", {"POST /rename/T1 HTTP/1.1\r\nContent-Length: 17\r\n\r\n{\"title\":\"Build\"}"}, ok,
                    {"rename Build"}},
        RequestCase{"RenameKeepsNothingThatHides",
                    {"POST /rename/T1 HTTP/1.1\r\nContent-Length: 27\r\n\r\n{\"title\":\"a\\u202Eb\\u0000c\"}"}, ok, {"rename abc"}},
        RequestCase{"ArrayBodyIsEmpty", {"POST /hook/T1/Stop?x=1 HTTP/1.1\r\nContent-Length: 2\r\n\r\n[]"}, ok,
                    {"hook Stop?x=1 {}"}},
        RequestCase{"DeepBodyIsEmpty", {"POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: 2000\r\n\r\n" + std::string(1000, '[') +
                    std::string(1000, ']')}, ok, {"hook Stop {}"}},
        RequestCase{"NoSuchTile", {"POST /hook/GONE/Stop HTTP/1.1\r\n\r\n"},
                    "HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\nContent-Length: " +
                        std::to_string(gone.size()) + "\r\nConnection: close\r\n\r\n" + gone,
                    {}, "  hook: no tile GONE\n"},
        RequestCase{"NoSuchTileEscaped", {"POST /feed/G\"\x01\\ HTTP/1.1\r\n\r\n"},
                    "HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\nContent-Length: " +
                        std::to_string(escapedGone.size()) + "\r\nConnection: close\r\n\r\n" + escapedGone,
                    {}, "  feed: no tile G\"\\\n"},
        RequestCase{"IdentifyWithoutId", {"GET /identify HTTP/1.1\r\n\r\n"}, card, {}},
        RequestCase{"HeadNotUtf8", {"POST /hook/T1/Stop\xff HTTP/1.1\r\n\r\n"}, ok, {}},
        RequestCase{"OriginRefused", {"POST /hook/T1/Stop HTTP/1.1\r\nOrigin: https://example.com\r\n\r\n"}, forbidden, {},
                    "hook server: refused a request from a web page"},
        RequestCase{"ForeignHostRefused", {"POST /hook/T1/Stop HTTP/1.1\r\nHost: example.com:{port}\r\n\r\n"}, forbidden, {}},
        RequestCase{"OtherPortRefused", {"POST /hook/T1/Stop HTTP/1.1\r\nHost: 127.0.0.1:1\r\n\r\n"}, forbidden, {}},
        RequestCase{"CrossSiteFetchRefused", {"GET /hook/T1/Stop HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\n\r\n"},
                    forbidden, {}, "hook server: refused a request from a web page"},
        RequestCase{"SameSiteFetchRefused", {"GET /rename/T1 HTTP/1.1\r\nsec-fetch-site:same-site\r\n\r\n"}, forbidden, {}},
        RequestCase{"SameOriginFetchServed", {"GET /hook/T1/Stop HTTP/1.1\r\nSec-Fetch-Site: same-origin\r\n\r\n"}, ok,
                    {"hook Stop {}"}},
        RequestCase{"UserTypedFetchServed", {"GET /hook/T1/Stop HTTP/1.1\r\nSec-Fetch-Site: None\r\n\r\n"}, ok,
                    {"hook Stop {}"}},
        RequestCase{"IdentifyFromAnotherSite", {"GET /identify HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\n\r\n"}, card, {}},
        RequestCase{"MetricsNumberOutOfRange", {posted("/metrics/T1", R"({"metrics":[{"label":"n","value":1e999}]})")},
                    outOfRange, {}, "hook server: refused a body with a number out of range (400)"},
        RequestCase{"HookNumberOutOfRange", {posted("/hook/T1/Stop", R"({"n":-1E+400})")}, outOfRange, {}},
        RequestCase{"IntegerOutOfRange", {posted("/hook/T1/Stop", "{\"n\":1" + std::string(400, '0') + "}")}, outOfRange, {}},
        RequestCase{"LargeNumbersInRangeRouted", {posted("/hook/T1/Stop", R"({"a":1e308,"b":1e-999,"c":"1e999","d":[-0.5e2]})")},
                    ok, {R"(hook Stop {"a":1e+308,"b":0.0,"c":"1e999","d":[-50.0]})"}},
        RequestCase{"LocalhostHost", {"POST /hook/T1/Stop HTTP/1.1\r\nhost:\tLocalHost:{port}\r\n\r\n"}, ok, {"hook Stop {}"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A body holding a number no double holds is refused on every route that reads one, and the
// refusal is logged once however often it comes.
TEST_F(HookServerTest, NumbersOutOfRangeAreRefusedOnEveryRouteAndLoggedOnce) {
    owner->open("T1", folder.path());
    for (int round = 0; round < 2; ++round) {
        for (const char* path : {"/hook/T1/Stop", "/rename/T1", "/metrics/T1", "/feed/T1"}) {
            EXPECT_EQ(exchange(owner->server.port(), {posted(path, R"({"title":"x","value":1e999})")}, false), outOfRange)
                << path;
        }
    }
    loop.runPending();
    EXPECT_TRUE(owner->tiles[0].events.empty());
    const std::string line = "hook server: refused a body with a number out of range (400)";
    const std::string log = logged();
    const size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
}

TEST_F(HookServerTest, NameCardEscapesLabelAndDeviceIdAndIgnoresOrigin) {
    owner->browserLabels["d<&>\"'123456"] = "<b>Work & Play</b>";
    owner->publish();
    const std::string answer = exchange(owner->server.port(), {"GET /identify?id=x&id=d<&>\"'123456 HTTP/1.1\r\n"
                                                               "Origin: https://example.com\r\n\r\n"});
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
    EXPECT_NE(answer.find("<title>&lt;b&gt;Work &amp; Play&lt;/b&gt;</title>"), std::string::npos) << answer;
    EXPECT_NE(answer.find("&middot; d&lt;&amp;&gt;&quot;&#39;12</div>"), std::string::npos) << answer;
}

TEST_F(HookServerTest, RoutesBeforeTheFirstSnapshotAndOwnerDropsUnknownMetrics) {
    EXPECT_EQ(exchange(owner->server.port(), {"POST /metrics/T9 HTTP/1.1\r\n\r\n"}), ok);
    loop.runPending();
    EXPECT_NE(logged().find("  metrics: dropped, no tile T9\n"), std::string::npos);
    auto& tile = owner->open("T1", folder.path());
    const std::string body = "{\"metrics\":[{\"label\":\"Users\",\"value\":3}]}";
    EXPECT_EQ(exchange(owner->server.port(), {"POST /metrics/T1 HTTP/1.1\r\nContent-Length: " +
                                              std::to_string(body.size()) + "\r\n\r\n" + body}), ok);
    loop.runPending();
    ASSERT_EQ(tile.live->metrics().size(), 1u);
    EXPECT_EQ(tile.live->metrics()[0].value, "3");
    EXPECT_EQ(owner->layouts, 1u);
}

TEST_F(HookServerTest, AllPortsTakenLeavesPortZero) {
    std::vector<int> held;
    for (int port = HookServer::firstPort; port <= HookServer::lastPort; ++port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // A port this test cannot bind is held by someone else: taken all the same.
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::close(fd);
        else held.push_back(fd);
    }
    HookServer server({HookServer::firstPort, HookServer::lastPort, &loop, {}});
    server.start();
    EXPECT_EQ(server.port(), 0);
    EXPECT_NE(logged().find("  hook server: no free port in 7790...7820, tiles will not show status\n"), std::string::npos);
    for (int fd : held) ::close(fd);
    EXPECT_NE(logged().find("  hook server on 127.0.0.1:" + std::to_string(owner->server.port()) + "\n"), std::string::npos);
}

// A request has a few seconds to arrive whole, counted from the accept:
// sending more of it, a byte at a time, buys no more.
TEST_F(HookServerTest, SilentAndByteAtATimeClientsAreClosedUnansweredAtTheDeadline) {
    std::atomic<size_t> accepted = 0;
    HookServer server({0, 0, &loop, countingLookup(accepted)});
    server.start();
    const int silent = connectTo(server.port()), trickling = connectTo(server.port());
    ::send(silent, "POST /hook/T1", 13, MSG_NOSIGNAL);
    ASSERT_TRUE(loop.runUntil([&] { return accepted == 2; }, 10s));
    const std::string head = "POST /hook/T1/Stop HTTP/1.1\r\nX-Slow: " + std::string(64, 'a');
    size_t sent = 0;
    for (auto waited = 0ms; waited + 250ms < HookServer::requestDeadline; waited += 250ms, ++sent) {
        ASSERT_EQ(::send(trickling, &head[sent], 1, MSG_NOSIGNAL), 1);
        loop.advance(250ms);
    }
    EXPECT_EQ(sent, 11u);
    EXPECT_TRUE(silentFor(silent, 400)) << "closed before the deadline";
    EXPECT_TRUE(silentFor(trickling, 10));
    loop.advance(500ms);
    EXPECT_EQ(answerOf(silent), "");
    EXPECT_EQ(answerOf(trickling), "");
    ::close(silent);
    ::close(trickling);
}

// At the limit, a new connection of this user takes the slot of the one idle
// the longest, which is closed unanswered; bytes sent count as not idle.
// Another user's connection takes no slot, so it closes none.
TEST_F(HookServerTest, ConnectionsPastTheLimitCloseTheIdlest) {
    std::atomic<size_t> accepted = 0;
    HookServer::Options options{0, 0, &loop, countingLookup(accepted, {{4, PeerOwner::Result::of(::geteuid() + 1)}}), 3};
    HookServer server(std::move(options));
    server.start();
    ASSERT_EQ(server.connectionCap(), 3u);
    auto open = [&](size_t count) {
        const int fd = connectTo(server.port());
        EXPECT_TRUE(loop.runUntil([&] { return accepted == count; }, 10s));
        return fd;
    };
    const int oldest = open(1);
    const int idlest = open(2);
    // Read no later than in the turn that accepts the next one.
    ::send(oldest, "P", 1, MSG_NOSIGNAL);
    const int third = open(3);
    const int foreign = open(4);
    EXPECT_EQ(answerOf(foreign), forbidden);
    EXPECT_TRUE(silentFor(idlest, 200)) << "closed for another user's connection";
    const int post = open(5);
    ::send(post, get.data(), get.size(), MSG_NOSIGNAL);
    EXPECT_EQ(answerOf(post), ok);
    EXPECT_EQ(answerOf(idlest), "");
    EXPECT_TRUE(silentFor(oldest, 100));
    EXPECT_TRUE(silentFor(third, 100));
    for (int fd : {oldest, idlest, third, foreign, post}) ::close(fd);
}

// Another user is refused at once; a peer whose owner never comes to be known
// is refused once its request deadline has passed.
TEST_F(HookServerTest, OtherUsersAndUnknownPeersAreRefusedAndLoggedOnce) {
    for (PeerOwner::Result peer : {PeerOwner::Result::of(::geteuid() + 1), PeerOwner::Result::unreadable()}) {
        std::atomic<size_t> asked = 0;
        HookServer server({0, 0, &loop, [&](auto&&...) {
                               ++asked;
                               return peer;
                           }});
        server.onHook = [](auto&&...) { ADD_FAILURE() << "a refused request ran"; };
        server.start();
        for (int i = 0; i < 2; ++i) {
            const size_t before = asked;
            const int fd = connectTo(server.port());
            ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
            if (peer.kind == PeerOwner::Result::Kind::unreadable) {
                ASSERT_TRUE(loop.runUntil([&] { return asked > before; }, 10s));
                EXPECT_TRUE(silentFor(fd, 100)) << "refused before its deadline";
                loop.advance(HookServer::requestDeadline);
            }
            EXPECT_EQ(answerOf(fd), forbidden);
            ::close(fd);
        }
        loop.runPending();
    }
    const std::string log = logged();
    const std::string line = "hook server: refused a connection from user " + std::to_string(::geteuid() + 1);
    EXPECT_EQ(log.find(line), log.rfind(line));
    const std::string unknown = "hook server: refused a connection from an unknown user";
    EXPECT_NE(log.find(unknown), std::string::npos);
    EXPECT_EQ(log.find(unknown), log.rfind(unknown));
}

// An owner that cannot be read is asked about again, and only an answer
// decides: this user's post is served, another user's refused, a client gone
// closed. Each step of the clock passes one retry.
struct RetryCase {
    const char* name;
    std::vector<PeerOwner::Result> answers;  // of the lookups in turn; uid 0 stands for this user
    std::string answer;
    size_t events;
    std::string log = {};
    friend void PrintTo(const RetryCase& c, std::ostream* os) { *os << c.name; }
};

class HookServerOwnerRetry : public HookServerTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(HookServerOwnerRetry, DecidesOnlyOnAnAnswer) {
    const RetryCase& c = GetParam();
    std::atomic<size_t> asked = 0;
    HookServer server({0, 0, &loop, [&](auto&&...) {
                           PeerOwner::Result result = c.answers[std::min(asked.load(), c.answers.size() - 1)];
                           if (result.kind == PeerOwner::Result::Kind::user && result.uid == 0) result.uid = ::geteuid();
                           ++asked;
                           return result;
                       }});
    std::vector<std::string> events;
    server.onHook = [&](const std::string& tile, const std::string& event, const nlohmann::json&) {
        events.push_back(tile + " " + event);
    };
    server.start();
    const int fd = connectTo(server.port());
    ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
    for (size_t answered = 1; answered < c.answers.size(); ++answered) {
        ASSERT_TRUE(loop.runUntil([&] { return asked == answered; }, 10s));
        // The server sets its retry after the lookup has returned: a step taken before that
        // passes no retry, so the clock steps on until the next lookup has been asked.
        for (int step = 0; step < 20 && asked == answered; ++step) {
            loop.advance(100ms);
            loop.runUntil([&] { return asked > answered; }, 100ms);
        }
    }
    EXPECT_EQ(answerOf(fd), c.answer);
    ::close(fd);
    EXPECT_EQ(asked, c.answers.size());
    loop.runPending();
    EXPECT_EQ(events.size(), c.events);
    if (!c.log.empty()) {
        EXPECT_NE(logged().find(c.log), std::string::npos) << logged();
    }
    EXPECT_EQ(logged().find("unknown user"), std::string::npos);
}

using Owner = PeerOwner::Result;
const Owner unreadable = Owner::unreadable();

INSTANTIATE_TEST_SUITE_P(
    Cases, HookServerOwnerRetry,
    ::testing::Values(
        RetryCase{"KnownAtOnce", {Owner::of(0)}, ok, 1},
        RetryCase{"KnownOnTheFourthTry", {unreadable, unreadable, unreadable, Owner::of(0)}, ok, 1},
        RetryCase{"AnotherUserOnARetry", {unreadable, Owner::of(12345)}, forbidden, 0,
                  "hook server: refused a connection from user 12345"},
        RetryCase{"GoneAtOnce", {Owner::gone()}, "", 0,
                  "hook server: closed a connection whose client had left before its user was known"},
        RetryCase{"GoneOnARetry", {unreadable, unreadable, Owner::gone()}, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// As root, a child that becomes nobody makes a real connection of another user.
TEST_F(HookServerTest, ConnectionOfNobodyIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const uint16_t port = owner->server.port();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(2);
        const int fd = connectTo(port);
        ::send(fd, "GET /hook/T1/Stop HTTP/1.1\r\n\r\n", 30, MSG_NOSIGNAL);
        char answer[256];
        const ssize_t n = ::read(fd, answer, sizeof answer);
        (void)!::write(pipe[1], answer, n > 0 ? static_cast<size_t>(n) : 0);
        ::_exit(0);
    }
    ::close(pipe[1]);
    EXPECT_EQ(answerOf(pipe[0]), forbidden);
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

// Another user's connections that reset at once leave nothing to look up. They
// must not make the server read the system's socket table for each (any user
// can make that table large): this user's posts go on being answered.
TEST_F(HookServerTest, ResetsOfAnotherUserHoldUpNoPost) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    owner->open("T1", folder.path());
    const uint16_t port = owner->server.port();
    const std::string post = "POST /hook/T1/Stop HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                             "\r\nContent-Length: 2\r\n\r\n{}";
    const uint64_t tablesBefore = PeerOwner::tablesRead();
    const pid_t attacker = asNobody([&](const std::function<void()>& ready) {
        // 3,000 sockets of its own make the table large.
        const int own = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in ownAddress = loopbackPort(0);
        socklen_t length = sizeof ownAddress;
        ::bind(own, reinterpret_cast<sockaddr*>(&ownAddress), length);
        ::listen(own, 4096);
        ::getsockname(own, reinterpret_cast<sockaddr*>(&ownAddress), &length);
        for (int i = 0; i < 1500; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&ownAddress), length);
            ::accept4(own, nullptr, nullptr, SOCK_CLOEXEC);
        }
        ready();
        const sockaddr_in server = loopbackPort(port);
        const linger reset{1, 0};
        for (const auto end = Clock::now() + 2s; Clock::now() < end;) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server);
            ::close(fd);
        }
    });
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(postWithin(port, post, 2s), ok) << "post " << i;
    }
    EXPECT_EQ(waitFor(attacker), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(postWithin(port, post, 2s), ok);
    // Counted in work, not time: the flood's connections made the server read no table (a table
    // read for each would hold up every post), the posts at most one each.
    EXPECT_LE(PeerOwner::tablesRead() - tablesBefore, 8u);
    loop.runPending();
    EXPECT_EQ(owner->tiles[0].events.size(), 8u);
}

// Refused connections take no slot, even when their user keeps them open and
// opens new ones as fast as they are answered.
TEST_F(HookServerTest, HeldConnectionsOfAnotherUserLeaveRoomForPosts) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    owner->open("T1", folder.path());
    const uint16_t port = owner->server.port();
    const std::string post = "POST /hook/T1/Stop HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
    constexpr size_t held = 2000;
    // Everything the child uses is allocated before the fork: a forked copy of this threaded
    // process must not take the allocator's locks.
    std::vector<pollfd> entries(held);
    std::vector<int> answered(4000, -1);
    size_t answeredNext = 0;
    const pid_t attacker = asNobody([&](const std::function<void()>& ready) {
        const sockaddr_in server = loopbackPort(port);
        auto open = [&] {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server);
            return fd;
        };
        for (auto& entry : entries) entry = {open(), POLLIN, 0};
        ready();
        for (const auto end = Clock::now() + 3s; Clock::now() < end;) {
            if (::poll(entries.data(), entries.size(), 20) <= 0) continue;
            for (auto& entry : entries) {
                if (!entry.revents) continue;
                // Answered: kept open all the same, and renewed.
                int& slot = answered[answeredNext++ % answered.size()];
                if (slot >= 0) ::close(slot);
                slot = entry.fd;
                entry = {open(), POLLIN, 0};
            }
        }
    });
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(postWithin(port, post, 2s), ok) << "post " << i;
    }
    EXPECT_EQ(waitFor(attacker), 0);
}

TEST_F(HookServerTest, FakeClaudeHooksArriveAsSent) {
    testing::FakeClaudeHome home;
    const std::string id = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
    auto& tile = owner->open(id, folder.path());
    platform::runtime::ChildProcess::Options process;
    process.arguments = {home.claudePath(), "-p", "--settings", HookTexts::hookSettings(id, owner->server.port())};
    ASSERT_TRUE(ProcessCapture::run(process, 60s));
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    std::vector<std::string> sent;
    for (const auto& hook : calls[0].hooks) sent.push_back("hook " + hook.event + " " + nlohmann::json::parse(hook.input).dump());
    ASSERT_TRUE(loop.runUntil([&] { return tile.events.size() >= sent.size(); }, 30s));
    std::sort(sent.begin(), sent.end());
    std::sort(tile.events.begin(), tile.events.end());
    EXPECT_EQ(tile.events, sent);
    for (const char* event : {"hook SessionStart ", "hook UserPromptSubmit ", "hook Stop "}) {
        EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [&](const auto& e) { return e.starts_with(event); })) << event;
    }
}

}  // namespace
}  // namespace quiltdeck
