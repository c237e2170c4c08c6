/* Memory bitmaps for the benchmarks, with Allegro started headless on first use. */
#ifndef BENCH_BITMAPS_H
#define BENCH_BITMAPS_H

#include <allegro.h>

static const int demo_width = 640, demo_height = 480;

/* Starts Allegro without a display, once; aborts if it cannot. */
void start_allegro();

/* A bitmap of the given size and colour depth, made once and kept for the whole run. The
 * depth also becomes the current one, so makecol matches it. */
BITMAP *bench_bitmap(int bpp, int width, int height);

#endif
