#include "tenebrant.h"

#include <allegro.h>
#include <stdint.h>

/* Border sides, numbered in the order the corner walk visits them: along the top towards the
 * left, down the left edge, along the bottom towards the right, up the right edge. */
enum { NORTH = 0, WEST = 1, SOUTH = 2, EAST = 3, SIDE_COUNT = 4 };

static const int border_north = 0;
static const int border_west = 0;

/* Inputs beyond this magnitude are ignored: within it every product of two coordinate
 * differences fits in 64 bits with room for the sums. */
static const int coord_limit = 1 << 30;

static const int max_vertices = 8;

static int shrouder[2 * max_vertices];
static int shrouder_count;

static int light_x, light_y;
/* One row below the last row, and the last column: the shadow reaches exactly to the edge. */
static int border_south, border_east;
static int start_side, end_side;

static bool on_right(int x1, int y1, int x2, int y2, int px, int py) {
    const int64_t cross =
        (int64_t(x2) - x1) * (int64_t(py) - y1) - (int64_t(y2) - y1) * (int64_t(px) - x1);
    return cross > 0;
}

static void wrap_add(int *value, int delta, int modulus) {
    const int sum = *value + delta;
    const int rest = sum % modulus;
    *value = rest < 0 ? modulus + rest : rest;
}

/* Clamps a border coordinate computed in 64 bits onto [low, high]; a clamped value moves the
 * hit onto the side it reached. Returns the coordinate, now certain to fit an int. */
static int clamp_to_border(int64_t value, int high, int high_side, int low, int low_side,
                           int *out_side) {
    if (value >= high) {
        value = high;
        *out_side = high_side;
    }
    if (value <= low) {
        value = low;
        *out_side = low_side;
    }
    return int(value);
}

static void ray_to_rect_border(int *out_x, int *out_y, int px, int py, int *out_side) {
    const int64_t lx = light_x, ly = light_y;
    const int64_t dx = px - lx, dy = py - ly;

    if (dy == 0) {
        *out_y = light_y;
        *out_x = dx > 0 ? border_east : border_west;
        *out_side = dx > 0 ? EAST : WEST;
        return;
    }
    if (dx == 0) {
        *out_x = light_x;
        *out_y = dy > 0 ? border_south : border_north;
        *out_side = dy > 0 ? SOUTH : NORTH;
        return;
    }
    /* The ray meets the line of the side border it heads for, then the line of the top or
     * bottom border; whichever of the two lies on the border itself names the side, and when
     * both do (a ray through a corner) the side border wins. */
    const int64_t y = dx > 0 ? (border_east - lx) * dy / dx + ly : -dy * lx / dx + ly;
    *out_y = clamp_to_border(y, border_south, SOUTH, border_north, NORTH, out_side);
    const int64_t x = dy > 0 ? (border_south - ly) * dx / dy + lx : -dx * ly / dy + lx;
    *out_x = clamp_to_border(x, border_east, EAST, border_west, WEST, out_side);
}

/* The corner at the end of each side, in walking order. */
static void side_end_corner(int side, int *x, int *y) {
    *x = side == SOUTH || side == EAST ? border_east : border_west;
    *y = side == WEST || side == SOUTH ? border_south : border_north;
}

/* Walks the border counter-clockwise from the second hit's side back to the first hit's side,
 * appending the corner at the end of every side it leaves; since the light is on the segment's
 * right, this direction encloses exactly the region behind the segment. */
static void expand_shrouder_to_edges() {
    while (end_side != start_side) {
        side_end_corner(end_side, &shrouder[2 * shrouder_count], &shrouder[2 * shrouder_count + 1]);
        wrap_add(&end_side, 1, SIDE_COUNT);
        shrouder_count++;
    }
}

static bool within_limit(int v) {
    return v >= -coord_limit && v <= coord_limit;
}

void add_shrouder(BITMAP *bmp, int lx, int ly, int x1, int y1, int x2, int y2) {
    const bool in_range = within_limit(lx) && within_limit(ly) && within_limit(x1) &&
                          within_limit(y1) && within_limit(x2) && within_limit(y2);
    if (!in_range || !on_right(x1, y1, x2, y2, lx, ly))
        return;

    light_x = lx;
    light_y = ly;
    shrouder_count = 4;
    border_east = bmp->w - 1;
    border_south = bmp->h;

    ray_to_rect_border(&shrouder[0], &shrouder[1], x1, y1, &start_side);
    shrouder[2] = x1;
    shrouder[3] = y1;
    shrouder[4] = x2;
    shrouder[5] = y2;
    ray_to_rect_border(&shrouder[6], &shrouder[7], x2, y2, &end_side);
    expand_shrouder_to_edges();

    acquire_bitmap(bmp);
    polygon(bmp, shrouder_count, shrouder, makecol_depth(bitmap_color_depth(bmp), 0, 0, 0));
    release_bitmap(bmp);
}

void add_2_way_shrouder(BITMAP *bmp, int lx, int ly, int x1, int y1, int x2, int y2) {
    add_shrouder(bmp, lx, ly, x1, y1, x2, y2);
    add_shrouder(bmp, lx, ly, x2, y2, x1, y1);
}

void add_shrouder(BITMAP *bmp, int lx, int ly, int count, const int *points) {
    if (count < 1)
        return;
    const int *last = points + 2 * (count - 1);
    for (const int *p = points; p < last; p += 2)
        add_shrouder(bmp, lx, ly, p[0], p[1], p[2], p[3]);
    add_shrouder(bmp, lx, ly, last[0], last[1], points[0], points[1]);
}
