/* Internal to the light maps: a lamp as it is added, and the row work its two ways of taking
 * its hard shadows share: lighting the gaps between the runs of shadow the set casts
 * (lit_spans.cpp), or reading a painted mask (lamp.cpp) when a lamp's rows are more than a
 * cast holds. */
#ifndef LIGHT_LAMP_ROWS_H
#define LIGHT_LAMP_ROWS_H

#include "map_parts.h"

#include <stdint.h>

struct light_map;
struct light_source;
struct shrouder_set;

namespace lamp_rows {

/* A falloff weight of full_weight is the lamp's whole colour. */
const float full_weight = 65535.0f;
const double pi = 3.14159265358979323846;

/* The inclusive range of pixels a lamp covers along one axis of the map, empty when first >
 * last. Computed in 64 bits: the lamp, its radius and the view may be anywhere in int. */
typedef column_span span;

/* The cone, for a lamp that does not light all round: its axis, and its inner and outer half
 * angles in degrees (K is 1 within inner, 0 beyond outer). */
struct cone {
    bool round;
    double ax, ay, inner, outer, cos_inner;
};

/* One lamp being added, in the map's columns and rows. */
struct lamp {
    int64_t x, y, radius;
    span columns, rows;
    uint16_t twice_colour[light_channels];
    uint8_t black;
    bool smooth, soft;
    cone k;
    lamp_scratch *s; /* where its row work is done */
    /* A disc lamp's penumbrae and shares worked out ahead, or NULL: then the scratch's. */
    const found_penumbrae *found;
};

/* The penumbrae holding a disc lamp's exact runs. */
inline const penumbra_scratch &exact_of(const lamp &l) {
    return l.found ? l.found->penumbra : l.s->penumbra;
}

/* a + b, at most 255: b is first cut to what a leaves, which vectorises to a byte minimum. */
inline uint8_t add_saturated(uint8_t a, uint8_t b) {
    return uint8_t(a + std::min(b, uint8_t(~a)));
}

/* weight x colour / full_weight, rounded: the high half of weight x (2 x colour), halved. */
inline uint8_t share(uint16_t weight, uint16_t twice_colour) {
    const uint16_t twice = uint16_t((weight * twice_colour) >> 16);
    return uint8_t((twice + 1u) >> 1);
}

/* The largest h with h * h <= v, for 0 <= v < 2^62. */
int64_t floor_sqrt(int64_t v);

/* Falloff weights, full_weight x F, of the n pixels from dx0 along the row dy from the lamp. */
void fill_weights(const lamp &l, uint16_t *weights, int n, int64_t dx0, int64_t dy);

/* The same for the columns first .. first + n - 1, computing each distance once. */
void fill_weight_row(const lamp &l, uint16_t *weights, int64_t first, int n, int64_t dy);

/* K at the offset (dx, dy) from the centre. */
float cone_share(const cone &k, double dx, double dy);

/* The columns of row dy (from the centre) where the cone may light, padded by a pixel, within
 * [*first, *last]. */
void cone_columns(const cone &k, int64_t x, int64_t dy, int64_t *first, int64_t *last);

/* Adds the lamp to n pixels of the map's row y from the column `first` with their weights,
 * but those whose byte in `shadow` (the mask's row, or NULL for none) is black. */
void light_span(light_map *map, const lamp &l, int64_t y, int64_t first, int n,
                const uint16_t *weights, const uint8_t *shadow);

/* Adds the lamp to the pixels of the mask's row y among the columns [from, end) that are not
 * black, whose weights start the scratch's weight row. */
void light_lit_runs(light_map *map, const lamp &l, int64_t y, const uint8_t *shadow, int64_t from,
                    int64_t end);

/* Adds the lamp to the rows dy above and below it from its mask, computing their falloff once. */
void light_row_pair(light_map *map, const lamp &l, int64_t dy);

/* The columns of the row dy from the centre that the lamp lights: its chord on the map, cut by
 * its cone (padded by a pixel); empty when *first > *last. */
void lit_columns(const lamp &l, int64_t dy, int64_t *first, int64_t *last);

/* The shares of the disc seen from the n pixels from column x0 of row y, which lie in the
 * lamp's exact run of that index: read where they were worked out ahead, otherwise worked out
 * now in the scratch. */
const float *shares_of_run(const lamp &l, size_t run, int64_t x0, int64_t y, int n);

/* The distances from the lamp's row to the nearest and the farthest rows it is added to. */
void row_distances(const lamp &l, int64_t *nearest, int64_t *farthest);

/* Adds a point lamp with the shadows of `set` (NULL for none): the set casts each row's runs of
 * shadow, and the lamp lights the gaps. False, with nothing added, when the lamp's rows are
 * more than a cast holds at once. */
bool light_lit_spans(light_map *map, const shrouder_set *set, const light_source &source,
                     const lamp &l);

} // namespace lamp_rows

#endif
