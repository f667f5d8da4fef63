// The command line's JSON output: the core's writer (members in the order written, texts given
// as UTF-8 and escaped as JSON requires) with a space after every comma and colon.
#pragma once

#include "mailing/JsonLine.h"

namespace quillet::cli {

class JsonWriter : public JsonLineWriter {
public:
    JsonWriter() : JsonLineWriter(Spacing::Spaced) {}
};

} // namespace quillet::cli
