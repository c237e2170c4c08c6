/* The rows of a lamp's exact runs: the wedges' triangles (wedges.cpp) laid into stretches of
 * the map's rows, each clipped to the columns within reach, then sorted by row and column with
 * those that overlap joined. */
#include "penumbra.h"

#include <algorithm>
#include <climits>
#include <cmath>

/* The columns of each row of the box, from left to right, of the disc of reach around the
 * lamp, in s->chords as pairs (first > last for none). */
static void list_chords(penumbra_scratch *s, const lamp_box &box) {
    s->chords.clear();
    const double r = double(box.radius);
    for (int64_t y = box.top; y <= box.bottom; y++) {
        const double dy = double(y - box.y);
        const double half = std::sqrt(std::max(0.0, r * r - dy * dy));
        s->chords.push_back(int(std::max(box.left, box.x - int64_t(half) - 1)));
        s->chords.push_back(int(std::min(box.right, box.x + int64_t(half) + 1)));
    }
}

/* Adds the columns x0 .. x1 of row y, those within reach, to the unsorted runs. */
static void add_run(penumbra_scratch *s, const lamp_box &box, int64_t y, int x0, int x1) {
    const size_t k = 2 * size_t(y - box.top);
    x0 = std::max(x0, s->chords[k]);
    x1 = std::min(x1, s->chords[k + 1]);
    if (x0 <= x1) {
        /* Field by field: a run built whole and copied is stored and read back in pieces. */
        s->unsorted.emplace_back();
        exact_run &r = s->unsorted.back();
        r.row = int(y);
        r.x0 = x0;
        r.x1 = x1;
    }
}

/* The x of the triangle's sides other than the one from top to bottom at the row y, one of
 * its rows. */
static double other_sides_at(const wedge_triangle &t, double y) {
    return y < t.my ? t.tx + (y - t.ty) * t.upper_slope : t.mx + (y - t.my) * t.lower_slope;
}

/* The least and greatest x of the triangle within the rows y - t.pad .. y + t.pad, which meet
 * it: those of its sides at the band's ends, and of its middle corner within the band. Without
 * branches but one: triangles are crossed or missed as often as not. */
static void extent_in_band(const wedge_triangle &t, double y, double *lo, double *hi) {
    const double y0 = std::max(t.ty, y - t.pad), y1 = std::min(t.by, y + t.pad);
    const double a0 = t.tx + (y0 - t.ty) * t.slope, a1 = t.tx + (y1 - t.ty) * t.slope;
    const double b0 = other_sides_at(t, y0), b1 = other_sides_at(t, y1);
    const bool middle = y0 <= t.my && t.my <= y1;
    const double low = std::min(std::min(a0, a1), std::min(b0, b1));
    const double high = std::max(std::max(a0, a1), std::max(b0, b1));
    *lo = middle ? std::min(low, t.mx) : low;
    *hi = middle ? std::max(high, t.mx) : high;
}

/* extent_in_band for the row y, cheaper when its band lies within the triangle's rows and on
 * one side of its middle corner: there each side's extent is its x at y widened by its spread,
 * the pad times its slope. */
static void extent_at_row(const wedge_triangle &t, double y, double *lo, double *hi) {
    const double y0 = y - t.pad, y1 = y + t.pad;
    const bool upper = y1 <= t.my;
    if (y0 < t.ty || y1 > t.by || (!upper && y0 < t.my)) {
        extent_in_band(t, y, lo, hi);
        return;
    }
    const double a = t.tx + (y - t.ty) * t.slope;
    const double b = upper ? t.tx + (y - t.ty) * t.upper_slope : t.mx + (y - t.my) * t.lower_slope;
    const double spread = upper ? t.upper_spread : t.lower_spread;
    *lo = std::min(a - t.spread, b - spread);
    *hi = std::max(a + t.spread, b + spread);
}

/* The greatest column at or left of x, and the least at or right of it, within +/-1e9, or one
 * more column out by a rounding: the truncation of a positive number is its floor. */
static const double column_offset = 1 << 30;

static int column_to(double x) {
    x = std::min(std::max(x, -1e9), 1e9);
    return int(int64_t(x + column_offset) - int64_t(column_offset));
}

static int column_from(double x) {
    return -column_to(-x);
}

/* x per row from (x1, y1) down to (x2, y2), 0 for a flat side. */
static double slope_between(double x1, double y1, double x2, double y2) {
    return y2 > y1 ? (x2 - x1) / (y2 - y1) : 0;
}

