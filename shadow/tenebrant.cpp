#include "tenebrant.h"

#include "polygon_spans.h"
#include "shadow_polygon.h"

#include <allegro.h>
#include <stdint.h>
#include <string.h>

/* Border sides, numbered in the order the corner walk visits them: along the top towards the
 * left, down the left edge, along the bottom towards the right, up the right edge. */
enum { NORTH = 0, WEST = 1, SOUTH = 2, EAST = 3, SIDE_COUNT = 4 };

static const int border_north = 0;
static const int border_west = 0;

/* Inputs beyond this magnitude are ignored: within it the exact clipping below fits in 64 bits
 * (its largest terms are about 24 * coord_limit^3). */
static const int coord_limit = shadow_coord_limit;

/* The immediate calls' one fixed buffer: they are not re-entrant, as their header says. */
static shadow_work immediate_work;

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

static void ray_to_rect_border(const shadow_work *w, int *out_x, int *out_y, int px, int py,
                               int *out_side) {
    const int64_t lx = w->light_x, ly = w->light_y;
    const int border_east = w->border_east, border_south = w->border_south;
    const int64_t dx = px - lx, dy = py - ly;

    if (dy == 0) {
        *out_y = w->light_y;
        *out_x = dx > 0 ? border_east : border_west;
        *out_side = dx > 0 ? EAST : WEST;
        return;
    }
    if (dx == 0) {
        *out_x = w->light_x;
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
static void side_end_corner(const shadow_work *w, int side, int *x, int *y) {
    *x = side == SOUTH || side == EAST ? w->border_east : border_west;
    *y = side == WEST || side == SOUTH ? w->border_south : border_north;
}

/* Walks the border counter-clockwise from the second hit's side back to the first hit's side,
 * appending the corner at the end of every side it leaves; since the light is on the segment's
 * right, this direction encloses exactly the region behind the segment. */
static void expand_shrouder_to_edges(shadow_work *w) {
    while (w->end_side != w->start_side) {
        side_end_corner(w, w->end_side, &w->points[2 * w->count], &w->points[2 * w->count + 1]);
        wrap_add(&w->end_side, 1, SIDE_COUNT);
        w->count++;
    }
}

/* Where the light or the segment lies outside the bitmap, rays can enter the bitmap from
 * outside or leave it before they reach the segment, so the border walk above no longer
 * encloses the shadow. The shadow is then cut out of the bitmap's rectangle instead: the
 * rectangle is clipped, in turn, by the segment's line and by the two rays, each time keeping
 * what lies on the right of the directed line. Vertices stay exact fractions until the fill. */

/* The shadow's own lines, numbered after the border sides. Each runs between two corners of
 * the triangle of the light and the segment's endpoints, with the shadow on its right. */
enum { SEGMENT_LINE = SIDE_COUNT, FIRST_RAY, SECOND_RAY, LINE_COUNT };
enum { LIGHT, FIRST_END, SECOND_END };

static const int shadow_line_ends[LINE_COUNT - SEGMENT_LINE][2] = {
    {SECOND_END, FIRST_END}, /* the segment's line, walked backwards: its far side on the right */
    {LIGHT, FIRST_END},
    {SECOND_END, LIGHT},
};

static const int *ends_of(int line) {
    return shadow_line_ends[line - SEGMENT_LINE];
}

static exact_vertex exact_point(const int64_t *p, int edge) {
    return exact_vertex{p[0], p[1], 1, edge};
}

/* Positive on the right of the line as seen on screen, zero on it. */
static int64_t side_of(const shadow_work *w, int line, const exact_vertex &v) {
    const int64_t *a = w->corner_points[ends_of(line)[0]], *b = w->corner_points[ends_of(line)[1]];
    return (b[0] - a[0]) * (v.y - a[1] * v.d) - (b[1] - a[1]) * (v.x - a[0] * v.d);
}

/* Where one of the shadow's lines crosses another line, given that it does. Two of the shadow's
 * lines meet at the triangle corner they share; a border side is horizontal or vertical. */
static exact_vertex crossing(const shadow_work *w, int line, int other, int edge) {
    const int *ends = ends_of(line);
    if (other >= SEGMENT_LINE) {
        const int *others = ends_of(other);
        const int shared = ends[0] == others[0] || ends[0] == others[1] ? ends[0] : ends[1];
        return exact_point(w->corner_points[shared], edge);
    }
    const int64_t *a = w->corner_points[ends[0]], *b = w->corner_points[ends[1]];
    const int64_t dx = b[0] - a[0], dy = b[1] - a[1];
    exact_vertex v;
    if (other == NORTH || other == SOUTH) {
        const int64_t y = other == NORTH ? border_north : w->last_row;
        v = exact_vertex{a[0] * dy + (y - a[1]) * dx, y * dy, dy, edge};
    } else {
        const int64_t x = other == WEST ? border_west : w->border_east;
        v = exact_vertex{x * dx, a[1] * dx + (x - a[0]) * dy, dx, edge};
    }
    if (v.d < 0) {
        v.x = -v.x;
        v.y = -v.y;
        v.d = -v.d;
    }
    return v;
}

/* Keeps the part of the convex polygon `in` on the right of `line`, closed; returns the count
 * written to `out`. A convex polygon gains at most one vertex. */
static int clip_by(const shadow_work *w, int line, const exact_vertex *in, int count,
                   exact_vertex *out) {
    int written = 0;
    for (int i = 0; i < count; i++) {
        const exact_vertex &v = in[i], &next = in[(i + 1) % count];
        const int64_t here = side_of(w, line, v), there = side_of(w, line, next);
        if (here >= 0) {
            out[written] = v;
            out[written++].edge = here == 0 && there < 0 ? line : v.edge;
        }
        if (here > 0 && there < 0)
            out[written++] = crossing(w, line, v.edge, line);
        if (here < 0 && there > 0)
            out[written++] = crossing(w, line, v.edge, v.edge);
    }
    return written;
}

/* To the nearest integer, for the non-negative coordinates of a vertex inside the bitmap. */
static int rounded(int64_t numerator, int64_t d) {
    return int((2 * numerator + d) / (2 * d));
}

static void cut_from_bitmap(shadow_work *w, int lx, int ly, int x1, int y1, int x2, int y2) {
    const int64_t corners[3][2] = {{lx, ly}, {x1, y1}, {x2, y2}};
    memcpy(w->corner_points, corners, sizeof corners);
    const int64_t east = w->border_east, last_row = w->last_row;
    const int64_t rectangle[4][2] = {{border_west, border_north},
                                     {east, border_north},
                                     {east, last_row},
                                     {border_west, last_row}};
    exact_vertex(*cut)[shadow_max_vertices] = w->cut;
    const int clockwise_edges[4] = {NORTH, EAST, SOUTH, WEST};
    for (int i = 0; i < 4; i++)
        cut[0][i] = exact_point(rectangle[i], clockwise_edges[i]);

    int count = 4, from = 0;
    for (int line = SEGMENT_LINE; line < LINE_COUNT; line++, from = 1 - from)
        count = clip_by(w, line, cut[from], count, cut[1 - from]);

    for (int i = 0; i < count; i++) {
        w->points[2 * i] = rounded(cut[from][i].x, cut[from][i].d);
        w->points[2 * i + 1] = rounded(cut[from][i].y, cut[from][i].d);
    }
    w->count = count;
}

/* The polygon of the border walk: the segment, the two border hits, the corners between. */
static void walk_to_border(shadow_work *w, int lx, int ly, int x1, int y1, int x2, int y2) {
    w->light_x = lx;
    w->light_y = ly;
    w->count = 4;
    ray_to_rect_border(w, &w->points[0], &w->points[1], x1, y1, &w->start_side);
    w->points[2] = x1;
    w->points[3] = y1;
    w->points[4] = x2;
    w->points[5] = y2;
    ray_to_rect_border(w, &w->points[6], &w->points[7], x2, y2, &w->end_side);
    expand_shrouder_to_edges(w);
}

static bool within_limit(int v) {
    return v >= -coord_limit && v <= coord_limit;
}

static bool inside_border(const shadow_work *w, int x, int y) {
    return x >= border_west && x <= w->border_east && y >= border_north && y <= w->border_south;
}

int shadow_polygon(shadow_work *work, int w, int h, int lx, int ly, int x1, int y1, int x2, int y2,
                   const int **points) {
    const bool in_range = within_limit(lx) && within_limit(ly) && within_limit(x1) &&
                          within_limit(y1) && within_limit(x2) && within_limit(y2) &&
                          within_limit(w) && within_limit(h);
    if (!in_range || !on_right(x1, y1, x2, y2, lx, ly))
        return 0;

    work->border_east = w - 1;
    work->border_south = h;
    work->last_row = h - 1;
    if (inside_border(work, lx, ly) && inside_border(work, x1, y1) && inside_border(work, x2, y2))
        walk_to_border(work, lx, ly, x1, y1, x2, y2);
    else
        cut_from_bitmap(work, lx, ly, x1, y1, x2, y2);
    *points = work->points;
    return work->count < 3 ? 0 : work->count;
}

/* polygon() on bitmaps where its fixed point cannot wrap; on wider ones the same filler without
 * the wrapping, each run drawn by the bitmap's own line routine as polygon() draws it. */
static void fill_polygon(BITMAP *bmp, int count, const int *points, int color) {
    if (bmp->w < polygon_exact_width) {
        polygon(bmp, count, points, color);
        return;
    }
    const span_clip clip =
        bmp->clip ? span_clip{bmp->cl, bmp->ct, bmp->cr, bmp->cb} : span_clip{0, 0, bmp->w, bmp->h};
    polygon_spans<int64_t>(count, points, clip, [&](int y, int x1, int x2) {
        bmp->vtable->hfill(bmp, x1, y, x2, color);
    });
}

void add_shrouder(BITMAP *bmp, int lx, int ly, int x1, int y1, int x2, int y2) {
    const int *points;
    const int count =
        shadow_polygon(&immediate_work, bmp->w, bmp->h, lx, ly, x1, y1, x2, y2, &points);
    if (count == 0)
        return;
    acquire_bitmap(bmp);
    fill_polygon(bmp, count, points, makecol_depth(bitmap_color_depth(bmp), 0, 0, 0));
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
