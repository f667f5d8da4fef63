#include "mailing/TemplateInsertion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quillet;
using ::testing::ElementsAre;

namespace {

TEST(TemplateInsertion, ReplyToLineSetsFromAndEmptyLineKeepsIt)
{
    MailDraft draft;
    TEMailAddressItem from;
    InsertTemplate({"T", "S", "Orv Author <orv@example.org>", {}}, draft, from);
    EXPECT_EQ(from.Address, "orv@example.org");
    EXPECT_EQ(from.Name, "Orv Author");
    draft.body = {"typed"};
    InsertTemplate({"U", "S2", "", {}}, draft, from);
    EXPECT_EQ(from.Address, "orv@example.org");
    EXPECT_TRUE(draft.body.empty()); // an empty template body empties the body
}

TEST(TemplateInsertion, UnparsableReplyToChangesNothing)
{
    MailDraft draft{"keep", {"keep"}, {}};
    TEMailAddressItem from("kept@example.org");
    EXPECT_THROW(InsertTemplate({"T", "S", "<a@b.org>@c", {"x"}}, draft, from), EEMailAddressError);
    EXPECT_EQ(draft.subject, "keep");
    EXPECT_THAT(draft.body, ElementsAre("keep"));
    EXPECT_EQ(from.Address, "kept@example.org");
}

} // namespace
