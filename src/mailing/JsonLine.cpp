#include "JsonLine.h"

#include <charconv>

namespace quillet {

namespace {

const JsonValue& nullValue()
{
    static const JsonValue value;
    return value;
}

void appendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

// A recursive-descent reader of one JSON text.
class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    JsonValue parseAll()
    {
        JsonValue value = parseValue(0);
        skipSpace();
        if (at_ != text_.size())
            fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void fail(const char* what) const
    {
        throw EJsonError("JSON: " + std::string(what) + " at byte " + std::to_string(at_));
    }
    void skipSpace()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n'))
            ++at_;
    }
    bool take(char c)
    {
        skipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void expect(char c)
    {
        if (!take(c))
            fail("unexpected character");
    }
    void word(std::string_view w)
    {
        if (text_.substr(at_, w.size()) != w)
            fail("unknown word");
        at_ += w.size();
    }

    JsonValue parseValue(std::size_t depth)
    {
        if (depth >= kMaxJsonDepth)
            fail("nesting too deep");
        skipSpace();
        if (at_ >= text_.size())
            fail("missing value");
        JsonValue value;
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            value.kind_ = JsonValue::Kind::Object;
            if (take('}'))
                return value;
            do {
                skipSpace();
                if (at_ >= text_.size() || text_[at_] != '"')
                    fail("member name expected");
                std::string name = parseString();
                expect(':');
                value.members_.insert_or_assign(std::move(name), parseValue(depth + 1));
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            ++at_;
            value.kind_ = JsonValue::Kind::Array;
            if (take(']'))
                return value;
            do
                value.items_.push_back(parseValue(depth + 1));
            while (take(','));
            expect(']');
        } else if (c == '"') {
            value.kind_ = JsonValue::Kind::String;
            value.text_ = parseString();
        } else if (c == 't') {
            word("true");
            value.kind_ = JsonValue::Kind::Bool;
            value.flag_ = true;
        } else if (c == 'f') {
            word("false");
            value.kind_ = JsonValue::Kind::Bool;
        } else if (c == 'n') {
            word("null");
        } else {
            value.kind_ = JsonValue::Kind::Number;
            value.text_ = parseNumber();
        }
        return value;
    }

    std::string parseNumber()
    {
        const std::size_t start = at_;
        auto digits = [this] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                ++at_;
            if (at_ == from)
                fail("digit expected");
        };
        if (text_[at_] == '-')
            ++at_;
        if (at_ < text_.size() && text_[at_] == '0')
            ++at_;
        else
            digits();
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            digits();
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
                ++at_;
            digits();
        }
        return std::string(text_.substr(start, at_ - start));
    }

    std::uint32_t hex4()
    {
        if (at_ + 4 > text_.size())
            fail("short \\u escape");
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= std::uint32_t(h - '0');
            else if (h >= 'a' && h <= 'f')
                code |= std::uint32_t(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                code |= std::uint32_t(h - 'A' + 10);
            else
                fail("bad \\u escape");
        }
        return code;
    }

    std::string parseString()
    {
        ++at_; // the opening quote
        std::string out;
        while (true) {
            if (at_ >= text_.size())
                fail("unterminated string");
            const char c = text_[at_++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size())
                fail("unterminated escape");
            const char e = text_[at_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t code = hex4();
                if (code >= 0xD800 && code < 0xDC00 && text_.substr(at_, 2) == "\\u") {
                    at_ += 2;
                    const std::uint32_t low = hex4();
                    if (low < 0xDC00 || low >= 0xE000)
                        fail("bad surrogate pair");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xD800 && code < 0xE000) {
                    code = 0xFFFD; // a lone surrogate has no UTF-8 form
                }
                appendUtf8(out, code);
                break;
            }
            default: fail("unknown escape");
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

JsonValue JsonValue::parse(std::string_view line)
{
    if (line.size() > kMaxJsonLineLength)
        throw EJsonError("JSON: line too long");
    return JsonParser(line).parseAll();
}

const JsonValue& JsonValue::operator[](std::string_view name) const
{
    if (kind_ != Kind::Object)
        return nullValue();
    const auto it = members_.find(name);
    return it == members_.end() ? nullValue() : it->second;
}

bool JsonValue::has(std::string_view name) const
{
    return kind_ == Kind::Object && members_.find(name) != members_.end();
}

const std::vector<JsonValue>& JsonValue::items() const
{
    static const std::vector<JsonValue> none;
    return kind_ == Kind::Array ? items_ : none;
}

std::int64_t JsonValue::integer(std::int64_t fallback) const
{
    if (kind_ != Kind::Number)
        return fallback;
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(text_.data(), text_.data() + text_.size(), number);
    return error == std::errc() && end == text_.data() + text_.size() ? number : fallback;
}

void appendJsonString(std::string& out, std::string_view utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += hex[byte >> 4];
                out += hex[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void JsonLineWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasElement_.empty()) {
        if (hasElement_.back())
            text_ += spaced_ ? ", " : ",";
        hasElement_.back() = true;
    }
}

JsonLineWriter& JsonLineWriter::beginObject()
{
    beforeValue();
    text_ += '{';
    hasElement_.push_back(false);
    return *this;
}

JsonLineWriter& JsonLineWriter::endObject()
{
    text_ += '}';
    hasElement_.pop_back();
    return *this;
}

JsonLineWriter& JsonLineWriter::beginArray()
{
    beforeValue();
    text_ += '[';
    hasElement_.push_back(false);
    return *this;
}

JsonLineWriter& JsonLineWriter::endArray()
{
    text_ += ']';
    hasElement_.pop_back();
    return *this;
}

JsonLineWriter& JsonLineWriter::key(std::string_view name)
{
    beforeValue();
    appendJsonString(text_, name);
    text_ += spaced_ ? ": " : ":";
    afterKey_ = true;
    return *this;
}

JsonLineWriter& JsonLineWriter::value(std::string_view utf8)
{
    beforeValue();
    appendJsonString(text_, utf8);
    return *this;
}

JsonLineWriter& JsonLineWriter::value(std::int64_t number)
{
    beforeValue();
    text_ += std::to_string(number);
    return *this;
}

JsonLineWriter& JsonLineWriter::value(bool flag)
{
    beforeValue();
    text_ += flag ? "true" : "false";
    return *this;
}

JsonLineWriter& JsonLineWriter::values(const std::vector<std::string>& utf8)
{
    beginArray();
    for (const std::string& text : utf8)
        value(text);
    return endArray();
}

} // namespace quillet
