// An mbox file splits at "From " lines that start the file or follow an empty line, and its
// ">From " quoting is undone.
#include "feedback/Mailbox.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

using namespace quillet;

TEST(Mbox, SplitsAtSeparatorLinesAndUnquotes)
{
    const std::string text = test::readFileBytes(QUILLET_SOURCE_DIR "/fuzz/corpus/feedback_report/two-messages.mbox");
    const auto messages = SplitMbox(text);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(UnquoteMboxMessage(
                  std::string_view(text).substr(messages[0].first, messages[0].second - messages[0].first)),
              "Subject: one\n\nFrom the start\nFrom inside a line\n\n");
    EXPECT_EQ(text.substr(messages[1].first), "Subject: two\n\nbody\n");
}
