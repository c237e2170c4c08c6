/* The readout's counter, driven by an injected clock. */
#include "frame_rate.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

/* Runs `frames` frames spaced evenly from `start` to `end` ms (the last one at `end`) and
 * returns the readout of the last. */
std::string run(frame_rate *counter, int frames, double start, double end) {
    char text[frame_rate_text_size];
    for (int i = 1; i <= frames; i++)
        frame_rate_tick(counter, start + (end - start) * i / frames, text);
    return text;
}

std::string tick(frame_rate *counter, double now) {
    char text[frame_rate_text_size];
    frame_rate_tick(counter, now, text);
    return text;
}

TEST(FrameRate, ShowsTheRateOfTheLatest60Frames) {
    const struct {
        double sample_ms;
        const char *text;
    } cases[] = {
        {1000.0, "    60.0 FPS"},
        {1500.0, "    40.0 FPS"},
        {16.0, "  3750.0 FPS"},
        {0.5, "120000.0 FPS"},
    };
    for (const auto &c : cases) {
        frame_rate counter;
        tick(&counter, 10.0); /* frame 0 takes the first sample */
        run(&counter, 59, 10.0, 10.0 + c.sample_ms / 2);
        EXPECT_EQ(tick(&counter, 10.0 + c.sample_ms), c.text) << c.sample_ms << " ms";
    }
}

TEST(FrameRate, FirstSampleIsMeasuredAgainstOneAndAHalfMilliseconds) {
    frame_rate counter;
    EXPECT_EQ(tick(&counter, 1001.5), "    60.0 FPS");
    EXPECT_EQ(run(&counter, 59, 1001.5, 5000.0), "    60.0 FPS");
}

TEST(FrameRate, FramesBetweenSamplesReuseTheLastRate) {
    frame_rate counter;
    tick(&counter, 0.0 + 1.5 + 1000.0);
    run(&counter, 59, 1001.5, 1100.0);
    EXPECT_EQ(tick(&counter, 2501.5), "    40.0 FPS"); /* frame 60 samples */
    for (int frame = 61; frame < 120; frame++)
        ASSERT_EQ(tick(&counter, 2501.5 + frame), "    40.0 FPS") << frame;
    EXPECT_EQ(tick(&counter, 3501.5), "    60.0 FPS"); /* frame 120 samples */
}

TEST(FrameRate, ASampleOfNoTimeShowsNoNumber) {
    const double first_frames[] = {1.5, 1.0, 0.0};
    for (double first : first_frames) {
        frame_rate counter;
        const std::string text = tick(&counter, first);
        EXPECT_EQ(text, "     --- FPS") << first;
        EXPECT_EQ(text.size(), std::string("    60.0 FPS").size());
    }
    frame_rate counter;
    tick(&counter, 100.0);
    run(&counter, 59, 100.0, 100.0);
    EXPECT_EQ(tick(&counter, 100.0), "     --- FPS");
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
