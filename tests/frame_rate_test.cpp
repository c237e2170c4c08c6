/* The readout's counter, driven by an injected clock. */
#include "frame_rate.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string tick(frame_rate *counter, double now) {
    char text[frame_rate_text_size];
    frame_rate_tick(counter, now, text);
    return text;
}

/* Frame 0 comes at `first` ms and is measured against 1.5 ms; frame 60 comes `sample` ms
 * later. The 59 frames between, at any times, show frame 0's readout unchanged. */
TEST(FrameRate, ShowsTheRateOfTheLatestSample) {
    const struct {
        double first, sample;
        const char *at_0, *at_60;
    } cases[] = {
        {1001.5, 1000.0, "    60.0 FPS", "    60.0 FPS"},
        {1501.5, 1500.0, "    40.0 FPS", "    40.0 FPS"},
        {16.5, 0.5, "  4000.0 FPS", "120000.0 FPS"},
        {1.5, 0.0, "     --- FPS", "     --- FPS"},  /* no time: no number, same width */
        {0.0, 16.0, "     --- FPS", "  3750.0 FPS"}, /* a first frame before 1.5 ms */
    };
    for (const auto &c : cases) {
        frame_rate counter;
        EXPECT_EQ(tick(&counter, c.first), c.at_0) << c.first;
        for (int frame = 1; frame < 60; frame++)
            ASSERT_EQ(tick(&counter, c.first + frame * 1000.0), c.at_0) << frame;
        EXPECT_EQ(tick(&counter, c.first + c.sample), c.at_60) << c.sample;
    }
}

/* A run long enough to reach the largest frame number keeps sampling every 60 frames. */
TEST(FrameRate, LongRunsKeepTheCadenceWithoutOverflow) {
    frame_rate counter;
    counter.frame_number = INT_MAX - 130;
    std::string last = tick(&counter, 0.0);
    std::vector<int> changes;
    for (int i = 1; i < 240; i++) {
        const std::string text = tick(&counter, double(i) * i); /* every sample a new rate */
        if (text != last)
            changes.push_back(i);
        last = text;
        ASSERT_GE(counter.frame_number, 0);
    }
    ASSERT_EQ(changes.size(), 4u);
    for (size_t k = 1; k < changes.size(); k++)
        EXPECT_EQ(changes[k] - changes[k - 1], 60);
}

} // namespace
