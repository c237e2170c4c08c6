#include "shrouder_set.h"

#include "coverage.h"
#include "edge_grid.h"
#include "polygon_spans.h"
#include "set_edges.h"
#include "shadow_polygon.h"
#include "tenebrant.h"

#include <algorithm>
#include <allegro.h>
#include <limits.h>
#include <new>
#include <stdint.h>
#include <string.h>
#include <vector>

/* One directed edge: it casts when the light is strictly on its right. */
struct set_edge {
    int x1, y1, x2, y2;
    int member; /* -1 once the member is removed */
};

struct set_member {
    int first_edge, edge_count;
    bool alive;
};

struct shrouder_set {
    std::vector<set_edge> edges;
    std::vector<set_member> members;
    edge_grid grid;
    int live_edges = 0, dead_edges = 0, edges_at_build = 0;
    /* Marks edges already met in the current cast or query, so that an edge listed in several
     * cells is looked at once. */
    mutable std::vector<uint32_t> seen;
    mutable uint32_t stamp = 0;
};

/* Larger bitmaps are cast one edge at a time: the union of runs keeps a fixed buffer of rows,
 * and up to this width the filler's fixed point cannot wrap, which the culling relies on. */
static const int fast_max_side = 4096;
static_assert(fast_max_side <= coverage_max_rows, "the union must hold every row");

/* How far, in pixels, a filled shadow may reach towards the light beyond its segment: the
 * rounding of its vertices and the filler's edge pixels, with room to spare. */
static const int raster_reach = 4;

/* Once the grid holds this many more edges than when it was made, it is made again to fit. */
static const int regrow_factor = 2;

static coverage cover;

static bool within_limit(int v) {
    return v >= -shadow_coord_limit && v <= shadow_coord_limit;
}

shrouder_set *create_shrouder_set(void) {
    return new (std::nothrow) shrouder_set;
}

void destroy_shrouder_set(shrouder_set *set) {
    delete set;
}

static size_t cells_of(const edge_grid &grid, const set_edge &e) {
    size_t cells = 0;
    grid.for_each_cell(e.x1, e.y1, e.x2, e.y2, [&](int) { cells++; });
    return cells;
}

/* Makes the edge list and the grid again from the live members and `added` (the edges of a
 * member being added), dropping removed edges. Either completes or throws with the set as it
 * was. */
static void rebuild(shrouder_set *set, const std::vector<set_edge> &added) {
    std::vector<set_edge> kept;
    kept.reserve(size_t(set->live_edges) + added.size());
    std::vector<int> firsts(set->members.size(), 0);
    for (size_t m = 0; m < set->members.size(); m++) {
        const set_member &member = set->members[m];
        firsts[m] = int(kept.size());
        if (member.alive)
            kept.insert(kept.end(), set->edges.begin() + member.first_edge,
                        set->edges.begin() + member.first_edge + member.edge_count);
    }
    kept.insert(kept.end(), added.begin(), added.end());

    int64_t min_x = INT64_MAX, min_y = INT64_MAX, max_x = INT64_MIN, max_y = INT64_MIN;
    for (const set_edge &e : kept) {
        min_x = std::min<int64_t>(min_x, std::min(e.x1, e.x2));
        min_y = std::min<int64_t>(min_y, std::min(e.y1, e.y2));
        max_x = std::max<int64_t>(max_x, std::max(e.x1, e.x2));
        max_y = std::max<int64_t>(max_y, std::max(e.y1, e.y2));
    }
    edge_grid grid;
    if (!kept.empty()) {
        grid.reset(min_x, min_y, max_x, max_y, int(kept.size()));
        grid.fill(int(kept.size()), [&](int i, int *xy) {
            const set_edge &e = kept[size_t(i)];
            xy[0] = e.x1, xy[1] = e.y1, xy[2] = e.x2, xy[3] = e.y2;
        });
    }
    std::vector<uint32_t> seen(kept.size(), 0);

    for (size_t m = 0; m < set->members.size(); m++)
        set->members[m].first_edge = firsts[m];
    set->edges.swap(kept);
    set->grid = std::move(grid);
    set->seen.swap(seen);
    set->stamp = 0;
    set->live_edges = int(set->edges.size());
    set->dead_edges = 0;
    set->edges_at_build = set->live_edges;
}

