#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quiltdeck {

// Reads a JSON text value by value, in order, without building a tree: the caller asks for what it
// expects where it expects it and skips the rest, so that memory follows what the caller keeps,
// not the size of the text.
//
// A value that the grammar allows but that nothing here can hold is read as broken, and only that
// value is lost: a number past a double's range, a string with a byte that is no UTF-8, a control
// character or an unknown escape. An escaped surrogate without its partner is read as U+FFFD. A
// fault of the grammar itself, or an array or object deeper than the limit, ends the reading: every
// call after it returns at once (as at the end of a container), and `error()` says what and where.
class JsonReader {
public:
    enum class Kind { null, boolean, number, string, array, object, none };

    JsonReader(std::string_view text, int nestingLimit);

    // The kind of the next value; none when the text holds no value there (then failed()).
    Kind peek();

    // Each reads the next value, which must be of its kind (as peek() said).
    bool boolean();
    // Nothing when the number is out of a double's range.
    std::optional<double> number();
    // False when the string is broken; `out` then holds nothing useful.
    bool string(std::string& out);
    // Any value, checked as it is passed.
    void skip();

    // An array: `enterArray()` takes its opening bracket, then each `nextElement()` is true while an
    // element follows (read or skip it before the next call) and false at the closing bracket.
    void enterArray();
    bool nextElement();
    // An object likewise; each member's key goes to `key`, `keyReadable` false when it is broken.
    void enterObject();
    bool nextMember(std::string& key, bool& keyReadable);

    // After the value the text holds: true when nothing but white space follows and nothing failed.
    bool finish();

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

private:
    void skipWhiteSpace();
    void fail(const std::string& what);
    void unexpected();
    void enter(char open);
    bool next(char close);
    bool literal(std::string_view word);
    bool quoted(std::string* out);
    bool escape(std::string* out);
    size_t numberEnd();

    std::string_view text_;
    size_t at_ = 0;
    int depth_ = 0;
    const int nestingLimit_;
    // Whether the container just entered has no member yet; false once one was read or it closed.
    bool first_ = false;
    std::string error_;
};

}  // namespace quiltdeck
