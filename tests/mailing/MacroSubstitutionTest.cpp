#include "mailing/MacroSubstitution.h"
#include "mailing/MailingTexts.h"

#include <gtest/gtest.h>

using namespace quillet;

namespace {

struct Recipient {
    RecipientRecord record;
    ProjectProperties project;

    Recipient()
    {
        record.EMail.set("ann@example.org");
        record.Name.set("Ann");
        record.Surname.set("Lee");
        for (int i = 0; i < 4; ++i)
            record.paramName(i).set(std::string("P").append(std::to_string(i + 1)));
        project.AutorName.set("Orv");
        project.AutorWEB.set("orv.example");
        project.AutorEmail.set("orv@example.org");
    }
    std::string operator()(std::string_view text) const
    {
        return SubstituteMacros(text, MacroRecipient::fromRecord(record), project);
    }
};

TEST(MacroSubstitution, ReplacesFixedMacrosEveryOccurrence)
{
    Recipient r;
    EXPECT_EQ(r("Dear %NAME% %SURNAME%!"), "Dear Ann Lee!");
    EXPECT_EQ(r("%NAME%, %NAME%"), "Ann, Ann");
    EXPECT_EQ(r("%ADDRESS% %AUTHORNAME% %AUTHORWEB% %AUTHOREMAIL%"),
              "ann@example.org Orv orv.example orv@example.org");
    r.record.ParamValue1.set("v1");
    r.record.ParamValue4.set("v4");
    EXPECT_EQ(r("%PARAM1%%PARAM2%%PARAM3%%PARAM4%"), "v1v4");
}

TEST(MacroSubstitution, LeavesUnknownAndLowerCaseMacros)
{
    Recipient r;
    EXPECT_EQ(r("%name% 100% %FOO% %"), "%name% 100% %FOO% %");
    EXPECT_EQ(r("no macros at all"), "no macros at all");
    EXPECT_EQ(r(""), "");
}

TEST(MacroSubstitution, ParameterNamesAreMacrosOfTheirRecipient)
{
    Recipient r;
    r.record.ParamName1.set("CITY");
    r.record.ParamValue1.set("Oslo");
    EXPECT_EQ(r("%CITY% / %PARAM1%"), "Oslo / Oslo");
    RecipientRecord other = r.record;
    other.ParamName1.set("TOWN");
    EXPECT_EQ(SubstituteMacros("%CITY%", MacroRecipient::fromRecord(other), r.project), "%CITY%");
}

TEST(MacroSubstitution, EmptyParameterNameReplacesDoublePercent)
{
    Recipient r;
    r.record.ParamName1.set("");
    r.record.ParamValue1.set("X");
    EXPECT_EQ(r("50%%"), "50X");
    for (int i = 0; i < 4; ++i)
        r.record.paramName(i).set("");
    r.record.ParamValue1.set("");
    EXPECT_EQ(r("a%%b%%c%%%%d"), "abcd");
}

TEST(MacroSubstitution, ParameterNameEqualToFixedMacroTakesTheSecondOccurrence)
{
    Recipient r;
    r.record.ParamName1.set("NAME");
    r.record.ParamValue1.set("Param");
    // Each pass: step 2 takes the first %NAME%, step 11 the next one.
    EXPECT_EQ(r("%NAME% %NAME% %NAME%"), "Ann Param Ann");
}

TEST(MacroSubstitution, InsertedValuesAreSearchedAgain)
{
    Recipient r;
    r.record.Name.set("%SURNAME%");
    EXPECT_EQ(r("%NAME%"), "Lee");
    r.record.Name.set("%NAME%");
    EXPECT_EQ(r("%NAME% and %NAME%"), "%NAME% and %NAME%");
    // A later step's value that holds an earlier macro is replaced in the next pass.
    r.record.Name.set("Ann");
    r.record.ParamValue2.set("%NAME%");
    EXPECT_EQ(r("%PARAM2%"), "Ann");
}

TEST(MacroSubstitution, EmptyValuesRemoveTheMacro)
{
    Recipient r;
    r.project.AutorWEB.set("");
    EXPECT_EQ(r("Visit %AUTHORWEB%."), "Visit .");
}

TEST(MacroSubstitution, RowTextsWinOverRecordForFixedFields)
{
    Recipient r;
    MacroRecipient row{"row@example.org", "RowName", "RowSurname", r.record};
    EXPECT_EQ(SubstituteMacros("%ADDRESS% %NAME% %SURNAME%", row, r.project), "row@example.org RowName RowSurname");
}

TEST(MacroSubstitution, GrowingValueEndsWithErrorNamingTheRecipient)
{
    Recipient r;
    r.record.Name.set("Dr %NAME%");
    try {
        r("%NAME%");
        FAIL() << "expected an error";
    } catch (const EMacroSubstitutionError& e) {
        EXPECT_NE(std::string(e.what()).find("\"ann@example.org\""), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("1000 passes"), std::string::npos) << e.what();
    }
    // A value that adds much per pass reaches the length limit before the pass limit.
    r.record.Name.set("%NAME%" + std::string(249, 'x'));
    try {
        r("%NAME%");
        FAIL() << "expected an error";
    } catch (const EMacroSubstitutionError& e) {
        EXPECT_NE(std::string(e.what()).find("65536 bytes"), std::string::npos) << e.what();
    }
}

TEST(MacroSubstitution, LongTextWithoutGrowthIsNotAnError)
{
    Recipient r;
    std::string big(kMaxMacroResultLength + 10, 'x');
    big += "%NAME%";
    EXPECT_EQ(r(big), std::string(kMaxMacroResultLength + 10, 'x') + "Ann");
}

} // namespace
