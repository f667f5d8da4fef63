// The mailing run the mailing benchmarks measure: 10,000 recipients (by default) with a city
// parameter, and a message with five macros, two in the subject and three in the body.
#pragma once

#include "mailing/MailDraft.h"
#include "project/Project.h"

#include <string>

namespace quillet::bench {

inline Project MakeProject(int count)
{
    Project project;
    project.properties.AutorName.set("Orv Quillet");
    project.groups.push_back({"Customers", ""});
    project.recipients.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        RecipientRecord r;
        r.EMail.set("customer" + std::to_string(i) + "@example.org");
        r.Name.set("Name" + std::to_string(i));
        r.Surname.set("Surname" + std::to_string(i));
        r.ParamName1.set("CITY");
        r.ParamValue1.set("City" + std::to_string(i % 97));
        r.Group.set("Customers");
        project.recipients.push_back(r);
    }
    return project;
}

// Five macros per message: two in the subject, three in the body.
inline MailDraft MakeDraft()
{
    MailDraft draft;
    draft.subject = "An offer for %NAME% %SURNAME%";
    draft.body = {"Dear %NAME%,",
                  "",
                  "our shop in %CITY% has something new for you.",
                  "Come and see it this week; the doors are open from nine to six.",
                  "",
                  "Best regards,",
                  "%AUTHORNAME%"};
    return draft;
}

} // namespace quillet::bench
