#include "CodePageMismatch.h"

#include "CodePage.h"

namespace quillet {

bool projectLooksLikeOtherCodePage(const Project& project)
{
    std::vector<std::string_view> texts;
    const ProjectProperties& p = project.properties;
    for (const ShortString255* field : {&p.Name, &p.Description, &p.AutorName, &p.AutorWEB, &p.AutorEmail})
        texts.push_back(field->view());
    for (const GroupEntry& group : project.groups) {
        texts.push_back(group.name);
        texts.push_back(group.description);
    }
    for (const RecipientRecord& r : project.recipients)
        for (const ShortString255* field :
             {&r.EMail, &r.Name, &r.Surname, &r.ParamName1, &r.ParamName2, &r.ParamName3, &r.ParamName4, &r.ParamValue1,
              &r.ParamValue2, &r.ParamValue3, &r.ParamValue4})
            if (!isPlainAscii(field->view()))
                texts.push_back(field->view());
    for (const SmtpAccount& a : project.accounts)
        for (const std::string* field : {&a.host, &a.user, &a.fromName, &a.fromAddress, &a.replyTo})
            texts.push_back(*field);
    return looksLikeOtherCodePage(texts);
}

} // namespace quillet
