#pragma once

#include "ThreadTestUtil.h"
#include "core/net/FetchEngine.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

// A test of one feed (a viewer's or the thumbnails') on an engine of its own. At the end the
// feed's events are cleared, every transfer ends and the engine stops, so that the next case
// starts clean.
template <class TFeed> class TFeedTest : public ::testing::Test
{
protected:
    void SetUp() override { Engine = std::make_shared<TFetchEngine>(); }
    void TearDown() override
    {
        if (Thread) {
            Thread->ClearEvents();
            Thread.reset();
        }
        EXPECT_TRUE(PumpUntil([this] { return Engine->Tasks() == 0; }, 15000));
        EXPECT_TRUE(Engine->Stop(std::chrono::milliseconds(5000)));
    }

    std::shared_ptr<TFetchEngine> Engine;
    std::shared_ptr<TFeed> Thread;
};