void add_triangle(penumbra_scratch *s, const double xs[3], const double ys[3], double pad) {
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int a, int b) { return ys[a] < ys[b]; });
    wedge_triangle t;
    t.tx = xs[order[0]], t.ty = ys[order[0]];
    t.mx = xs[order[1]], t.my = ys[order[1]];
    t.bx = xs[order[2]], t.by = ys[order[2]];
    if (!(t.by > t.ty)) {
        t.tx = std::min({xs[0], xs[1], xs[2]});
        t.mx = t.bx = std::max({xs[0], xs[1], xs[2]});
    }
    t.slope = slope_between(t.tx, t.ty, t.bx, t.by);
    t.upper_slope = slope_between(t.tx, t.ty, t.mx, t.my);
    t.lower_slope = slope_between(t.mx, t.my, t.bx, t.by);
    t.pad = pad;
    t.spread = pad * std::fabs(t.slope);
    t.upper_spread = pad * std::fabs(t.upper_slope);
    t.lower_spread = pad * std::fabs(t.lower_slope);
    t.first = int(std::ceil(std::max(t.ty - pad, -1e9)));
    t.last = int(std::floor(std::min(t.by + pad, 1e9)));
    s->triangles.push_back(t);
}

void start_runs(penumbra_scratch *s, const lamp_box &box) {
    s->unsorted.clear();
    s->top = int(box.top);
    list_chords(s, box);
}

void add_whole_rows(penumbra_scratch *s, const lamp_box &box) {
    for (int64_t y = box.top; y <= box.bottom; y++)
        add_run(s, box, y, int(box.left), int(box.right));
}

/* Adds the wedge's triangles to the rows of the box: on each row, the stretches of those it
 * crosses, those that meet joined into one run. */
void add_triangles(penumbra_scratch *s, const lamp_box &box) {
    int top = INT_MAX, bottom = INT_MIN;
    for (const wedge_triangle &t : s->triangles) {
        top = std::min(top, t.first);
        bottom = std::max(bottom, t.last);
    }
    const int first = std::max(int(box.top), top), last = std::min(int(box.bottom), bottom);
    if (first > last) {
        s->triangles.clear();
        return;
    }
    /* Sectors follow each other round the apex, and neighbours' stretches of a row meet but
     * past a short sector's end: each row's stretches are joined as they come, a triangle at a
     * time over its own rows, and those that do not meet the row's last are added apart
     * (sort_runs joins what still overlaps). */
    std::vector<int> &open = s->open_runs;
    open.assign(2 * size_t(last - first + 1), 0);
    /* Row y's stretch: columns open[2 * (y - first)] .. open[2 * (y - first) + 1] - 1. */
    for (const wedge_triangle &t : s->triangles) {
        const int from_row = std::max(first, t.first), to_row = std::min(last, t.last);
        for (int y = from_row; y <= to_row; y++) {
            double lo, hi;
            extent_at_row(t, double(y), &lo, &hi);
            const int from = column_from(lo - t.pad), to = column_to(hi + t.pad) + 1;
            if (from >= to)
                continue;
            int &x0 = open[2 * size_t(y - first)], &x1 = open[2 * size_t(y - first) + 1];
            if (x0 < x1 && from <= x1 && to >= x0) {
                x0 = std::min(x0, from);
                x1 = std::max(x1, to);
                continue;
            }
            if (x0 < x1)
                add_run(s, box, y, x0, x1 - 1);
            x0 = from;
            x1 = to;
        }
    }
    for (int y = first; y <= last; y++) {
        const int x0 = open[2 * size_t(y - first)], x1 = open[2 * size_t(y - first) + 1];
        if (x0 < x1)
            add_run(s, box, y, x0, x1 - 1);
    }
    s->triangles.clear();
}

/* Sorts the unsorted runs into s->runs by row, then by column, joining those that overlap. */
void sort_runs(penumbra_scratch *s, const lamp_box &box) {
    const size_t rows = size_t(box.bottom - box.top + 1);
    std::vector<int> &start = s->row_start;
    start.assign(rows + 1, 0);
    for (const exact_run &r : s->unsorted)
        start[size_t(r.row - box.top) + 1]++;
    for (size_t i = 0; i < rows; i++)
        start[i + 1] += start[i];
    s->runs.resize(s->unsorted.size());
    for (const exact_run &r : s->unsorted)
        s->runs[size_t(start[size_t(r.row - box.top)]++)] = r;
    size_t kept = 0, from = 0;
    for (size_t i = 0; i < rows; i++) {
        const size_t to = size_t(start[i]);
        /* A row has few runs: insertion. */
        exact_run *row = s->runs.data();
        for (size_t k = from + 1; k < to; k++) {
            const exact_run r = row[k];
            size_t j = k;
            for (; j > from && row[j - 1].x0 > r.x0; j--)
                row[j] = row[j - 1];
            row[j] = r;
        }
        start[i] = int(kept);
        for (size_t k = from; k < to; k++) {
            const exact_run r = s->runs[k];
            if (kept > size_t(start[i]) && r.x0 <= s->runs[kept - 1].x1 + 1)
                s->runs[kept - 1].x1 = std::max(s->runs[kept - 1].x1, r.x1);
            else
                s->runs[kept++] = r;
        }
        from = to;
    }
    start[rows] = int(kept);
    s->runs.resize(kept);
}
