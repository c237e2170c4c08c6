/* Casting a shrouder set: the grid walked ring by ring outward from the light, each casting
 * edge's shadow united into the coverage unless it is covered already, every covered pixel
 * painted once at the end. */
#include "shrouder_set.h"

#include "coverage.h"
#include "polygon_spans.h"
#include "set_casting.h"
#include "set_storage.h"
#include "shadow_polygon.h"

#include <algorithm>
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <limits.h>
#include <new>
#include <stdint.h>
#include <string.h>
#include <vector>

struct cast_scratch {
    coverage cover;
    shadow_work work;
    /* Marks edges already met in the current cast, so that an edge listed in several cells is
     * looked at once: seen[edge] == stamp. */
    std::vector<uint32_t> seen;
    uint32_t stamp = 0;
};

cast_scratch *create_cast_scratch(void) {
    return new (std::nothrow) cast_scratch;
}

void destroy_cast_scratch(cast_scratch *scratch) {
    delete scratch;
}

/* How far, in pixels, a filled shadow may reach towards the light beyond its segment: the
 * rounding of its vertices and the filler's edge pixels, with room to spare. */
static const int raster_reach = 4;

static bool within_limit(int64_t v) {
    return v >= -shadow_coord_limit && v <= shadow_coord_limit;
}

static bool light_on_right(const set_edge &e, int lx, int ly) {
    return (int64_t(e.x2) - e.x1) * (int64_t(ly) - e.y1) -
               (int64_t(e.y2) - e.y1) * (int64_t(lx) - e.x1) >
           0;
}

/* The state of one cast. The light (lx, ly) and the grid are in world coordinates; the light
 * (vlx, vly), the coverage and the shadows in the bitmap's, the world moved by (-vx, -vy). */
struct cast {
    const shrouder_set *set;
    cast_scratch *scratch;
    BITMAP *bmp;
    int lx, ly, vx, vy, vlx, vly;
    bool wide;   /* the filler without wrapping, on bitmaps where polygon()'s would wrap */
    bool dedupe; /* whether scratch->seen has room for every edge of the set */
    /* The cells that may hold an edge casting onto the clip, within the grid. */
    int64_t cell_left, cell_top, cell_right, cell_bottom;
};

/* Bounds on the pixels of every run that the filler's edges give on row y. */
static void row_bounds(const span_edge<int64_t> *edges, int count, int y, int *lo, int *hi) {
    *lo = INT_MAX;
    *hi = INT_MIN;
    for (int i = 0; i < count; i++) {
        const span_edge<int64_t> &e = edges[i];
        if (y < e.top || y > e.bottom)
            continue;
        const int64_t x = span_edge_x(e, y);
        const int64_t reach = e.top == e.bottom ? e.w >> 1 : e.w;
        *lo = std::min(*lo, int(x >> polygon_fix_shift));
        *hi = std::max(*hi, int((x + reach) >> polygon_fix_shift));
    }
}

/* An edge of the filler as a straight line: within half a step of its x on every row. */
struct edge_line {
    int top, bottom;
    int64_t x, dx, slack; /* slack: the half step, plus the pixels the edge covers */
    int64_t reach;
};

