/* Seeded tile maps for the benchmarks: square clockwise boxes on a grid, a light in the middle
 * of some free cells that lie on the bitmap. */
#ifndef BENCH_TILE_MAP_H
#define BENCH_TILE_MAP_H

#include <vector>

#include "lights.h"

struct shrouder_set;

struct tile_map {
    int tile;
    std::vector<int> boxes; /* each box as its 4 points, x, y pairs clockwise on screen */
    std::vector<light> lights;
};

/* `boxes` boxes of 24 pixels, each in a cell of the grid over a width x height bitmap drawn at
 * random, so that some boxes fall on others as the map fills up; the lights in free cells. */
tile_map make_tile_map(int boxes, int width, int height, int lights, unsigned seed);

/* Every box of the map, one outline each. */
void add_boxes(shrouder_set *set, const tile_map &map);

#endif
