/* Doors across the corridors: each a slab that slides sideways into the wall beside the
 * passage when the player comes near, and back when the player has gone. A door is a member of
 * the level's walls set, moved with it, so its shadow follows it. World pixels throughout. */
#ifndef DUNGEON_DOORS_H
#define DUNGEON_DOORS_H

#include <vector>

struct layout;
struct random_stream;
struct shrouder_set;

/* Across a passage two tiles wide; this thick, centred on its tile. */
static const int door_length = 32, door_thickness = 6;
/* A door opens while the player, or a wandering light, is within this many pixels of the
 * door's centre: a light never passes through a closed door. */
static const int door_reach = 64;
/* Pixels a second. */
static const double door_speed = 128.0;

struct door {
    int x0, y0, x1, y1;   /* the closed door's box: x0 <= x < x1, y0 <= y < y1 */
    int along_x, along_y; /* the unit step that slides it open, into the wall */
    int open_px;          /* 0 closed .. door_length open */
    double slide;         /* the part of a pixel of sliding not yet made */
    int id;               /* its member in the walls set */
};

/* Finds places for doors in the layout's corridors, where a straight passage two tiles wide
 * has walls two tiles deep on both sides, at least some tiles apart, and lists each door in
 * `doors`, closed, as a member of `walls`. False when memory runs out. */
bool place_doors(const layout &plan, random_stream *stream, shrouder_set *walls,
                 std::vector<door> *doors);

/* Where the door's box is now: the closed box slid by open_px. */
void door_box(const door &d, int *x0, int *y0, int *x1, int *y1);

/* True when the door's box overlaps the open box x0 < x < x1, y0 < y < y1. */
bool door_blocks(const door &d, double x0, double y0, double x1, double y1);

/* Who opens doors: the player, and the wandering lights. */
struct door_opener {
    double x, y;
};

bool near_door(const door &d, door_opener o);

/* Slides every door by `elapsed_ms` towards open while one of the `count` openers is near it
 * and towards closed otherwise, moving its member in `walls` with it. */
void move_doors(std::vector<door> *doors, shrouder_set *walls, const door_opener *openers,
                int count, double elapsed_ms);

#endif
