#include "frame_rate.h"

#include <chrono>
#include <limits.h>
#include <stdio.h>

static const int frames_per_sample = 60;

/* 60 frames times the milliseconds in one second. */
static const double sample_span = frames_per_sample * 1000.0;

/* Shown when a sample spans no time (all of it within one tick of the clock, or a first
 * frame drawn before the 1.5 ms that the first sample is measured against): the rate is then
 * unknown, not infinite or negative, and the text keeps the readout's width. */
static const char unmeasured_text[] = "     --- FPS";

/* The frame number wraps at a multiple of the sample length: a long run keeps its cadence and
 * never overflows. */
static const int frame_number_wrap = INT_MAX - INT_MAX % frames_per_sample;

void frame_rate_tick(frame_rate *counter, double now_ms, char *text) {
    if (counter->frame_number % frames_per_sample == 0) {
        counter->last_frame_time = counter->current_frame_time;
        counter->current_frame_time = now_ms;
        counter->delta_time = counter->current_frame_time - counter->last_frame_time;
    }
    if (counter->delta_time > 0)
        snprintf(text, frame_rate_text_size, "%8.1f FPS", sample_span / counter->delta_time);
    else
        snprintf(text, frame_rate_text_size, "%s", unmeasured_text);
    counter->frame_number =
        counter->frame_number == frame_number_wrap - 1 ? 0 : counter->frame_number + 1;
}

using steady = std::chrono::steady_clock;
static const steady::time_point program_start = steady::now();

double elapsed_ms() {
    return std::chrono::duration<double, std::milli>(steady::now() - program_start).count();
}
