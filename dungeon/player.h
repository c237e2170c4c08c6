/* The player, a torch bearer walked with the keys through the level, and the view that
 * follows. The player's body is a square box around its centre; it never overlaps a tile that
 * is not floor, nor a door, and it slides along what stops it. World pixels. */
#ifndef DUNGEON_PLAYER_H
#define DUNGEON_PLAYER_H

struct dungeon;

/* The body reaches this far from its centre each way. */
static const int player_half_size = 5;
/* Pixels a second, diagonals included. */
static const double player_speed = 160.0;

struct player {
    double x, y;
};

/* True when the square reaching `half` pixels each way from (x, y) overlaps no wall, rock or
 * door: where a body or a lamp of that size may stand. */
bool box_fits(const dungeon *level, double x, double y, double half);

/* True when the player's body centred on (x, y) overlaps no wall, rock or door. */
bool body_fits(const dungeon *level, double x, double y);

/* Walks the player by `elapsed_ms` in the direction (step_x, step_y), each -1, 0 or 1, at
 * player_speed. Each axis moves on its own, in steps shorter than anything that stops it, up to
 * contact: blocked along one axis, the player slides along the other, and never passes between
 * two blocks that touch at a corner. */
void walk_player(const dungeon *level, player *p, int step_x, int step_y, double elapsed_ms);

struct view {
    double x, y; /* the world point at the screen's top-left pixel */
};

/* The view centred on the player, kept inside the world. */
view view_on(const player &p);

/* Moves the view by `elapsed_ms` towards view_on(p): most of the way within a fraction of a
 * second, smoothly, whatever the frame rate. */
void follow_player(view *v, const player &p, double elapsed_ms);

#endif
