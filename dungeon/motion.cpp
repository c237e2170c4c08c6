#include "motion.h"

void move_level(dungeon *level, wanderer *wanderers, int count, door_opener *openers, double x,
                double y, double elapsed_ms) {
    move_guards(&level->guards, level->walls, x, y, elapsed_ms);
    move_wanderers(level, wanderers, count, elapsed_ms);
    openers[0] = door_opener{x, y};
    for (int i = 0; i < count; i++)
        openers[i + 1] = door_opener{wanderers[i].x, wanderers[i].y};
    move_doors(&level->doors, level->walls, openers, count + 1, elapsed_ms);
}