static bool needs_rebuild(const shrouder_set *set, const std::vector<set_edge> &added) {
    if (set->grid.cols == 0 ||
        int(added.size()) + set->live_edges > regrow_factor * set->edges_at_build)
        return true;
    for (const set_edge &e : added)
        if (!set->grid.covers(e.x1, e.y1, e.x2, e.y2))
            return true;
    return false;
}

/* Room for `more` elements, growing geometrically so that adding one by one stays linear. */
template <class T> static void make_room(std::vector<T> &v, size_t more) {
    if (v.size() + more > v.capacity())
        v.reserve(std::max(v.size() + more, 2 * v.capacity()));
}

/* Room for the new edges everywhere, so that adding them cannot fail half-way. */
static void reserve_for(shrouder_set *set, const std::vector<set_edge> &added) {
    size_t cells = 0;
    for (const set_edge &e : added)
        cells += cells_of(set->grid, e);
    make_room(set->grid.entries, cells);
    make_room(set->edges, added.size());
    make_room(set->seen, added.size());
}

/* Adds the ring of edges through `count` points (closed when `closed`), all or nothing. */
static int add_member(shrouder_set *set, int count, const int *points, bool closed) {
    for (int i = 0; i < 2 * count; i++)
        if (!within_limit(points[i]))
            return -1;
    const int id = int(set->members.size());
    const int edge_count = closed ? count : count - 1;
    try {
        std::vector<set_edge> added;
        added.reserve(size_t(edge_count));
        for (int i = 0; i < edge_count; i++) {
            const int *a = points + 2 * i, *b = points + 2 * ((i + 1) % count);
            added.push_back(set_edge{a[0], a[1], b[0], b[1], id});
        }
        make_room(set->members, 1);
        if (needs_rebuild(set, added)) {
            rebuild(set, added);
        } else {
            reserve_for(set, added);
            for (const set_edge &e : added) {
                set->grid.insert(int(set->edges.size()), e.x1, e.y1, e.x2, e.y2);
                set->edges.push_back(e);
                set->seen.push_back(0);
            }
            set->live_edges += edge_count;
        }
        set->members.push_back(set_member{int(set->edges.size()) - edge_count, edge_count, true});
    } catch (const std::bad_alloc &) {
        return -1;
    }
    return id;
}

int add_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2) {
    const int points[] = {x1, y1, x2, y2};
    return add_member(set, 2, points, false);
}

int add_2_way_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2) {
    const int points[] = {x1, y1, x2, y2};
    return add_member(set, 2, points, true);
}

int add_outline_to_set(shrouder_set *set, int count, const int *points) {
    if (count < 2)
        return -1;
    return add_member(set, count, points, true);
}

void remove_from_shrouder_set(shrouder_set *set, int id) {
    if (id < 0 || id >= int(set->members.size()) || !set->members[id].alive)
        return;
    set_member &member = set->members[id];
    member.alive = false;
    for (int i = 0; i < member.edge_count; i++)
        set->edges[size_t(member.first_edge + i)].member = -1;
    set->live_edges -= member.edge_count;
    set->dead_edges += member.edge_count;
    /* Removed edges stay in the grid until it is made again; once they outnumber the live ones
     * it is worth doing now. Without the memory for it they simply stay. */
    if (set->dead_edges > set->live_edges) {
        try {
            rebuild(set, std::vector<set_edge>());
        } catch (const std::bad_alloc &) {
        }
    }
}

static uint32_t next_stamp(const shrouder_set *set) {
    if (++set->stamp == 0) {
        memset(set->seen.data(), 0, set->seen.size() * sizeof(uint32_t));
        set->stamp = 1;
    }
    return set->stamp;
}

static bool light_on_right(const set_edge &e, int lx, int ly) {
    return (int64_t(e.x2) - e.x1) * (int64_t(ly) - e.y1) -
               (int64_t(e.y2) - e.y1) * (int64_t(lx) - e.x1) >
           0;
}

/* The state of one cast: the bitmap, the light and the closure radius (every pixel of the clip
 * at a Chebyshev distance of at least `closed_beyond` from the light is known to be covered). */
