#include "CodePageMismatch.h"

#include "ProjectFileReader.h"

#include <span>

namespace quillet {

namespace {

// The parts of the judgement: the text fields of recipient records, and every other text of a
// project (properties, groups, accounts).
void addRecipientTexts(OtherCodePageEvidence& evidence, std::span<const RecipientRecord> records)
{
    for (const RecipientRecord& r : records)
        for (const ShortString255* field :
             {&r.EMail, &r.Name, &r.Surname, &r.ParamName1, &r.ParamName2, &r.ParamName3, &r.ParamName4, &r.ParamValue1,
              &r.ParamValue2, &r.ParamValue3, &r.ParamValue4})
            evidence.add(field->view());
}

void addTextsBesideRecipients(OtherCodePageEvidence& evidence, const Project& project)
{
    const ProjectProperties& p = project.properties;
    for (const ShortString255* field : {&p.Name, &p.Description, &p.AutorName, &p.AutorWEB, &p.AutorEmail})
        evidence.add(field->view());
    for (const GroupEntry& group : project.groups) {
        evidence.add(group.name);
        evidence.add(group.description);
    }
    for (const SmtpAccount& a : project.accounts)
        for (const std::string* field : {&a.host, &a.user, &a.fromName, &a.fromAddress, &a.replyTo})
            evidence.add(*field);
}

} // namespace

bool projectLooksLikeOtherCodePage(const Project& project)
{
    OtherCodePageEvidence evidence;
    addTextsBesideRecipients(evidence, project);
    addRecipientTexts(evidence, project.recipients);
    return evidence.looksLikeOtherCodePage();
}

Project loadProjectFileJudgingCodePage(const std::string& path, bool& looksLikeOtherCodePage)
{
    return loadProjectFileJudgingCodePage(path, looksLikeOtherCodePage, {});
}

Project loadProjectFileJudgingCodePage(const std::string& path, bool& looksLikeOtherCodePage,
                                       const RecipientBlockObserver& alsoOnBlock)
{
    OtherCodePageEvidence evidence;
    Project project = loadProjectFile(path, [&](std::span<const RecipientRecord> block) {
        addRecipientTexts(evidence, block);
        if (alsoOnBlock)
            alsoOnBlock(block);
    });
    addTextsBesideRecipients(evidence, project);
    looksLikeOtherCodePage = evidence.looksLikeOtherCodePage();
    return project;
}

} // namespace quillet
