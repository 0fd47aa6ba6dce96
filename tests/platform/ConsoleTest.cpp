#include "platform/Console.h"
#include "platform/RunControl.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>

#ifndef _WIN32 // POSIX only: signals (Windows hears Ctrl+C through its console)
namespace {

std::atomic<int> earlierHandlerCalls{0};
extern "C" void earlierHandler(int) {
    earlierHandlerCalls.fetch_add(1);
}

} // namespace

TEST(Console, AnInterruptCancelsTheRunOfTheHandlerAndTheEarlierHandlerComesBack) {
    std::signal(SIGINT, earlierHandler);
    std::signal(SIGTERM, earlierHandler);
    RunContext outer(nullptr);
    {
        RunContext run(nullptr);
        InterruptHandler handler(run);
        std::raise(SIGINT);
        EXPECT_TRUE(run.CancelRequested());
        EXPECT_FALSE(outer.CancelRequested());
        EXPECT_EQ(earlierHandlerCalls.load(), 0);
    }
    {
        RunContext run(nullptr);
        InterruptHandler handler(run);
        std::raise(SIGTERM); // what a CI system sends to stop a job
        EXPECT_TRUE(run.CancelRequested());
    }
    std::raise(SIGINT);
    std::raise(SIGTERM);
    EXPECT_EQ(earlierHandlerCalls.load(), 2);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

TEST(Console, ASecondInterruptEndsTheProgramAtOnce) {
    EXPECT_EXIT(
        {
            RunContext run(nullptr);
            InterruptHandler handler(run);
            std::raise(SIGINT);
            if (run.CancelRequested())
                std::raise(SIGINT);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGINT), "");
}
#endif