struct cast {
    const shrouder_set *set;
    BITMAP *bmp;
    int lx, ly;
    int closed_beyond;
    uint32_t stamp;
};

/* Bounds on the pixels of every run that the filler's edges give on row y. */
static void row_bounds(const span_edge *edges, int count, int y, int *lo, int *hi) {
    *lo = INT_MAX;
    *hi = INT_MIN;
    for (int i = 0; i < count; i++) {
        const span_edge &e = edges[i];
        if (y < e.top || y > e.bottom)
            continue;
        const int x = span_edge_x(e, y);
        const int reach = e.top == e.bottom ? e.w >> 1 : e.w;
        *lo = std::min(*lo, x >> polygon_fix_shift);
        *hi = std::max(*hi, (x + reach) >> polygon_fix_shift);
    }
}

/* An edge of the filler as a straight line: within half a step of its x on every row. */
struct edge_line {
    int top, bottom;
    int64_t x, dx, slack; /* slack: the half step, plus the pixels the edge covers */
    int64_t reach;
};

static edge_line line_of(const span_edge &e) {
    const bool flat = e.top == e.bottom;
    const int64_t half = flat ? 0 : (e.dx < 0 ? -int64_t(e.dx) : e.dx) / 2 + 1;
    return edge_line{e.top, e.bottom, e.x, e.dx, half, flat ? e.w >> 1 : e.w};
}

/* Bounds on the pixels of every run on rows y0 .. y1: each edge's x moves one way only, so its
 * extremes over the rows lie at their ends, give or take the filler's half steps. */
static void band_bounds(const edge_line *lines, int count, int y0, int y1, int *lo, int *hi) {
    int64_t low = INT64_MAX, high = INT64_MIN;
    for (int i = 0; i < count; i++) {
        const edge_line &l = lines[i];
        const int a = std::max(y0, l.top), b = std::min(y1, l.bottom);
        if (a > b)
            continue;
        const int64_t xa = l.x + (a - l.top) * l.dx, xb = l.x + (b - l.top) * l.dx;
        low = std::min({low, xa - l.slack, xb - l.slack});
        high = std::max({high, xa + l.slack + l.reach, xb + l.slack + l.reach});
    }
    *lo = low == INT64_MAX ? INT_MAX : int(low >> polygon_fix_shift);
    *hi = high == INT64_MIN ? INT_MIN : int(high >> polygon_fix_shift);
}

/* Whether [lo, hi] on rows y0 .. y1 needs no look at the runs: empty, or clear of the open
 * range. */
static bool plainly_covered(int lo, int hi, const coverage_run &open) {
    lo = std::max(lo, cover.clip.left);
    hi = std::min(hi, cover.clip.right - 1);
    return lo > hi || hi < open.lo || lo > open.hi;
}

/* Whether every run polygon() would fill for this polygon is known to be covered already: band
 * by band of rows, then row by row where a band is in doubt. */
/* Whether the box around the polygon's points, a pixel wider every way than any run the
 * filler draws for it, misses every open range on its rows: a cheap first answer. */
static bool box_covered(int count, const int *points) {
    int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN;
    for (int i = 0; i < count; i++) {
        left = std::min(left, points[2 * i]);
        right = std::max(right, points[2 * i]);
        top = std::min(top, points[2 * i + 1]);
        bottom = std::max(bottom, points[2 * i + 1]);
    }
    left--, right++;
    const span_clip &clip = cover.clip;
    const int from = std::max(top, cover.open_box.top),
              to = std::min(bottom, cover.open_box.bottom - 1);
    if (from > to || right < cover.open_box.left || left >= cover.open_box.right)
        return true;
    for (int band = (from - clip.top) / coverage_band_rows;
         band <= (to - clip.top) / coverage_band_rows; band++) {
        const coverage_run &open = cover.band_open[band];
        if (open.lo <= open.hi && right >= open.lo && left <= open.hi)
            return false;
    }
    return true;
}

