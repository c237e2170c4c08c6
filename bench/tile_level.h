/* A level of square boxes on a grid, larger than the screen around it, as a shrouder set: the
 * benchmarks' lit frames and the README's picture light it. */
#ifndef BENCH_TILE_LEVEL_H
#define BENCH_TILE_LEVEL_H

#include <vector>

struct shrouder_set;

struct tile_level {
    shrouder_set *set;
    /* Centres of the cells without a box inside the screen, in a seeded random order. */
    std::vector<std::pair<int, int>> free_centres;
};

/* `boxes` boxes of `cell` px, each a clockwise outline, on cells drawn at random (seeded)
 * from a grid 1.5 times the screen_w x screen_h screen on each axis, centred on it. */
tile_level make_tile_level(int screen_w, int screen_h, int cell, int boxes, unsigned seed);

/* A colour for light i: a cycle of saturated hues. */
void light_colour(int i, int *r, int *g, int *b);

#endif
