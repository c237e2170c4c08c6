/* The demo's frame-rate readout: the time of 60 frames is sampled once every 60 frames, and
 * every frame shows the rate of the latest sample. */
#ifndef FRAME_RATE_H
#define FRAME_RATE_H

#include <stddef.h>

/* Room for the readout and its terminator. */
static const size_t frame_rate_text_size = 32;

/* The counter's state. The first sample is measured against current_frame_time's start
 * value, 1.5 ms. */
struct frame_rate {
    int frame_number = 0;
    double delta_time = 50.0;
    double last_frame_time = 1.0;
    double current_frame_time = 1.5;
};

/* Counts one frame drawn at `now_ms` (milliseconds of elapsed time) and writes its readout,
 * "%8.1f FPS", into `text` of frame_rate_text_size bytes. Frames 0, 60, 120 ... take a sample;
 * the frames between show the rate of the latest one. */
void frame_rate_tick(frame_rate *counter, double now_ms, char *text);

/* Milliseconds of wall time since the program started, from a monotonic clock. */
double elapsed_ms();

#endif
