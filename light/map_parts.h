/* Internal to the light maps: the map's layout and the scratch one lamp works in, shared by
 * the map's files (map, lamp raster, penumbra, apply). */
#ifndef LIGHT_MAP_PARTS_H
#define LIGHT_MAP_PARTS_H

#include "penumbra.h"

#include <stddef.h>
#include <stdint.h>
#include <utility>
#include <vector>

struct BITMAP;
struct cast_scratch;
struct coverage_run;
struct worker_pool;

static const int light_channels = 3;

/* The columns first .. last of a row, in 64 bits: empty when first > last. */
struct column_span {
    int64_t first, last;
};

/* All the mutable memory a lamp needs while it is added: a thread adding lamps to rows of a
 * map with a scratch of its own shares nothing else with other threads. */
struct lamp_scratch {
    BITMAP *shadow;        /* 8 bpp, the map's size: the lamp's hard shadows, cast in its box */
    bool owns_shadow;      /* threads working on rows of their own share the map's mask */
    uint16_t *weights;     /* falloff weights of a run of columns, shared by a pair of rows */
    uint16_t *cone;        /* those weights times the cone, for one row */
    float *shares;         /* the share of the disc seen from each pixel of an exact run */
    uint16_t *row_weights; /* one row's weights, cut down by the shares of its exact runs */
    /* The stretches a pair of rows lights, the row above's, the row below's and either's: each
     * holds as many as a row can (half its columns and one). */
    column_span *stretches[3];
    cast_scratch *cast;   /* the set's working memory while it casts the mask or the runs */
    coverage_run *wanted; /* the columns of each row a point lamp can light */
    penumbra_scratch penumbra;
};

/* A disc lamp's penumbrae worked out before its rows are lit, for every band of rows to read:
 * its blockers and exact runs, and the share of the disc each pixel of the runs sees where the
 * lamp lights it (run i's column x0 + k at shares[share_start[i] + k]). */
struct found_penumbrae {
    penumbra_scratch penumbra;
    bool found = false; /* false for a lamp that adds nothing or has hard shadows */
    std::vector<float> shares;
    std::vector<size_t> share_start;
};

struct light_map {
    int w, h;
    int view_x, view_y;
    uint8_t cleared[light_channels]; /* the level of the last clear */
    uint8_t *levels; /* red, green and blue planes of w x h levels, one after the other */
    lamp_scratch scratch;
    /* add_lights: the threads asked for (0: one per core), the pool once started, the scratch
     * of each of its threads but the caller's, which works in `scratch`, and each row's share
     * of a frame's work. */
    int threads;
    worker_pool *pool;
    std::vector<lamp_scratch> band_scratch;
    /* add_lights: each lamp's penumbrae, found once for every band, and the order their shares
     * are worked out in (exact pixels, lamp). */
    std::vector<found_penumbrae> lamp_penumbrae;
    std::vector<std::pair<size_t, int>> share_order;
    std::vector<double> row_work;
};

inline uint8_t *map_plane(const light_map *map, int channel) {
    return map->levels + size_t(channel) * size_t(map->w) * size_t(map->h);
}

/* Allocates and frees a scratch for a map of w x h pixels, with a mask of its own or the one
 * given; false when memory runs out. */
bool create_lamp_scratch(lamp_scratch *s, int w, int h, BITMAP *shared_shadow = NULL);
void destroy_lamp_scratch(lamp_scratch *s);

struct light_source;
struct shrouder_set;

/* Gathers the blockers of a disc lamp and finds its exact runs over its box on the map, in
 * f->penumbra; f->found is false, with nothing found, for a lamp that adds nothing or has hard
 * shadows. */
void find_lamp_penumbrae(found_penumbrae *f, const light_map *map, const shrouder_set *set,
                         const light_source *light);

/* Works out the shares of the exact runs find_lamp_penumbrae found for the lamp, where it
 * lights them; false, with f->found cleared, when memory runs out. */
bool work_out_shares(found_penumbrae *f, const light_map *map, const light_source *light);

/* Adds the lamp to the rows first .. last of the map only, working in the scratch given, with
 * the penumbrae and shares worked out for it, or NULL to work them out. */
void add_light_to_rows(light_map *map, lamp_scratch *s, const shrouder_set *set,
                       const light_source *light, int first, int last,
                       const found_penumbrae *found);

/* Stops the map's threads and frees their scratch. */
void stop_light_threads(light_map *map);

#endif