static edge_line line_of(const span_edge<int64_t> &e) {
    const bool flat = e.top == e.bottom;
    const int64_t half = flat ? 0 : (e.dx < 0 ? -e.dx : e.dx) / 2 + 1;
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

/* Whether polygon()'s 32-bit fixed point could wrap on this polygon somewhere: an edge's x
 * plus its width, a step either way, or a flat edge's doubled run. Where it cannot, its runs
 * are those of the 64-bit filler, whose bounds the tests below use. */
static bool filler_may_wrap(int count, const int *points) {
    const int shift = polygon_fix_shift;
    const int64_t half = 1 << (shift - 1);
    for (int i = 0, prev = count - 1; i < count; prev = i++) {
        const int64_t x1 = points[2 * i], x2 = points[2 * prev];
        const int64_t dy = std::abs(int64_t(points[2 * i + 1]) - points[2 * prev + 1]);
        const int64_t run = std::abs(x2 - x1) << shift, far = (std::max(x1, x2) << shift) + half;
        const bool wraps = dy > 0 ? far + 2 * (run / dy) > INT32_MAX
                                  : 2 * run > INT32_MAX || far + run > INT32_MAX;
        if (wraps)
            return true;
    }
    return false;
}

/* Whether [lo, hi] on rows y0 .. y1 needs no look at the runs: empty, or clear of the open
 * range. */
static bool plainly_covered(const coverage &cover, int lo, int hi, const coverage_run &open) {
    lo = std::max(lo, cover.clip.left);
    hi = std::min(hi, cover.clip.right - 1);
    return lo > hi || hi < open.lo || lo > open.hi;
}

/* Whether the box around the polygon's points, a pixel wider every way than any run the
 * filler draws for it, misses every open range on its rows: a cheap first answer. */
static bool box_covered(const coverage &cover, int count, const int *points) {
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

/* Whether every run the filler would fill for this polygon is known to be covered already:
 * band by band of rows, then row by row where a band is in doubt. */
static bool already_covered(const coverage &cover, bool wide, int count, const int *points) {
    if (!wide && filler_may_wrap(count, points))
        return false;
    if (box_covered(cover, count, points))
        return true;
    span_edge<int64_t> edges[polygon_max_edges];
    edge_line lines[polygon_max_edges];
    int top = INT_MAX, bottom = INT_MIN;
    for (int i = 0, prev = count - 1; i < count; prev = i++) {
        edges[i] = make_span_edge<int64_t>(points + 2 * i, points + 2 * prev);
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
        if (plainly_covered(cover, lo, hi, cover.band_open[band]))
            continue;
        for (int row = y; row <= band_end; row++) {
            if (cover.open[row - clip.top].lo > cover.open[row - clip.top].hi)
                continue;
            row_bounds(edges, count, row, &lo, &hi);
            if (plainly_covered(cover, lo, hi, cover.open[row - clip.top]))
                continue;
            if (!cover.holds(row, std::max(lo, clip.left), std::min(hi, clip.right - 1)))
                return false;
        }
    }
    return true;
}

/* Unites the polygon's runs with the coverage. Outside the open box everything is covered
 * already, and so is a run clear of its row's open range. The filler's runs of one row come
 * left to right: touching ones are joined before they are united with the row. */
template <class T> static void unite_polygon(coverage &cover, int count, const int *points) {
    int row = INT_MIN, lo = 0, hi = -2;
    auto unite = [&] {
        const coverage_run &open = cover.open[row - cover.clip.top];
        if (hi >= open.lo && lo <= open.hi)
            cover.add(row, lo, hi);
    };
    polygon_spans<T>(count, points, cover.open_box, [&](int y, int x1, int x2) {
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

/* Moves a world coordinate into the view; false when the result leaves the module's range. */
static bool moved(int v, int by, int *out) {
    const int64_t m = int64_t(v) - by;
    *out = int(m);
    return within_limit(m);
}

static void cast_edge(const cast &c, const set_edge &e) {
    if (e.slot < 0 || !light_on_right(e, c.lx, c.ly))
        return;
    int x1, y1, x2, y2;
    if (!moved(e.x1, c.vx, &x1) || !moved(e.y1, c.vy, &y1) || !moved(e.x2, c.vx, &x2) ||
        !moved(e.y2, c.vy, &y2))
        return;
    const int *points;
    const int count =
        shadow_polygon(&c.scratch->work, c.bmp->w, c.bmp->h, c.vlx, c.vly, x1, y1, x2, y2, &points);
    coverage &cover = c.scratch->cover;
    if (count == 0 || already_covered(cover, c.wide, count, points))
        return;
    if (c.wide)
        unite_polygon<int64_t>(cover, count, points);
    else
        unite_polygon<int32_t>(cover, count, points);
}

/* Whether no edge with a point in the cell can add a pixel. A pixel P of the open box is
 * shadowed by an edge only if the edge meets the segment from the light to P, which lies in
 * the box around the light and the open box: an edge wholly outside that box, by more than a
 * filled shadow reaches, casts only onto what is covered already (an edge that reaches into
 * it is listed in a cell that does too). */
static bool cell_beyond_open_box(const cast &c, int64_t cx, int64_t cy) {
    const span_clip &box = c.scratch->cover.open_box;
    const int64_t left = std::min<int64_t>(box.left, c.vlx) - raster_reach;
    const int64_t right = std::max<int64_t>(box.right - 1, c.vlx) + raster_reach;
    const int64_t top = std::min<int64_t>(box.top, c.vly) - raster_reach;
    const int64_t bottom = std::max<int64_t>(box.bottom - 1, c.vly) + raster_reach;
    const edge_grid &grid = c.set->grid;
    const int64_t x = grid.x0 + cx * grid.cell - c.vx, y = grid.y0 + cy * grid.cell - c.vy;
    return x > right || x + grid.cell < left || y > bottom || y + grid.cell < top;
}

static void cast_cell(const cast &c, int64_t cx, int64_t cy) {
    if (cx < c.cell_left || cy < c.cell_top || cx > c.cell_right || cy > c.cell_bottom ||
        cell_beyond_open_box(c, cx, cy))
        return;
    const edge_grid &grid = c.set->grid;
    cast_scratch *s = c.scratch;
    for (int i = grid.heads[size_t(cy * grid.cols + cx)]; i >= 0; i = grid.entries[i].next) {
        const int edge = grid.entries[i].edge;
        if (c.dedupe) {
            if (s->seen[size_t(edge)] == s->stamp)
                continue;
            s->seen[size_t(edge)] = s->stamp;
        }
        cast_edge(c, c.set->edges[size_t(edge)]);
    }
}

/* The cells at Chebyshev distance k from the light's cell, within the cells that matter. */
static void cast_ring(const cast &c, int64_t lcx, int64_t lcy, int64_t k) {
    if (k == 0) {
        cast_cell(c, lcx, lcy);
        return;
    }
    const int64_t x_from = std::max(lcx - k, c.cell_left);
    const int64_t x_to = std::min(lcx + k, c.cell_right);
    for (int64_t cx = x_from; cx <= x_to; cx++) {
        cast_cell(c, cx, lcy - k);
        cast_cell(c, cx, lcy + k);
    }
    const int64_t y_from = std::max(lcy - k + 1, c.cell_top);
    const int64_t y_to = std::min(lcy + k - 1, c.cell_bottom);
    for (int64_t cy = y_from; cy <= y_to; cy++) {
        cast_cell(c, lcx - k, cy);
        cast_cell(c, lcx + k, cy);
    }
}

/* Walks the cells in rings around the light, nearest first. An edge first met in ring k lies
 * more than (k - 1) cells from the light in x or in y, and so does its shadow, bar a few
 * pixels: once everything that far is covered, no edge left can add a pixel. */
static void cast_by_rings(const cast &c) {
    const edge_grid &grid = c.set->grid;
    const int64_t lcx = grid.cell_x(c.lx), lcy = grid.cell_y(c.ly);
    const int64_t first = std::max(
        {int64_t(0), c.cell_left - lcx, lcx - c.cell_right, c.cell_top - lcy, lcy - c.cell_bottom});
    const int64_t last =
        std::max({lcx - c.cell_left, c.cell_right - lcx, lcy - c.cell_top, c.cell_bottom - lcy});
    for (int64_t k = first; k <= last; k++) {
        const int closed_beyond = c.scratch->cover.refresh();
        if ((k - 1) * grid.cell - raster_reach >= closed_beyond)
            break;
        cast_ring(c, lcx, lcy, k);
    }
}

/* The cells of the box around the light and the clip, in world coordinates, within the grid:
 * no edge outside them casts onto the clip (see cell_beyond_open_box). */
static void limit_cells(cast *c, const span_clip &clip) {
    const edge_grid &grid = c->set->grid;
    const int64_t left = std::min<int64_t>(clip.left, c->vlx) + c->vx - raster_reach;
    const int64_t right = std::max<int64_t>(clip.right - 1, c->vlx) + c->vx + raster_reach;
    const int64_t top = std::min<int64_t>(clip.top, c->vly) + c->vy - raster_reach;
    const int64_t bottom = std::max<int64_t>(clip.bottom - 1, c->vly) + c->vy + raster_reach;
    c->cell_left = std::max<int64_t>(grid.cell_x(left), 0);
    c->cell_right = std::min<int64_t>(grid.cell_x(right), grid.cols - 1);
    c->cell_top = std::max<int64_t>(grid.cell_y(top), 0);
    c->cell_bottom = std::min<int64_t>(grid.cell_y(bottom), grid.rows - 1);
}

/* A new stamp for the cast, with room to mark every edge of the set when memory allows;
 * without it edges met in several cells are simply looked at again. */
static bool start_marking(cast_scratch *s, const shrouder_set *set) {
    if (s->seen.size() < set->edges.size()) {
        try {
            s->seen.resize(set->edges.size(), 0);
        } catch (const std::bad_alloc &) {
            return false;
        }
    }
    if (++s->stamp == 0) {
        memset(s->seen.data(), 0, s->seen.size() * sizeof(uint32_t));
        s->stamp = 1;
    }
    return true;
}

/* Sets the cast up for the light on bmp; false when nothing casts from it. */
static bool start_cast(cast *c, cast_scratch *scratch, BITMAP *bmp, const shrouder_set *set, int lx,
                       int ly, int view_x, int view_y) {
    if (!set || set->live_edges == 0 || !moved(lx, view_x, &c->vlx) || !moved(ly, view_y, &c->vly))
        return false;
    c->set = set, c->scratch = scratch, c->bmp = bmp;
    c->lx = lx, c->ly = ly, c->vx = view_x, c->vy = view_y;
    c->wide = bmp->w >= polygon_exact_width;
    return true;
}

/* The clip within the bitmap; false when that leaves nothing. */
static bool clip_to_bitmap(span_clip *clip, const BITMAP *bmp) {
    clip->left = std::max(clip->left, 0), clip->top = std::max(clip->top, 0);
    clip->right = std::min(clip->right, bmp->w), clip->bottom = std::min(clip->bottom, bmp->h);
    return clip->left < clip->right && clip->top < clip->bottom;
}

/* Unites the shadows on a band of at most coverage_max_rows rows, begun in the coverage. */
static void cast_band(cast &c, const span_clip &band) {
    limit_cells(&c, band);
    c.dedupe = start_marking(c.scratch, c.set);
    cast_by_rings(c);
}

/* The cast on the clip (within the bitmap), band by band of rows as the coverage holds them. */
static void cast_bands(cast_scratch *scratch, BITMAP *bmp, span_clip clip, const shrouder_set *set,
                       int lx, int ly, int view_x, int view_y, bool always_solid) {
    cast c;
    if (!start_cast(&c, scratch, bmp, set, lx, ly, view_x, view_y) || !clip_to_bitmap(&clip, bmp))
        return;
    const int black = makecol_depth(bitmap_color_depth(bmp), 0, 0, 0);
    for (int top = clip.top; top < clip.bottom; top += coverage_max_rows) {
        const span_clip band{clip.left, top, clip.right,
                             std::min(clip.bottom, top + int(coverage_max_rows))};
        scratch->cover.begin(bmp, black, band, c.vlx, c.vly, always_solid);
        cast_band(c, band);
        acquire_bitmap(bmp);
        scratch->cover.fill();
        release_bitmap(bmp);
    }
}

/* Memory bitmaps are painted directly in every mode, touching nothing global. Others go through
 * the library, in solid mode when `always_solid` asks for it: the global mode is switched for
 * the call and put back, so such a call must not overlap other threads' drawing. */
static void cast_in(cast_scratch *scratch, BITMAP *bmp, span_clip clip, const shrouder_set *set,
                    int lx, int ly, int view_x, int view_y, bool always_solid) {
    if (!always_solid || is_memory_bitmap(bmp) || _drawing_mode == DRAW_MODE_SOLID) {
        cast_bands(scratch, bmp, clip, set, lx, ly, view_x, view_y, always_solid);
        return;
    }
    const int mode = _drawing_mode, x_anchor = _drawing_x_anchor, y_anchor = _drawing_y_anchor;
    BITMAP *pattern = _drawing_pattern;
    solid_mode();
    cast_bands(scratch, bmp, clip, set, lx, ly, view_x, view_y, always_solid);
    drawing_mode(mode, pattern, x_anchor, y_anchor);
}

void cast_shrouder_set_with(cast_scratch *scratch, BITMAP *bmp, int clip_left, int clip_top,
                            int clip_right, int clip_bottom, const shrouder_set *set, int lx,
                            int ly, int view_x, int view_y) {
    if (!scratch)
        return;
    cast_in(scratch, bmp, span_clip{clip_left, clip_top, clip_right, clip_bottom}, set, lx, ly,
            view_x, view_y, true);
}

bool cast_shrouder_set_runs(cast_scratch *scratch, BITMAP *bmp, int background,
                            const coverage_run *wanted, int clip_left, int clip_top, int clip_right,
                            int clip_bottom, const shrouder_set *set, int lx, int ly, int view_x,
                            int view_y) {
    span_clip clip{clip_left, clip_top, clip_right, clip_bottom};
    if (!scratch || !clip_to_bitmap(&clip, bmp) || clip.bottom - clip.top > coverage_max_rows)
        return false;
    cast c;
    const bool casts = start_cast(&c, scratch, bmp, set, lx, ly, view_x, view_y);
    scratch->cover.begin(bmp, makecol_depth(8, 0, 0, 0), clip, casts ? c.vlx : 0, casts ? c.vly : 0,
                         true, background);
    if (wanted)
        scratch->cover.want_only(wanted + (clip.top - clip_top));
    if (casts)
        cast_band(c, clip);
    scratch->cover.fill();
    return true;
}

const coverage_run *cast_row_runs(const cast_scratch *scratch, int y, int *count) {
    const coverage &cover = scratch->cover;
    const int row = y - cover.clip.top;
    *count = cover.counts[row];
    return cover.spilled[row] ? NULL : cover.runs[row];
}

namespace {
/* Each thread's scratch for the public casts: made at its first cast, freed when it ends. */
struct thread_scratch {
    cast_scratch *scratch = nullptr;
    ~thread_scratch() {
        destroy_cast_scratch(scratch);
    }
};
thread_local thread_scratch this_thread;
} // namespace

static span_clip clip_of(BITMAP *bmp) {
    if (bmp->clip)
        return span_clip{bmp->cl, bmp->ct, bmp->cr, bmp->cb};
    return span_clip{0, 0, bmp->w, bmp->h};
}

void cast_shrouder_set_in_view(BITMAP *bmp, const shrouder_set *set, int lx, int ly, int view_x,
                               int view_y) {
    if (!set || set->live_edges == 0)
        return;
    if (!this_thread.scratch)
        this_thread.scratch = create_cast_scratch();
    if (this_thread.scratch)
        cast_in(this_thread.scratch, bmp, clip_of(bmp), set, lx, ly, view_x, view_y, false);
}

void cast_shrouder_set(BITMAP *bmp, const shrouder_set *set, int lx, int ly) {
    cast_shrouder_set_in_view(bmp, set, lx, ly, 0, 0);
}
