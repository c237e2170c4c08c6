/* What moves in a level by itself, a frame at a time: the guards, the wandering lights and the
 * doors they and the player open. */
#ifndef DUNGEON_MOTION_H
#define DUNGEON_MOTION_H

#include "generate.h"
#include "wanderers.h"

/* Moves the level on by `elapsed_ms` with the player at (x, y): the guards look for the player
 * and walk on unless they see it, the `count` wanderers walk, then the doors slide for the
 * player and the wanderers. `openers` (count + 1 of them: the player, then the wanderers) holds
 * where those stand. */
void move_level(dungeon *level, wanderer *wanderers, int count, door_opener *openers, double x,
                double y, double elapsed_ms);

#endif
