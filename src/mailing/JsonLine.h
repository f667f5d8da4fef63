// One JSON value per line, as the run journal stores its records: a small writer that appends
// members in the order given, and a reader of one line into a tree of values.
//
// Texts are UTF-8 on both sides. The reader accepts what RFC 8259 allows (any whitespace,
// escapes including surrogate pairs) and nothing more; it refuses nesting deeper than
// kMaxJsonDepth and lines longer than kMaxJsonLineLength, so a damaged file cannot exhaust the
// stack or memory. Numbers are kept as the text they were written with and read as integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Deeper nesting than any journal record has, and far below what the stack could take.
inline constexpr std::size_t kMaxJsonDepth = 32;
// The longest line read: a run's first record holds the whole message and every recipient's
// address (100,000 addresses of 300 bytes fit), so the limit is generous but finite.
inline constexpr std::size_t kMaxJsonLineLength = 64u * 1024 * 1024;

class EJsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    static JsonValue parse(std::string_view line);

    Kind kind() const { return kind_; }
    bool isObject() const { return kind_ == Kind::Object; }
    // The member's value, or a null value when the object has no such member (or this is not an
    // object): optional members read as their defaults.
    const JsonValue& operator[](std::string_view name) const;
    bool has(std::string_view name) const;
    const std::vector<JsonValue>& items() const;
    // The text of a string; "" for anything else.
    const std::string& text() const { return text_; }
    // A number as an integer, or the fallback when this is not an integer number.
    std::int64_t integer(std::int64_t fallback = 0) const;
    bool boolean(bool fallback = false) const { return kind_ == Kind::Bool ? flag_ : fallback; }

private:
    friend class JsonParser;
    Kind kind_ = Kind::Null;
    bool flag_ = false;
    std::string text_; // a string's text or a number's digits
    std::vector<JsonValue> items_;
    std::map<std::string, JsonValue, std::less<>> members_;
};

// Appends JSON text to a line. Members of an object are written in the order of the calls.
// Compact text has nothing between the tokens; spaced text a space after every comma and colon.
class JsonLineWriter {
public:
    enum class Spacing { Compact, Spaced };
    explicit JsonLineWriter(Spacing spacing = Spacing::Compact) : spaced_(spacing == Spacing::Spaced) {}

    JsonLineWriter& beginObject();
    JsonLineWriter& endObject();
    JsonLineWriter& beginArray();
    JsonLineWriter& endArray();
    JsonLineWriter& key(std::string_view name);
    JsonLineWriter& value(std::string_view utf8);
    JsonLineWriter& value(const char* utf8) { return value(std::string_view(utf8)); }
    JsonLineWriter& value(std::int64_t number);
    JsonLineWriter& value(std::size_t number) { return value(static_cast<std::int64_t>(number)); }
    JsonLineWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    JsonLineWriter& value(bool flag);
    // Several string values as one array.
    JsonLineWriter& values(const std::vector<std::string>& utf8);

    const std::string& text() const { return text_; }
    std::string take() { return std::move(text_); }

private:
    void beforeValue();

    std::string text_;
    std::vector<bool> hasElement_;
    bool afterKey_ = false;
    bool spaced_ = false;
};

// Appends a JSON string literal (quotes included) of the UTF-8 text.
void appendJsonString(std::string& out, std::string_view utf8);

} // namespace quillet
