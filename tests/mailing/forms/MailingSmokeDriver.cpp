// Helper of the mailing smoke test: a project of three readers in one group (see
// support/SmokeDriver.h for the commands).
#include "support/SmokeDriver.h"

#include <string>

namespace {

quillet::Project sampleProject(const QString&)
{
    quillet::Project project;
    project.properties.Name.set("Smoke mailing");
    project.properties.AutorName.set("Ann Author");
    project.groups = {{"Readers", "Three readers"}};
    for (const char* email : {"ann@example.org", "bob@example.org", "cid@example.org"}) {
        quillet::RecipientRecord r;
        r.EMail.set(email);
        r.Name.set(std::string(email).substr(0, 3));
        r.Group.set("Readers");
        project.recipients.push_back(r);
    }
    return project;
}

} // namespace

int main(int argc, char** argv)
{
    return quillet::test::smokeDriverMain(argc, argv, sampleProject);
}
