#include "guards.h"

#include <math.h>

#include "layout.h"
#include "light_map.h"

static const int rooms_per_guard = 3;
/* A long pause (a dragged window, a debugger) moves a guard no further than this. */
static const double max_step_ms = 100.0;
static const double degrees_per_radian = 180.0 / M_PI;

static double heading_to(double from_x, double from_y, double to_x, double to_y) {
    return atan2(to_y - from_y, to_x - from_x) * degrees_per_radian;
}

static guard patrol_guard(const room &r) {
    guard g;
    const int left = tile_centre(r.column + 1), right = tile_centre(r.column + r.columns - 2);
    const int top = tile_centre(r.row + 1), bottom = tile_centre(r.row + r.rows - 2);
    const int xs[patrol_corners] = {left, right, right, left};
    const int ys[patrol_corners] = {top, top, bottom, bottom};
    for (int i = 0; i < patrol_corners; i++) {
        g.corner_x[i] = xs[i];
        g.corner_y[i] = ys[i];
    }
    g.x = left;
    g.y = top;
    g.next = 1;
    g.facing = heading_to(g.x, g.y, right, top);
    g.alarmed = false;
    return g;
}

void place_guards(const layout &plan, random_stream *stream, std::vector<guard> *guards) {
    guards->clear();
    /* Which of each three rooms gets the guard; never the first room, where the player
     * starts. */
    const int offset = 1 + random_between(stream, 0, rooms_per_guard - 1);
    for (size_t i = offset; i < plan.rooms.size(); i += rooms_per_guard)
        guards->push_back(patrol_guard(plan.rooms[i]));
}

/* The angle between two headings, 0 .. 180. */
static double angle_between(double a, double b) {
    const double d = fabs(fmod(a - b, 360.0));
    return d > 180.0 ? 360.0 - d : d;
}

bool guard_sees(const shrouder_set *walls, const guard &g, double x, double y) {
    const double dx = x - g.x, dy = y - g.y;
    if (dx * dx + dy * dy > double(guard_cone_reach) * guard_cone_reach)
        return false;
    if (angle_between(heading_to(g.x, g.y, x, y), g.facing) > guard_cone_half_angle)
        return false;
    return share_of_light_seen(walls, int(lround(x)), int(lround(y)), player_glow_size,
                               int(lround(g.x)), int(lround(g.y))) > guard_sight_threshold;
}

static void walk(guard *g, double distance) {
    while (distance > 0) {
        const double dx = g->corner_x[g->next] - g->x, dy = g->corner_y[g->next] - g->y;
        const double to_corner = sqrt(dx * dx + dy * dy);
        if (to_corner > distance) {
            g->x += dx * distance / to_corner;
            g->y += dy * distance / to_corner;
            return;
        }
        g->x = g->corner_x[g->next];
        g->y = g->corner_y[g->next];
        distance -= to_corner;
        const int after = (g->next + 1) % patrol_corners;
        g->facing = heading_to(g->x, g->y, g->corner_x[after], g->corner_y[after]);
        g->next = after;
    }
}

void move_guards(std::vector<guard> *guards, const shrouder_set *walls, double x, double y,
                 double elapsed_ms) {
    const double ms = elapsed_ms < max_step_ms ? elapsed_ms : max_step_ms;
    for (guard &g : *guards) {
        g.alarmed = guard_sees(walls, g, x, y);
        if (!g.alarmed)
            walk(&g, guard_speed * ms / 1000.0);
    }
}
