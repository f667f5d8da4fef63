// A small writer of JSON text that keeps members in the order they are written. Texts are
// given as UTF-8 and escaped as JSON requires.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::cli {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The name of the next member of the current object.
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view utf8);
    JsonWriter& value(const char* utf8) { return value(std::string_view(utf8)); }
    JsonWriter& value(bool flag);

    const std::string& text() const { return text_; }

private:
    void beforeValue();
    void appendString(std::string_view utf8);

    std::string text_;
    // Per open object or array: whether it already holds an element.
    std::vector<bool> hasElement_;
    bool afterKey_ = false;
};

} // namespace quillet::cli
