#include "stone.h"

#include <allegro.h>

#include "generate.h"

/* Paving: slabs of two tiles a side, every other row shifted by half a slab. */
static const int slab_size = 2 * tile_size;
static const int mortar_width = 2;
static const int brick_width = tile_size, brick_height = tile_size / 2;
/* Largest change of a slab's or brick's shade, and of a single pixel's. */
static const int slab_shade_range = 14, grain_range = 6;

struct rgb {
    int r, g, b;
};
static const rgb slab_colour{196, 182, 156}, floor_mortar{92, 84, 76};
static const rgb brick_colour{168, 132, 108}, wall_mortar{70, 60, 54}, wall_rim{222, 196, 166};
static const rgb rock_colour{14, 12, 16};

static int colour(rgb c) {
    return makecol(c.r, c.g, c.b);
}

static int clamp_channel(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

static rgb shaded(rgb c, int shade) {
    return {clamp_channel(c.r + shade), clamp_channel(c.g + shade), clamp_channel(c.b + shade)};
}

/* A well-mixed number from a few integers: the same pattern for the same dungeon. */
static uint32_t mix(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h =
        a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

static int shade_from(uint32_t hash, int range) {
    return int(hash % uint32_t(2 * range + 1)) - range;
}

static rgb floor_pixel(uint32_t seed, int x, int y) {
    const int row = y / slab_size, shifted_x = x + (row % 2) * (slab_size / 2);
    const int column = shifted_x / slab_size;
    const int in_x = shifted_x % slab_size, in_y = y % slab_size;
    const int grain = shade_from(mix(seed, x, y), grain_range);
    if (in_x < mortar_width || in_y < mortar_width)
        return shaded(floor_mortar, grain);
    return shaded(slab_colour, shade_from(mix(seed, column, row), slab_shade_range) + grain);
}

static bool beside_floor(const dungeon *level, int column, int row) {
    return tile_at(level, column + 1, row) == floor_tile ||
           tile_at(level, column - 1, row) == floor_tile ||
           tile_at(level, column, row + 1) == floor_tile ||
           tile_at(level, column, row - 1) == floor_tile;
}

/* Bricks in courses of half a tile, every other course shifted by half a brick; the tiles that
 * face the floor get a pale rim so the walls' outlines read in any light. */
static rgb wall_pixel(const dungeon *level, int x, int y) {
    const int column = x / tile_size, row = y / tile_size;
    const int in_x = x % tile_size, in_y = y % tile_size;
    const int grain = shade_from(mix(level->seed, x, y), grain_range);
    if (beside_floor(level, column, row) &&
        (in_x == 0 || in_y == 0 || in_x == tile_size - 1 || in_y == tile_size - 1))
        return shaded(wall_rim, grain);
    const int course = y / brick_height, shifted_x = x + (course % 2) * (brick_width / 2);
    if (y % brick_height == 0 || shifted_x % brick_width == 0)
        return shaded(wall_mortar, grain);
    const int brick = shifted_x / brick_width;
    return shaded(brick_colour,
                  shade_from(mix(~level->seed, brick, course), slab_shade_range) + grain);
}

/* Rock is one colour: only the floor and wall tiles are drawn pixel by pixel. */
void draw_stone(BITMAP *stone, const dungeon *level) {
    clear_to_color(stone, colour(rock_colour));
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            const tile_kind kind = tile_at(level, column, row);
            if (kind == rock_tile)
                continue;
            for (int y = row * tile_size; y < (row + 1) * tile_size; y++)
                for (int x = column * tile_size; x < (column + 1) * tile_size; x++)
                    putpixel(stone, x, y,
                             colour(kind == floor_tile ? floor_pixel(level->seed, x, y)
                                                       : wall_pixel(level, x, y)));
        }
}
