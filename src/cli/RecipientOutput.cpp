#include "RecipientOutput.h"

#include "project/CodePage.h"

namespace quillet::cli {

std::string recipientLine(const RecipientRecord& r)
{
    std::string out = r.EMail.str() + "\t" + r.Name.str() + "\t" + r.Surname.str() + "\t" +
                      std::string(r.enabled() ? kTrue : kFalse) + "\t" + r.Group.str();
    for (int i = 0; i < 4; ++i) {
        if (r.paramName(i).length() || r.paramValue(i).length()) {
            out += '\t';
            out += r.paramName(i).view();
            out += '=';
            out += r.paramValue(i).view();
        }
    }
    return out;
}

void writeRecipientJson(JsonWriter& json, const RecipientRecord& r)
{
    json.beginObject();
    json.key("email").value(codePageToUtf8(r.EMail.view()));
    json.key("name").value(codePageToUtf8(r.Name.view()));
    json.key("surname").value(codePageToUtf8(r.Surname.view()));
    json.key("enabled").value(r.enabled());
    json.key("params").beginArray();
    for (int i = 0; i < 4; ++i)
        json.beginObject()
            .key("name")
            .value(codePageToUtf8(r.paramName(i).view()))
            .key("value")
            .value(codePageToUtf8(r.paramValue(i).view()))
            .endObject();
    json.endArray();
    json.key("group").value(codePageToUtf8(r.Group.view()));
    json.endObject();
}

} // namespace quillet::cli
