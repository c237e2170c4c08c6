/* One frame of the dungeon, drawn into a bitmap of the screen's size: the stone and the doors
 * at the view, lit by the light map, then the flames, the guards, the player, the pointer, the
 * status line, the map (M) and the help (H). */
#ifndef DUNGEON_FRAME_H
#define DUNGEON_FRAME_H

#include <vector>

#include "fog_map.h"
#include "generate.h"
#include "lighting.h"
#include "player.h"

struct BITMAP;
struct light_map;
struct frame_rate;

/* Milliseconds a frame, each timed on its own and averaged over recent frames. */
struct frame_timings {
    double lighting_ms, apply_ms;
};

/* The player's lantern: a cone aimed at the pointer, its edge fading over lantern_edge
 * degrees, and a small glow all round. The lantern is a point: its long reach past the
 * corners of the walls would cost several times the whole frame in penumbrae. */
static const int lantern_reach = 360, min_lantern_reach = 120, max_lantern_reach = 800;
static const double lantern_half_angle = 32.0, lantern_edge = 14.0;
static const int lantern_size = 0;
static const int glow_reach = 96;

/* Everything a frame shows. */
struct scene {
    dungeon *level;
    BITMAP *stone;    /* the world's floor and walls, from draw_stone */
    light_map *baked; /* the wall lamps, world-sized */
    light_map *map;   /* the frame's lights, screen-sized */
    fog_map *fog;
    player you;
    view at;
    int aim_x, aim_y; /* the pointer, on the screen */
    int lantern_reach;
    const lamp *lamps; /* the wandering lights, then the dropped ones */
    int lamp_count, dropped;
    bool soft, map_shown, help_shown;
    frame_rate *counter;
    frame_timings shown;               /* what the status line reads */
    int lights_in_view;                /* on the last frame */
    std::vector<light_source> in_view; /* the moving lights added this frame, kept for the next */
};

/* Where the status line and the help panel's title start, as the tests read them. */
static const int status_x = 8, status_y = 4;
static const int help_width = 600, help_height = 300, help_padding = 16;
static const int help_x = (screen_width - help_width) / 2;
static const int help_y = (screen_height - help_height) / 2;
static const int cursor_radius = 7;

/* Colours the tests look for: drawn over the light, exactly. */
static const int player_colour[] = {0, 255, 0};
static const int guard_calm_colour[] = {70, 150, 255}, guard_alarmed_colour[] = {255, 0, 0};
static const int player_radius = player_half_size, guard_radius = 6;

/* Makes the scene's world-sized stone and baked map, its screen-sized frame map and the fog
 * map for `level`, with the lantern's usual reach and soft lamps, counting frames on
 * `counter`. False when memory runs out; free_scene frees whatever was made either way. */
bool make_scene(scene *s, dungeon *level, fog_map *fog, frame_rate *counter);
void free_scene(scene *s);

/* Every light in the world: the wall lamps, the lamps, the guards' cones, the lantern and the
 * glow. */
int lights_in_world(const scene *s);

/* Draws the frame and counts it. */
void draw_dungeon_frame(BITMAP *bmp, scene *s);

#endif
