#include "platform/RunControl.h"
#include "platform/UserPrompts.h"
#include "support/RecordedProgress.h"
#include "support/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <thread>

// A run context is what lets a window, a command-line runner and a test each answer the core's questions,
// see its progress and stop it, without a setting of one leaking into another.
TEST(RunContext, AnInnerContextTakesWhatItIsNotGivenFromTheOuterAndPutsTheOuterBackWhenItEnds) {
    ScriptedPrompts outer;
    outer.answers = {true};
    {
        RecordedProgress progress; // a context with a sink only
        EXPECT_TRUE(Prompts().AskYesNo("t", "q", UserPrompts::Icon::Warning, false));
        ReportStep("接続中");
        ASSERT_EQ(progress.shown.size(), 1u);
        EXPECT_EQ(progress.shown[0].Step, "接続中");
        {
            ScriptedPrompts inner; // prompts only: the sink is still the recorder
            ReportStep("送信中");
            EXPECT_EQ(progress.shown.size(), 2u);
            EXPECT_FALSE(Prompts().AskYesNo("t", "q2", UserPrompts::Icon::Warning, false));
            EXPECT_EQ(inner.questions.size(), 1u);
        }
        EXPECT_EQ(outer.questions.size(), 1u);
    }
    EXPECT_EQ(&RunContext::Current().Prompts(), &outer);
    EXPECT_EQ(RunContext::Current().Progress(), nullptr);
    ReportStep("誰も見ていない"); // no sink left: dropped, not a crash
}

TEST(RunContext, ACancelBelongsToTheContextItWasAskedOfAndIsSeenFromOtherThreads) {
    ScriptedPrompts outer;
    {
        RecordedProgress run;
        EXPECT_FALSE(CancelRequested());
        // The transfer threads ask for the flag while the user presses the button on the GUI thread.
        std::thread([] { RequestCancel(); }).join();
        EXPECT_TRUE(CancelRequested());
        EXPECT_THROW(ThrowIfCancelled(), ECancelled);
    }
    // The next run does not start stopped.
    EXPECT_FALSE(CancelRequested());
    EXPECT_NO_THROW(ThrowIfCancelled());
}
