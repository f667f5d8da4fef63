// Helper of the desktop smoke test and the screenshot: a sample project of three groups, five
// recipients and two SMTP accounts (see support/SmokeDriver.h for the commands).
#include "support/SmokeDriver.h"

#include <string>

namespace {

quillet::RecipientRecord recipient(const char* email, const char* name, const char* surname, const char* group,
                                   bool enabled = true)
{
    quillet::RecipientRecord r;
    r.EMail.set(email);
    r.Name.set(name);
    r.Surname.set(surname);
    r.Group.set(group);
    r.Enabled = enabled ? 1 : 0;
    r.ParamName1.set("CITY");
    r.ParamValue1.set("Oslo");
    return r;
}

quillet::Project sampleProject(const QString& fileName)
{
    quillet::Project project;
    project.properties.Name.set(fileName.toStdString());
    project.properties.Description.set("Sample mailing project");
    project.properties.AutorName.set("Ann Author");
    project.properties.AutorWEB.set("http://www.example.org/");
    project.properties.AutorEmail.set("ann@example.org");
    project.groups = {{"Customers", "People who bought from us"},
                      {"Friends", "Friends and family"},
                      {"Newsletter", "Monthly newsletter readers"}};
    project.recipients = {recipient("zoe.miller@example.com", "Zoe", "Miller", "Customers"),
                          recipient("adam.smith@example.com", "Adam", "Smith", "Customers"),
                          recipient("eva.berg@example.net", "Eva", "Berg", "Customers", false),
                          recipient("li.wang@example.org", "Li", "Wang", "Customers"),
                          recipient("tom@example.com", "Tom", "Hansen", "Friends")};
    project.accounts = {{"smtp.example.com", "ann", "secret", "587", "Ann Author", "ann@example.org", "", "True"},
                        {"mail.example.net", "", "", "25", "Ann", "ann@example.net", "", "False"}};
    return project;
}

} // namespace

int main(int argc, char** argv)
{
    return quillet::test::smokeDriverMain(argc, argv, sampleProject);
}
