/* Lamps fixed to the rooms' walls: lit once per level into a world-sized light map. World
 * pixels. */
#ifndef DUNGEON_WALL_LAMPS_H
#define DUNGEON_WALL_LAMPS_H

#include <vector>

#include "doors.h"

struct layout;

static const int wall_lamp_reach = 150;
/* The radius of a lamp's flame. A lamp stands at least this far from every wall, since a lamp
 * whose disc crosses a wall lights its far side. */
static const int wall_lamp_size = 5;

struct wall_lamp {
    int x, y;
    int r, g, b;
};

/* Up to four lamps in each room, at the middles of its walls, each on the floor tile
 * against the wall. A lamp whose reach would touch a door in any of its places is left out:
 * its light is lit once, and a door that moves would not shade it. Needs the doors placed. */
void place_wall_lamps(const layout &plan, const std::vector<door> &doors,
                      std::vector<wall_lamp> *lamps);

#endif
