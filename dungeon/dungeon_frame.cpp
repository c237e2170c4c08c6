#include "dungeon_frame.h"

#include <allegro.h>
#include <stdio.h>

#include "frame_rate.h"
#include "light_map.h"
#include "shrouder_set.h"

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

static const rgb guard_calm{70, 150, 255}, guard_alarmed{255, 0, 0};
static const int guard_radius = 6;
static const int lamp_radius = 3, dropped_ring_radius = 6;
static const rgb cursor_ring{255, 127, 0}, cursor_dot{0, 255, 255};
static const rgb status_text{255, 255, 255};
static const int status_bar_height = 16;

static const int help_line_height = 14;
static const rgb help_back{16, 16, 26}, help_border{200, 170, 110}, help_title{255, 210, 120};
static const char *const help_lines[] = {
    "Mouse          carry the torch",
    "Left click     drop a light of the next colour",
    "Right click    take away the nearest dropped light",
    "+ / -          a larger or smaller torch",
    "Space          a new dungeon from a new seed",
    "V (held)       do not wait for the retrace",
    "H              show or hide this help",
    "Esc            quit",
    "",
    "Guards turn red while they can see the torch.",
    "Start: dungeon [SEED [WANDERERS]]   (10 wanderers unless told)",
};
static const int help_line_count = sizeof help_lines / sizeof help_lines[0];
/* The title, a blank line, then the lines. */
static_assert(2 * help_padding + (help_line_count + 2) * help_line_height <= help_height,
              "the help's lines fit its panel");

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

void draw_stone(BITMAP *stone, const dungeon *level) {
    for (int y = 0; y < stone->h; y++)
        for (int x = 0; x < stone->w; x++) {
            rgb c = rock_colour;
            switch (tile_at(level, x / tile_size, y / tile_size)) {
            case floor_tile:
                c = floor_pixel(level->seed, x, y);
                break;
            case wall_tile:
                c = wall_pixel(level, x, y);
                break;
            case rock_tile:
                break;
            }
            putpixel(stone, x, y, colour(c));
        }
}

bool guard_sees_torch(const dungeon_view *view, tile_spot guard) {
    return is_lit_by(view->level->walls, view->torch.x, view->torch.y, tile_centre(guard.column),
                     tile_centre(guard.row));
}

static void add_light(const dungeon_view *view, const lamp &l, const shrouder_set *walls) {
    add_point_light(view->map, walls, l.x, l.y, l.radius, l.r, l.g, l.b);
}

static void add_lights(const dungeon_view *view, const shrouder_set *walls) {
    add_light(view, view->torch, walls);
    for (int i = 0; i < view->lamp_count; i++)
        add_light(view, view->lamps[i], walls);
}

/* How much of each new sample the status line's times take in: the mean of a few samples,
 * steadier than any one frame. */
static const double sample_weight = 0.25;

static double smoothed(double shown, double sample) {
    return shown + (sample - shown) * sample_weight;
}

static double time_lights(const dungeon_view *view, const shrouder_set *walls) {
    const double start = elapsed_ms();
    add_lights(view, walls);
    return elapsed_ms() - start;
}

/* The lights without their shadows, cast on the map where it holds nothing needed: before it
 * is cleared, or after it is applied. Whichever pass comes second finds the map in the cache,
 * so the order changes from one sample to the next. */
static double time_unshadowed(const dungeon_view *view, bool before_frame) {
    const bool first = (view->frame_number / frames_per_timing) % 2 == 0;
    return first == before_frame ? time_lights(view, nullptr) : 0;
}

