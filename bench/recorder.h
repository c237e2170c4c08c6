/* The polygons a drawing routine fills, captured as it calls Allegro's polygon() and replayed
 * later: the floor that the shadow module is measured against. */
#ifndef BENCH_RECORDER_H
#define BENCH_RECORDER_H

#include <allegro.h>

#include <functional>
#include <vector>

struct recorded_polygon {
    std::vector<int> points; /* x0, y0, x1, y1, ... */
    int colour;
};

/* Runs `draw` on `bmp` with every polygon() on it recorded instead of filled; other drawing
 * goes through as usual. */
std::vector<recorded_polygon> record_polygons(BITMAP *bmp,
                                              const std::function<void(BITMAP *)> &draw);

/* Fills the polygons on `bmp` with polygon(), in order. */
void fill_polygons(BITMAP *bmp, const std::vector<recorded_polygon> &polygons);

#endif
