/* The hand-written alternative that many-light frames are compared with: per light, an angular
 * sweep over the edges within its reach gives the polygon it sees, and the polygon's spans are
 * lit directly, with no shadow mask. Its levels are three planes of bytes, like a light map's. */
#ifndef BENCH_SWEEP_LIGHTS_H
#define BENCH_SWEEP_LIGHTS_H

#include <stdint.h>
#include <vector>

#include "set_edges.h"

struct shrouder_set;

/* An endpoint's angle: edge + 1 where an edge starts, -(edge + 1) where it ends, 0 for a ray
 * that only bounds the polygon's steps. */
struct sweep_event {
    double angle;
    int edge;
};

struct sweep_map {
    int w, h;
    std::vector<uint8_t> levels; /* red, green, blue planes of w x h */
    /* Working memory, kept from light to light. */
    std::vector<set_edge_copy> edges;
    std::vector<sweep_event> events;
    std::vector<int> active;
    std::vector<double> fan;
    std::vector<uint16_t> weights;
        /* falloff of a span, 256 at the light */ /* x, y of the seen polygon's points, in angle
                                                     order */
};

void sweep_clear(sweep_map *map, int r, int g, int b);

/* Adds a light of linear falloff at (x, y) in the map's coordinates. */
void sweep_add_light(sweep_map *map, const shrouder_set *set, int x, int y, int radius, int r,
                     int g, int b);

#endif
