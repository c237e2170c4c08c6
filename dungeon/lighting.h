/* The dungeon's lights: the wall lamps lit once per level into a world-sized map, and each
 * frame a screen-sized map started from it at the view, with the lights that move added: the
 * player's lantern and glow, the guards' cones, the wandering and the dropped lights. World
 * pixels. */
#ifndef DUNGEON_LIGHTING_H
#define DUNGEON_LIGHTING_H

#include <vector>

struct light_map;
struct light_source;
struct dungeon;

/* A cold blue dark: what the dungeon shows where no light reaches. */
static const int ambient_r = 44, ambient_g = 44, ambient_b = 64;
/* The flame's radius of every lamp that moves: soft shadows with it, hard ones without. */
static const int moving_lamp_size = 4;

/* A light that moves or is dropped: a round lamp of moving_lamp_size. */
struct lamp {
    int x, y, radius;
    int r, g, b;
};

/* Clears `baked` to the ambient level and adds every wall lamp of the level, with its flame's
 * size when `soft` and as a point otherwise. */
void bake_wall_lamps(light_map *baked, const dungeon *level, bool soft);

/* True when the disc of `radius` around (x, y) touches the screen-sized view at (vx, vy). */
bool light_in_view(int x, int y, int radius, int vx, int vy);

/* Lists `light` in `lights` when it touches the view at (vx, vy), with its size when `soft`
 * and as a point otherwise; returns 1 when it did, 0 otherwise. */
int list_light_in_view(std::vector<light_source> *lights, light_source light, int vx, int vy,
                       bool soft);

#endif
