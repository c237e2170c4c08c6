/* A dungeon made from a seed: its layout (layout.h), every wall tile in one shrouder set
 * inside clockwise boxes, and its doors, guards and wall lamps. World coordinates are pixels,
 * as in the layout. */
#ifndef DUNGEON_GENERATE_H
#define DUNGEON_GENERATE_H

#include <vector>

#include "doors.h"
#include "guards.h"
#include "layout.h"
#include "wall_lamps.h"

struct shrouder_set;

struct dungeon : layout {
    shrouder_set *walls = nullptr; /* clockwise boxes over the wall tiles, and the doors */
    std::vector<door> doors;
    std::vector<guard> guards;
    std::vector<wall_lamp> wall_lamps;
};

/* Makes the dungeon of `seed` in `level`, replacing what it held: the tiles and their walls,
 * then the doors, the guards and the wall lamps. The same seed always makes the same dungeon.
 * False when memory runs out (the level then holds no walls). */
bool generate_dungeon(dungeon *level, uint32_t seed);

/* Frees the level's shrouder set. */
void free_dungeon(dungeon *level);

#endif
