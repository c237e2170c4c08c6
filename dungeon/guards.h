/* Guards that patrol their rooms with lantern cones: each walks a loop one tile inside its
 * room's walls, facing the way it walks, and stops, alarmed, while it sees the player. World
 * pixels throughout; angles in degrees, clockwise on screen from +x. */
#ifndef DUNGEON_GUARDS_H
#define DUNGEON_GUARDS_H

#include <vector>

struct layout;
struct random_stream;
struct shrouder_set;

/* Pixels a second. */
static const double guard_speed = 48.0;
/* The guard's lantern: its reach, and the cone's half angle and soft edge. */
static const int guard_cone_reach = 240;
static const double guard_cone_half_angle = 30.0, guard_cone_edge = 10.0;
/* The guards' lanterns are points, as the player's is. */
static const int guard_lantern_size = 0;
/* A guard sees the player inside its cone (within the half angle and the reach) when more than
 * this share of the player's glow reaches the guard's eye. */
static const double guard_sight_threshold = 0.5;
/* The player's glow as the guards see it: a lamp of this radius around the player's centre. */
static const int player_glow_size = 3;

static const int patrol_corners = 4;

struct guard {
    double x, y;
    int corner_x[patrol_corners], corner_y[patrol_corners]; /* the loop, in order */
    int next;                                               /* the corner it walks to */
    double facing;                                          /* degrees */
    bool alarmed;                                           /* it saw the player on its last move */
};

/* A guard in every third room, from the second on, starting at the first corner of its loop
 * and facing the second. */
void place_guards(const layout &plan, random_stream *stream, std::vector<guard> *guards);

/* True when the player at (x, y) lies in the guard's cone and more than the threshold of the
 * player's glow reaches the guard past `walls`. */
bool guard_sees(const shrouder_set *walls, const guard &g, double x, double y);

/* Each guard that sees the player at (x, y) past `walls` stops and is alarmed; the others walk
 * on by `elapsed_ms`, turning at the corners of their loops. */
void move_guards(std::vector<guard> *guards, const shrouder_set *walls, double x, double y,
                 double elapsed_ms);

#endif
