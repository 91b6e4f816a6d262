#include "core/prompts.h"

#include <gtest/gtest.h>

namespace pulpex {
namespace {

// Tests answer prompts through a queue; an unanswered prompt must take the safe button, so that a
// forgotten answer can never confirm a deletion.
TEST(Prompts, ScriptedAnswersInOrderThenSafeDefaults) {
    ScriptedPrompts sp;
    sp.setNextAnswer(Answer::Retry);
    EXPECT_EQ(prompts().message(Severity::Error, "a", Buttons::AbortRetryIgnore), Answer::Retry);
    EXPECT_EQ(prompts().message(Severity::Confirmation, "b", Buttons::YesNo), Answer::No);
    EXPECT_EQ(prompts().message(Severity::Confirmation, "c", Buttons::YesNoCancel), Answer::Cancel);
    EXPECT_EQ(prompts().message(Severity::Error, "d", Buttons::OkCancel), Answer::Cancel);
    EXPECT_EQ(sp.texts(), (QStringList{"a", "b", "c", "d"}));
}

TEST(Prompts, ScriptedPromptsRestoreThePreviousOnes) {
    Prompts* before = &prompts();
    {
        ScriptedPrompts outer;
        {
            ScriptedPrompts inner;
            prompts().message(Severity::Information, "x");
            EXPECT_EQ(inner.texts().size(), 1);
        }
        EXPECT_EQ(&prompts(), &outer);
        EXPECT_TRUE(outer.texts().isEmpty());
    }
    EXPECT_EQ(&prompts(), before);
}

}  // namespace
}  // namespace pulpex
