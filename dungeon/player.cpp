#include "player.h"

#include <math.h>

#include "generate.h"

/* Shorter than the thinnest thing that stops the player (a door), so no step jumps over it. */
static const double max_step_px = 4.0;
/* Halvings that find the contact after a blocked step: to 1/256 of a step. */
static const int contact_halvings = 8;
/* A long pause (a dragged window, a debugger) moves the player no further than this. */
static const double max_walk_ms = 100.0;
/* The view closes this share of its distance to the player each second: e^-8 left after one. */
static const double follow_rate = 8.0;

static bool tiles_fit(const dungeon *level, double x0, double y0, double x1, double y1) {
    const int c0 = int(floor(x0 / tile_size)), c1 = int(ceil(x1 / tile_size)) - 1;
    const int r0 = int(floor(y0 / tile_size)), r1 = int(ceil(y1 / tile_size)) - 1;
    for (int row = r0; row <= r1; row++)
        for (int column = c0; column <= c1; column++)
            if (tile_at(level, column, row) != floor_tile)
                return false;
    return true;
}

bool box_fits(const dungeon *level, double x, double y, double half) {
    const double x0 = x - half, x1 = x + half, y0 = y - half, y1 = y + half;
    if (!tiles_fit(level, x0, y0, x1, y1))
        return false;
    for (const door &d : level->doors)
        if (door_blocks(d, x0, y0, x1, y1))
            return false;
    return true;
}

bool body_fits(const dungeon *level, double x, double y) {
    return box_fits(level, x, y, player_half_size);
}

/* The farthest share of (dx, dy) that the body can move from where it is, found by halving. */
static double free_share(const dungeon *level, const player &p, double dx, double dy) {
    if (body_fits(level, p.x + dx, p.y + dy))
        return 1.0;
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < contact_halvings; i++) {
        const double mid = (lo + hi) / 2;
        (body_fits(level, p.x + dx * mid, p.y + dy * mid) ? lo : hi) = mid;
    }
    return lo;
}

void walk_player(const dungeon *level, player *p, int step_x, int step_y, double elapsed_ms) {
    if (step_x == 0 && step_y == 0)
        return;
    const double ms = elapsed_ms < max_walk_ms ? elapsed_ms : max_walk_ms;
    const double length = sqrt(double(step_x * step_x + step_y * step_y));
    const double distance = player_speed * ms / 1000.0;
    const double dx = step_x / length * distance, dy = step_y / length * distance;
    const int steps = int(ceil(fmax(fabs(dx), fabs(dy)) / max_step_px));
    for (int i = 0; i < steps; i++) {
        p->x += dx / steps * free_share(level, *p, dx / steps, 0);
        p->y += dy / steps * free_share(level, *p, 0, dy / steps);
    }
}

static double clamp(double v, double lo, double hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

view view_on(const player &p) {
    return {clamp(p.x - screen_width / 2.0, 0, world_width - screen_width),
            clamp(p.y - screen_height / 2.0, 0, world_height - screen_height)};
}

void follow_player(view *v, const player &p, double elapsed_ms) {
    const view target = view_on(p);
    const double keep = exp(-follow_rate * elapsed_ms / 1000.0);
    v->x = target.x + (v->x - target.x) * keep;
    v->y = target.y + (v->y - target.y) * keep;
}