/* The map, cleared to the ambient level, with every light added; applied to the bitmap. */
static void light_the_stone(BITMAP *bmp, dungeon_view *view) {
    const bool timed = view->frame_number % frames_per_timing == 0;
    double unshadowed = timed ? time_unshadowed(view, true) : 0;
    clear_light_map(view->map, ambient_r, ambient_g, ambient_b);
    const double lit = time_lights(view, view->level->walls);
    const double start_apply = elapsed_ms();
    apply_light_map(bmp, view->map);
    const double applied = elapsed_ms() - start_apply;
    if (!timed)
        return;
    unshadowed += time_unshadowed(view, false);
    frame_timings &shown = view->shown;
    shown = {smoothed(shown.shadows_ms, lit - unshadowed), smoothed(shown.lights_ms, unshadowed),
             smoothed(shown.apply_ms, applied)};
}

static void draw_guards(BITMAP *bmp, const dungeon_view *view) {
    for (tile_spot g : view->level->guards) {
        const int x = tile_centre(g.column), y = tile_centre(g.row);
        circlefill(bmp, x, y, guard_radius + 1, makecol(0, 0, 0));
        circlefill(bmp, x, y, guard_radius,
                   colour(guard_sees_torch(view, g) ? guard_alarmed : guard_calm));
    }
}

/* The lamps' own flames, over the light they cast; a dropped lamp has a ring. */
static void draw_lamps(BITMAP *bmp, const dungeon_view *view) {
    for (int i = 0; i < view->lamp_count; i++) {
        const lamp &l = view->lamps[i];
        const int c = makecol(l.r, l.g, l.b);
        circlefill(bmp, l.x, l.y, lamp_radius, c);
        putpixel(bmp, l.x, l.y, makecol(255, 255, 255));
        if (i >= view->lamp_count - view->dropped)
            circle(bmp, l.x, l.y, dropped_ring_radius, c);
    }
}

static void draw_cursor(BITMAP *bmp, const dungeon_view *view) {
    circle(bmp, view->torch.x, view->torch.y, cursor_radius, colour(cursor_ring));
    putpixel(bmp, view->torch.x, view->torch.y, colour(cursor_dot));
}

/* A difference of two timings can come out below zero by noise. */
static double at_least_zero(double ms) {
    return ms < 0 ? 0 : ms;
}

static void draw_status(BITMAP *bmp, dungeon_view *view) {
    char rate[frame_rate_text_size];
    frame_rate_tick(view->counter, elapsed_ms(), rate);
    char text[192];
    snprintf(text, sizeof text,
             "%s | %3d lights | %4d wall tiles | ms a frame: shadows %6.2f  lights %6.2f  "
             "apply %6.2f | H: help",
             rate, view->lamp_count + 1, view->level->wall_tiles,
             at_least_zero(view->shown.shadows_ms), view->shown.lights_ms, view->shown.apply_ms);
    rectfill(bmp, 0, 0, bmp->w - 1, status_bar_height - 1, makecol(0, 0, 0));
    textout_ex(bmp, font, text, status_x, status_y, colour(status_text), -1);
}

static void draw_help(BITMAP *bmp, const dungeon_view *view) {
    const int x = help_x, y = help_y;
    rectfill(bmp, x, y, x + help_width - 1, y + help_height - 1, colour(help_back));
    rect(bmp, x, y, x + help_width - 1, y + help_height - 1, colour(help_border));
    char title[64];
    snprintf(title, sizeof title, "Dungeon %u   (start it again with: dungeon %u)",
             unsigned(view->level->seed), unsigned(view->level->seed));
    textout_ex(bmp, font, title, x + help_padding, y + help_padding, colour(help_title), -1);
    for (int i = 0; i < help_line_count; i++)
        textout_ex(bmp, font, help_lines[i], x + help_padding,
                   y + help_padding + (i + 2) * help_line_height, colour(status_text), -1);
}

void draw_dungeon_frame(BITMAP *bmp, dungeon_view *view) {
    blit(view->stone, bmp, 0, 0, 0, 0, bmp->w, bmp->h);
    light_the_stone(bmp, view);
    view->frame_number = (view->frame_number + 1) % (2 * frames_per_timing);
    draw_guards(bmp, view);
    draw_lamps(bmp, view);
    draw_cursor(bmp, view);
    draw_status(bmp, view);
    if (view->help_shown)
        draw_help(bmp, view);
}