static bool already_covered(int count, const int *points) {
    if (box_covered(count, points))
        return true;
    span_edge edges[polygon_max_edges];
    edge_line lines[polygon_max_edges];
    int top = INT_MAX, bottom = INT_MIN;
    for (int i = 0, prev = count - 1; i < count; prev = i++) {
        edges[i] = make_span_edge(points + 2 * i, points + 2 * prev);
        lines[i] = line_of(edges[i]);
        top = std::min(top, edges[i].top);
        bottom = std::max(bottom, edges[i].bottom);
    }
    const span_clip &clip = cover.clip;
    const int from = std::max(top, cover.open_box.top);
    const int to = std::min(bottom, cover.open_box.bottom - 1);
    for (int y = from, band_end; y <= to; y = band_end + 1) {
        const int band = (y - clip.top) / coverage_band_rows;
        band_end = std::min(to, clip.top + (band + 1) * coverage_band_rows - 1);
        if (cover.band_open[band].lo > cover.band_open[band].hi)
            continue;
        int lo, hi;
        band_bounds(lines, count, y, band_end, &lo, &hi);
        if (plainly_covered(lo, hi, cover.band_open[band]))
            continue;
        for (int row = y; row <= band_end; row++) {
            if (cover.open[row - clip.top].lo > cover.open[row - clip.top].hi)
                continue;
            row_bounds(edges, count, row, &lo, &hi);
            if (plainly_covered(lo, hi, cover.open[row - clip.top]))
                continue;
            if (!cover.holds(row, std::max(lo, clip.left), std::min(hi, clip.right - 1)))
                return false;
        }
    }
    return true;
}

static void cast_edge(const cast &c, const set_edge &e) {
    if (e.member < 0 || !light_on_right(e, c.lx, c.ly))
        return;
    const int *points;
    const int count =
        shadow_polygon(c.bmp->w, c.bmp->h, c.lx, c.ly, e.x1, e.y1, e.x2, e.y2, &points);
    if (count == 0 || already_covered(count, points))
        return;
    /* Outside the open box everything is covered already, and so is a run clear of its row's
     * open range. The filler's runs of one row come left to right: touching ones are joined
     * before they are united with the row. */
    int row = INT_MIN, lo = 0, hi = -2;
    auto unite = [&] {
        const coverage_run &open = cover.open[row - cover.clip.top];
        if (hi >= open.lo && lo <= open.hi)
            cover.add(row, lo, hi);
    };
    polygon_spans(count, points, cover.open_box, [&](int y, int x1, int x2) {
        if (y == row && x1 <= hi + 1) {
            hi = std::max(hi, x2);
            return;
        }
        if (row != INT_MIN)
            unite();
        row = y, lo = x1, hi = x2;
    });
    if (row != INT_MIN)
        unite();
}

/* Whether no edge with a point in the cell can add a pixel. With the light inside the open box,
 * a ray from it leaves the box once and never comes back: an edge wholly outside the box, by
 * more than a filled shadow reaches back, casts only onto what is covered already. */
static bool cell_beyond_open_box(const cast &c, int64_t cx, int64_t cy) {
    const span_clip &box = cover.open_box;
    const bool light_inside =
        c.lx >= box.left && c.lx < box.right && c.ly >= box.top && c.ly < box.bottom;
    if (!light_inside)
        return false;
    const edge_grid &grid = c.set->grid;
    const int64_t left = grid.x0 + cx * grid.cell, top = grid.y0 + cy * grid.cell;
    return left > box.right - 1 + raster_reach || left + grid.cell < box.left - raster_reach ||
           top > box.bottom - 1 + raster_reach || top + grid.cell < box.top - raster_reach;
}

static void cast_cell(const cast &c, int64_t cx, int64_t cy) {
    const edge_grid &grid = c.set->grid;
    if (cx < 0 || cy < 0 || cx >= grid.cols || cy >= grid.rows || cell_beyond_open_box(c, cx, cy))
        return;
    for (int i = grid.heads[size_t(cy * grid.cols + cx)]; i >= 0; i = grid.entries[i].next) {
        const int edge = grid.entries[i].edge;
        if (c.set->seen[edge] == c.stamp)
            continue;
        c.set->seen[edge] = c.stamp;
        cast_edge(c, c.set->edges[edge]);
    }
}

