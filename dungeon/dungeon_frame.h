/* One frame of the dungeon, drawn into any bitmap of the level's size: the stone, lit by the
 * light map, then the guards, the lamps, the torch's cursor, the status line and the help. */
#ifndef DUNGEON_FRAME_H
#define DUNGEON_FRAME_H

#include "generate.h"

struct BITMAP;
struct light_map;
struct frame_rate;

struct lamp {
    int x, y, radius;
    int r, g, b;
};

struct frame_timings {
    double shadows_ms, lights_ms, apply_ms;
};

/* Every this many frames, the frame times its lighting for the status line: often enough to
 * follow the scene, seldom enough to be read. */
static const int frames_per_timing = 30;

/* Everything a frame shows. `lamps` are the wandering lights, then `dropped` of them that the
 * player dropped. */
struct dungeon_view {
    const dungeon *level;
    BITMAP *stone; /* the floor and the walls, from draw_stone */
    light_map *map;
    lamp torch;
    const lamp *lamps;
    int lamp_count, dropped;
    bool help_shown;
    frame_rate *counter;
    int frame_number;
    frame_timings shown; /* what the status line reads */
};

/* A cold blue dark: what the dungeon shows where no light reaches. */
static const int ambient_r = 44, ambient_g = 44, ambient_b = 64;

/* Where the status line and the help panel's title start, as the tests read them. */
static const int status_x = 8, status_y = 4;
static const int help_width = 480, help_height = 228, help_padding = 16;
static const int help_x = (level_width - help_width) / 2, help_y = (level_height - help_height) / 2;
static const int cursor_radius = 7;

/* The floor's pattern and the walls' bricks, drawn once for each dungeon. */
void draw_stone(BITMAP *stone, const dungeon *level);

bool guard_sees_torch(const dungeon_view *view, tile_spot guard);

/* Draws the frame and counts it. On every frames_per_timing-th frame the lights are also cast
 * once without their shadows, on the map while it holds nothing needed, and `shown` moves
 * towards that time as the lights', the rest of the lighting's time as the shadows', and the
 * time of applying the map. */
void draw_dungeon_frame(BITMAP *bmp, dungeon_view *view);

#endif
