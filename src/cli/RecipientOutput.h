// How the commands print recipients: one tab-separated line, or one JSON object.
#pragma once

#include "JsonWriter.h"
#include "project/ProjectRecords.h"

#include <string>

namespace quillet::cli {

// "email<TAB>name<TAB>surname<TAB>True<TAB>group[<TAB>NAME=VALUE]..." in code-page text, without
// the line break; parameters whose name and value are both empty are left out.
std::string recipientLine(const RecipientRecord& record);
// {"email", "name", "surname", "enabled", "params": [{"name", "value"} x4], "group"}
void writeRecipientJson(JsonWriter& json, const RecipientRecord& record);

} // namespace quillet::cli
