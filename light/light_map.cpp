/* A light map's life and levels: creating it, clearing it to an ambient level or from a baked
 * map, and its view of the world. Lamps are added in lamp.cpp, the map applied in
 * apply_map.cpp. */
#include "light_map.h"
#include "map_parts.h"

#include <algorithm>
#include <allegro.h>
#include <cstring>
#include <new>

/* Shadows are drawn on bitmaps up to this side; a map (4 bytes a pixel) stays within 1 GiB. */
static const int max_side = 1 << 19;
static const int64_t max_pixels = int64_t(1) << 28;

static int clamp_level(int v) {
    return std::min(std::max(v, 0), 255);
}

light_map *create_light_map(int w, int h) {
    if (w < 1 || h < 1 || w > max_side || h > max_side || int64_t(w) * h > max_pixels)
        return NULL;
    light_map *map = new (std::nothrow) light_map();
    if (!map)
        return NULL;
    map->w = w;
    map->h = h;
    map->levels = new (std::nothrow) uint8_t[size_t(light_channels) * size_t(w) * size_t(h)]();
    if (!map->levels || !create_lamp_scratch(&map->scratch, w, h)) {
        destroy_light_map(map);
        return NULL;
    }
    return map;
}

void destroy_light_map(light_map *map) {
    if (!map)
        return;
    stop_light_threads(map);
    delete[] map->levels;
    destroy_lamp_scratch(&map->scratch);
    delete map;
}

void clear_light_map(light_map *map, int r, int g, int b) {
    if (!map)
        return;
    const int level[light_channels] = {clamp_level(r), clamp_level(g), clamp_level(b)};
    for (int c = 0; c < light_channels; c++) {
        map->cleared[c] = uint8_t(level[c]);
        memset(map_plane(map, c), level[c], size_t(map->w) * size_t(map->h));
    }
}

void set_light_map_view(light_map *map, int view_x, int view_y) {
    if (!map)
        return;
    map->view_x = view_x;
    map->view_y = view_y;
}

/* The part [first, last] of the map's n pixels from `from` (world) that a baked line of
 * baked_n pixels from baked_from covers; empty when first > last. */
static void overlap(int64_t from, int n, int64_t baked_from, int baked_n, int64_t *first,
                    int64_t *last) {
    *first = std::max<int64_t>(0, baked_from - from);
    *last = std::min<int64_t>(n - 1, baked_from + baked_n - 1 - from);
}

/* One row of one channel: the baked row's stretch where it covers the row (the baked row's
 * pixel i + shift_x under the row's pixel i), the baked map's clear level elsewhere. Rows may
 * be the same memory when a map is cleared from itself: the copy goes first. */
static void copy_row(uint8_t *to, const uint8_t *baked_row, int64_t shift_x, int n, int64_t first,
                     int64_t last, uint8_t cleared) {
    if (!baked_row || first > last) {
        memset(to, cleared, size_t(n));
        return;
    }
    memmove(to + first, baked_row + (first + shift_x), size_t(last - first + 1));
    memset(to, cleared, size_t(first));
    memset(to + last + 1, cleared, size_t(n - 1 - last));
}

void clear_light_map_from(light_map *map, const light_map *baked) {
    if (!map || !baked)
        return;
    int64_t first, last;
    overlap(map->view_x, map->w, baked->view_x, baked->w, &first, &last);
    const int64_t shift_x = int64_t(map->view_x) - baked->view_x;
    const int64_t shift_y = int64_t(map->view_y) - baked->view_y;
    /* Copying a map onto itself from a lower row would overwrite rows still to be read. */
    const bool upward = shift_y < 0 || (shift_y == 0 && map == baked);
    for (int c = 0; c < light_channels; c++) {
        const uint8_t cleared = baked->cleared[c];
        for (int i = 0; i < map->h; i++) {
            const int y = upward ? map->h - 1 - i : i;
            const int64_t baked_y = y + shift_y;
            const uint8_t *from = baked_y >= 0 && baked_y < baked->h
                                      ? map_plane(baked, c) + size_t(baked_y) * size_t(baked->w)
                                      : NULL;
            copy_row(map_plane(map, c) + size_t(y) * size_t(map->w), from, shift_x, map->w, first,
                     last, cleared);
        }
    }
    for (int c = 0; c < light_channels; c++)
        map->cleared[c] = baked->cleared[c];
}
