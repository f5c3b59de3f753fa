// The wake-up of the UI thread's event loop, whichever implementation CMake chose.
#include "ThreadTestUtil.h"
#include "platform/wake/WakeUp.h"

#include <QCoreApplication>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(WakeUpTest, SignalsFromAnotherThreadFoldIntoOneRunOnTheOwnersThread)
{
    const std::thread::id ui = std::this_thread::get_id();
    int runs = 0;
    std::thread::id ranOn;
    TWakeUp wake([&] {
        ++runs;
        ranOn = std::this_thread::get_id();
    });
    ASSERT_TRUE(wake.IsValid());

    std::thread worker([&] {
        for (int i = 0; i < 5; ++i)
            wake.Signal();
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return runs > 0; }));
    PumpFor(50); // a wake left over from the five would run here
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ranOn, ui);

    // Folding ends with the run: the next signal brings the next run, also from inside one.
    TWakeUp again([&] {
        if (++runs == 2)
            again.Signal();
    });
    again.Signal();
    EXPECT_TRUE(PumpUntil([&] { return runs == 3; }));

    again.Disable();
    std::thread late([&] { again.Signal(); });
    late.join();
    PumpFor(50);
    EXPECT_EQ(runs, 3);
}

TEST(WakeUpTest, GoingOnAnotherThreadRunsNothingMore)
{
    std::atomic<int> runs{0};
    auto wake = std::make_unique<TWakeUp>([&] { ++runs; });
    wake->Signal();
    std::thread([&] { wake.reset(); }).join();
    PumpFor(50);
    EXPECT_EQ(runs.load(), 0);
}

} // namespace
