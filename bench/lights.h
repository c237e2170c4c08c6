/* Light positions the benchmarks cast from, on the demo's 640x480 screen. */
#ifndef BENCH_LIGHTS_H
#define BENCH_LIGHTS_H

#include <vector>

struct light {
    int x, y;
};

/* The centres of an 8 x 8 grid of cells over the screen: 64 lights, some inside outlines. */
std::vector<light> light_grid();

#endif
