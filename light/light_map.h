/*
 * light_map: coloured point lights with a linear falloff over an ambient level, shadowed by
 * shrouder sets, multiplied into an Allegro 4 bitmap.
 *
 * Coordinates are integer pixels: x grows to the right, y grows downward, (0, 0) is the
 * top-left pixel of the map and of the bitmap it is applied to.
 *
 * A light map is a grid of w x h pixels holding one level per channel (red, green, blue), each
 * from 0 (black) to 255 (full). For the pixel (px, py), each channel holds
 *
 *     min(255, ambient + the sum over the lights reaching the pixel of colour x falloff),
 *     falloff = max(0, 1 - d / radius),
 *
 * where d is the distance from the light's point (x, y) to the point (px, py), and every
 * channel argument is first clamped to 0 .. 255. A light reaches a pixel unless the pixel lies
 * in the shadow its set casts from it: exactly the pixels that cast_shrouder_set (see
 * shrouder_set.h) would paint from (x, y) on a bitmap of the map's size. Lights and occluders
 * may lie anywhere within that module's range (-524288 .. 524288), inside the map or off it.
 * Any int is safe for a position or a radius: a light beyond the range is not shadowed, as the
 * set casts nothing from it, but still lights what its radius reaches. Each light names
 * its own set, so different sets give different lights their own layers of occluders (a set
 * of walls for every light, and one of low crates for the torches on the ground only).
 *
 * Accuracy: the shadows are the cast's very pixels; elsewhere each channel of the map lies
 * within 1 of the model for each light reaching the pixel, and exactly on it where none does.
 * Applying the map rounds once more, to the bitmap's channel precision.
 *
 * Cost: a light works only inside its disc clipped to the map, takes its shadows from the set
 * through a clipping rectangle of that size, and writes each pixel of the disc at most once,
 * skipping stretches its shadow covers; a huge radius costs no more than covering the map.
 * Nothing is allocated after create_light_map.
 *
 * Threading: a map holds scratch state for its lights, and casting shares the shadow module's
 * scratch state: calls are not re-entrant; use the maps and the module from one thread.
 */
#ifndef LIGHT_MAP_H
#define LIGHT_MAP_H

struct BITMAP;
struct shrouder_set;
struct light_map;

/* A map of w x h pixels, all black until cleared. NULL when w or h is below 1, when a side is
 * above 524288 or the map above 2^28 pixels, or when memory runs out. Allegro must be
 * installed (install_allegro or allegro_init) first. */
light_map *create_light_map(int w, int h);

/* Frees the map. NULL is fine. */
void destroy_light_map(light_map *map);

/* Sets every pixel of the map to the ambient level (r, g, b), each clamped to 0 .. 255: the
 * start of a frame. A NULL map is ignored. */
void clear_light_map(light_map *map, int r, int g, int b);

/* Adds the light at (x, y) of the given radius and colour (each channel clamped to 0 .. 255)
 * to every pixel it reaches, saturating at 255. The set's members hide what lies behind them
 * from this light; a NULL set hides nothing. A radius below 1 adds nothing, and a NULL map is
 * ignored. The set is only read. */
void add_point_light(light_map *map, const shrouder_set *set, int x, int y, int radius, int r,
                     int g, int b);

/* Multiplies each channel c of each pixel in the overlap of the bitmap and the map (both from
 * (0, 0), ignoring the clipping rectangle) by the map's level: c x level / 255, rounded; other
 * bits of a pixel (the alpha byte at 32 bpp) stay as they are. Works at 15, 16, 24 and 32 bpp on
 * memory bitmaps and on linear video or screen bitmaps (lines reached through bmp_write_line), and
 * returns 0. Returns -1, with the bitmap unchanged, for an 8 bpp bitmap (its colours are palette
 * indices), for any other depth, for a bitmap that is not linear, or for a NULL argument. */
int apply_light_map(BITMAP *bmp, const light_map *map);

#endif
