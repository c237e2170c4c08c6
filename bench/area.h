/* Pixel areas of a set of filled polygons: how many pixels the fills write in total, and how
 * many distinct pixels they cover. */
#ifndef BENCH_AREA_H
#define BENCH_AREA_H

#include "recorder.h"

struct fill_area {
    long total;   /* summed over the polygons, overlaps counted each time */
    long covered; /* the union */
};

/* Areas of `polygons` filled on a bitmap of the given size, clipped to it as polygon() does. */
fill_area measure_area(const std::vector<recorded_polygon> &polygons, int width, int height);

#endif
