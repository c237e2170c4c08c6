/* Lights that wander the corridors on their own: each walks from tile centre to tile centre
 * along the corridors, mostly straight on, taking side passages at random and turning back only
 * at a dead end. */
#ifndef DUNGEON_WANDERERS_H
#define DUNGEON_WANDERERS_H

#include "generate.h"

/* Pixels a second. */
static const double wanderer_speed = 90.0;

struct wanderer {
    double x, y;               /* where it is, in pixels */
    int column, row;           /* the corridor tile it walks to */
    int step_column, step_row; /* the heading that brought it there */
    random_stream stream;
};

/* Puts `count` wanderers on corridor tiles of the level, chosen from the level's seed. */
void place_wanderers(const dungeon *level, wanderer *list, int count);

/* Moves each wanderer on by `elapsed_ms` of walking. */
void move_wanderers(const dungeon *level, wanderer *list, int count, double elapsed_ms);

#endif