/* The cells at Chebyshev distance k from the light's cell. */
static void cast_ring(const cast &c, int64_t lcx, int64_t lcy, int64_t k) {
    if (k == 0) {
        cast_cell(c, lcx, lcy);
        return;
    }
    const edge_grid &grid = c.set->grid;
    const int64_t x_from = std::max<int64_t>(lcx - k, 0);
    const int64_t x_to = std::min<int64_t>(lcx + k, grid.cols - 1);
    for (int64_t cx = x_from; cx <= x_to; cx++) {
        cast_cell(c, cx, lcy - k);
        cast_cell(c, cx, lcy + k);
    }
    const int64_t y_from = std::max<int64_t>(lcy - k + 1, 0);
    const int64_t y_to = std::min<int64_t>(lcy + k - 1, grid.rows - 1);
    for (int64_t cy = y_from; cy <= y_to; cy++) {
        cast_cell(c, lcx - k, cy);
        cast_cell(c, lcx + k, cy);
    }
}

/* Walks the grid in rings of cells around the light, nearest first. An edge first met in ring k
 * lies more than (k - 1) cells from the light in x or in y, and so does its shadow, bar a few
 * pixels: once everything that far is covered, no edge left can add a pixel. */
static void cast_by_rings(cast &c) {
    const edge_grid &grid = c.set->grid;
    const int64_t lcx = grid.cell_x(c.lx), lcy = grid.cell_y(c.ly);
    const int64_t first =
        std::max({int64_t(0), -lcx, lcx - (grid.cols - 1), -lcy, lcy - (grid.rows - 1)});
    const int64_t last = std::max({lcx, grid.cols - 1 - lcx, lcy, grid.rows - 1 - lcy});
    for (int64_t k = first; k <= last; k++) {
        c.closed_beyond = cover.refresh();
        if ((k - 1) * grid.cell - raster_reach >= c.closed_beyond)
            break;
        cast_ring(c, lcx, lcy, k);
    }
}

static span_clip clip_of(BITMAP *bmp) {
    if (bmp->clip)
        return span_clip{bmp->cl, bmp->ct, bmp->cr, bmp->cb};
    return span_clip{0, 0, bmp->w, bmp->h};
}

static void cast_each_edge(BITMAP *bmp, const shrouder_set *set, int lx, int ly) {
    for (const set_edge &e : set->edges)
        if (e.member >= 0)
            add_shrouder(bmp, lx, ly, e.x1, e.y1, e.x2, e.y2);
}

/* A view moves every member and the light by (-view_x, -view_y) before the cast. Until the
 * culled cast takes a view itself, a view other than (0, 0) casts edge by edge. */
static bool moved(int v, int by, int *out) {
    const int64_t m = int64_t(v) - by;
    *out = int(m);
    return m >= -shadow_coord_limit && m <= shadow_coord_limit;
}

void cast_shrouder_set_in_view(BITMAP *bmp, const shrouder_set *set, int lx, int ly, int view_x,
                               int view_y) {
    if (!set)
        return;
    if (view_x == 0 && view_y == 0) {
        cast_shrouder_set(bmp, set, lx, ly);
        return;
    }
    int mx, my;
    if (!moved(lx, view_x, &mx) || !moved(ly, view_y, &my))
        return;
    for (const set_edge &e : set->edges) {
        int x1, y1, x2, y2;
        if (e.member >= 0 && moved(e.x1, view_x, &x1) && moved(e.y1, view_y, &y1) &&
            moved(e.x2, view_x, &x2) && moved(e.y2, view_y, &y2))
            add_shrouder(bmp, mx, my, x1, y1, x2, y2);
    }
}

void cast_shrouder_set(BITMAP *bmp, const shrouder_set *set, int lx, int ly) {
    if (!set || set->live_edges == 0 || !within_limit(lx) || !within_limit(ly))
        return;
    if (bmp->w > fast_max_side || bmp->h > fast_max_side) {
        cast_each_edge(bmp, set, lx, ly);
        return;
    }
    const span_clip clip = clip_of(bmp);
    if (clip.left >= clip.right || clip.top >= clip.bottom)
        return;
    cover.begin(bmp, makecol_depth(bitmap_color_depth(bmp), 0, 0, 0), clip, lx, ly);
    cast c{set, bmp, lx, ly, INT_MAX, next_stamp(set)};
    cast_by_rings(c);
    acquire_bitmap(bmp);
    cover.fill();
    release_bitmap(bmp);
}

