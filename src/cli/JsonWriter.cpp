#include "JsonWriter.h"

#include <cstdio>

namespace quillet::cli {

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasElement_.empty()) {
        if (hasElement_.back())
            text_ += ", ";
        hasElement_.back() = true;
    }
}

void JsonWriter::appendString(std::string_view utf8)
{
    text_ += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"': text_ += "\\\""; break;
        case '\\': text_ += "\\\\"; break;
        case '\n': text_ += "\\n"; break;
        case '\r': text_ += "\\r"; break;
        case '\t': text_ += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                text_ += escaped;
            } else {
                text_ += c;
            }
        }
    }
    text_ += '"';
}

JsonWriter& JsonWriter::beginObject()
{
    beforeValue();
    text_ += '{';
    hasElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    hasElement_.pop_back();
    text_ += '}';
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    beforeValue();
    text_ += '[';
    hasElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    hasElement_.pop_back();
    text_ += ']';
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    beforeValue();
    appendString(name);
    text_ += ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view utf8)
{
    beforeValue();
    appendString(utf8);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag)
{
    beforeValue();
    text_ += flag ? "true" : "false";
    return *this;
}

} // namespace quillet::cli