/* Twice the signed area of (a, b, p): positive when p is on the right of a -> b on screen. */
static __int128 cross(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
    return __int128(bx - ax) * (py - ay) - __int128(by - ay) * (px - ax);
}

static int sign(__int128 v) {
    return (v > 0) - (v < 0);
}

/* Whether p, known to be on the line through a and b, lies between them. */
static bool within_box(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
    return px >= std::min(ax, bx) && px <= std::max(ax, bx) && py >= std::min(ay, by) &&
           py <= std::max(ay, by);
}

/* Whether the closed segments p-q and a-b share a point. */
static bool segments_meet(int px, int py, int qx, int qy, int ax, int ay, int bx, int by) {
    const int d1 = sign(cross(ax, ay, bx, by, px, py)), d2 = sign(cross(ax, ay, bx, by, qx, qy));
    const int d3 = sign(cross(px, py, qx, qy, ax, ay)), d4 = sign(cross(px, py, qx, qy, bx, by));
    if (d1 * d2 < 0 && d3 * d4 < 0)
        return true;
    return (d1 == 0 && within_box(ax, ay, bx, by, px, py)) ||
           (d2 == 0 && within_box(ax, ay, bx, by, qx, qy)) ||
           (d3 == 0 && within_box(px, py, qx, qy, ax, ay)) ||
           (d4 == 0 && within_box(px, py, qx, qy, bx, by));
}

bool is_lit_by(const shrouder_set *set, int lx, int ly, int x, int y) {
    if (!set || set->live_edges == 0)
        return true;
    const uint32_t stamp = next_stamp(set);
    bool blocked = false;
    set->grid.for_each_cell(lx, ly, x, y, [&](int cell) {
        for (int i = set->grid.heads[size_t(cell)]; i >= 0 && !blocked;
             i = set->grid.entries[i].next) {
            const int edge = set->grid.entries[i].edge;
            if (set->seen[edge] == stamp)
                continue;
            set->seen[edge] = stamp;
            const set_edge &e = set->edges[edge];
            blocked = e.member >= 0 && light_on_right(e, lx, ly) &&
                      segments_meet(lx, ly, x, y, e.x1, e.y1, e.x2, e.y2);
        }
    });
    return !blocked;
}

void set_edges_in_box(const shrouder_set *set, int left, int top, int right, int bottom,
                      std::vector<set_edge_copy> *out) {
    out->clear();
    if (!set || set->live_edges == 0 || left > right || top > bottom)
        return;
    const edge_grid &grid = set->grid;
    const int64_t x_from = std::max<int64_t>(grid.cell_x(left), 0);
    const int64_t x_to = std::min<int64_t>(grid.cell_x(right), grid.cols - 1);
    const int64_t y_from = std::max<int64_t>(grid.cell_y(top), 0);
    const int64_t y_to = std::min<int64_t>(grid.cell_y(bottom), grid.rows - 1);
    for (int64_t cy = y_from; cy <= y_to; cy++)
        for (int64_t cx = x_from; cx <= x_to; cx++)
            for (int i = grid.heads[size_t(cy * grid.cols + cx)]; i >= 0;
                 i = grid.entries[i].next) {
                const int index = grid.entries[i].edge;
                const set_edge &e = set->edges[size_t(index)];
                if (e.member >= 0 && std::max(e.x1, e.x2) >= left &&
                    std::min(e.x1, e.x2) <= right && std::max(e.y1, e.y2) >= top &&
                    std::min(e.y1, e.y2) <= bottom)
                    out->push_back(set_edge_copy{e.x1, e.y1, e.x2, e.y2, index});
            }
    /* An edge is listed in every cell it crosses: keep it once. */
    std::sort(out->begin(), out->end(),
              [](const set_edge_copy &a, const set_edge_copy &b) { return a.index < b.index; });
    out->erase(std::unique(out->begin(), out->end(),
                           [](const set_edge_copy &a, const set_edge_copy &b) {
                               return a.index == b.index;
                           }),
               out->end());
}
