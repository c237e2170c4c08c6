/* Where a lamp's penumbrae can lie: the rows' stretches of the map in the wedges behind the
 * corners that see some of the disc, bounded by the lines through each corner tangent to the
 * disc (see penumbra.cpp for why nothing else can see part of the disc). */
#include "penumbra.h"

#include <algorithm>
#include <cmath>

/* Wedges are widened by this much each way, over the pixels where the hard shadow from the
 * centre may round the other way. */
static const double pad = 1.5;

/* The columns of row y, from left to right, of the disc of reach around the lamp in the box. */
static bool chord(const lamp_box &box, int64_t y, int64_t *first, int64_t *last) {
    const double dy = double(y - box.y), r = double(box.radius);
    const double half = std::sqrt(std::max(0.0, r * r - dy * dy));
    *first = std::max(box.left, box.x - int64_t(half) - 1);
    *last = std::min(box.right, box.x + int64_t(half) + 1);
    return *first <= *last;
}

static void add_run(penumbra_scratch *s, const lamp_box &box, int64_t y, int64_t x0, int64_t x1) {
    int64_t first, last;
    if (!chord(box, y, &first, &last))
        return;
    x0 = std::max(x0, first);
    x1 = std::min(x1, last);
    if (x0 <= x1)
        s->unsorted.push_back({int(y), int(x0), int(x1)});
}

/* Extends [*lo, *hi] by the x of the segment's part within the rows y0 .. y1. */
static void extent_in_band(double x1, double y1, double x2, double y2, double y0, double y_end,
                           double *lo, double *hi) {
    if (y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const double from = std::max(y1, y0), to = std::min(y2, y_end);
    if (from > to)
        return;
    const double slope = y2 > y1 ? (x2 - x1) / (y2 - y1) : 0;
    const double xa = y2 > y1 ? x1 + (from - y1) * slope : std::min(x1, x2);
    const double xb = y2 > y1 ? x1 + (to - y1) * slope : std::max(x1, x2);
    *lo = std::min(*lo, std::min(xa, xb));
    *hi = std::max(*hi, std::max(xa, xb));
}

/* Adds the runs of the wedge behind the corner (qx, qy), relative to the centre, whose sides
 * leave it at `half` radians from the direction away from the disc. */
static void add_wedge(penumbra_scratch *s, const lamp_box &box, double qx, double qy) {
    const double d = std::hypot(qx, qy), half = std::asin(s->size / d);
    const double ux = qx / d, uy = qy / d, c = std::cos(half), sn = std::sin(half);
    /* Far enough to pass the reach from the centre on both sides. */
    const double length = double(box.radius) + d + 2;
    const double ax = double(box.x) + qx, ay = double(box.y) + qy;
    const double xs[3] = {ax, ax + length * (ux * c - uy * sn), ax + length * (ux * c + uy * sn)};
    const double ys[3] = {ay, ay + length * (uy * c + ux * sn), ay + length * (uy * c - ux * sn)};
    const double top = std::min({ys[0], ys[1], ys[2]}) - pad;
    const double bottom = std::max({ys[0], ys[1], ys[2]}) + pad;
    const int64_t first = std::max(box.top, int64_t(std::floor(std::max(top, -1e18))));
    const int64_t last = std::min(box.bottom, int64_t(std::ceil(std::min(bottom, 1e18))));
    for (int64_t y = first; y <= last; y++) {
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (int i = 0; i < 3; i++)
            extent_in_band(xs[i], ys[i], xs[(i + 1) % 3], ys[(i + 1) % 3], double(y) - pad,
                           double(y) + pad, &lo, &hi);
        if (lo <= hi)
            add_run(s, box, y, int64_t(std::floor(std::max(lo - pad, -1e18))),
                    int64_t(std::ceil(std::min(hi + pad, 1e18))));
    }
}

/* The corners of the blockers, each once. */
static void list_corners(penumbra_scratch *s) {
    std::vector<double> &c = s->corners;
    c.clear();
    for (const blocker &b : s->blockers) {
        c.insert(c.end(), {b.x1, b.y1, b.x2, b.y2});
    }
    const size_t n = c.size() / 2;
    /* Sort the pairs through their indices in the runs' scratch: no allocation once grown. */
    std::vector<exact_run> &order = s->runs;
    order.resize(n);
    for (size_t i = 0; i < n; i++)
        order[i].row = int(i);
    std::sort(order.begin(), order.end(), [&](const exact_run &a, const exact_run &b) {
        const double *p = &c[2 * size_t(a.row)], *q = &c[2 * size_t(b.row)];
        return p[0] < q[0] || (p[0] == q[0] && p[1] < q[1]);
    });
    std::vector<double> &sorted = s->lows;
    sorted.resize(2 * n);
    size_t kept = 0;
    for (size_t i = 0; i < n; i++) {
        const double *p = &c[2 * size_t(order[i].row)];
        if (kept > 0 && sorted[2 * kept - 2] == p[0] && sorted[2 * kept - 1] == p[1])
            continue;
        sorted[2 * kept] = p[0];
        sorted[2 * kept + 1] = p[1];
        kept++;
    }
    c.assign(sorted.begin(), sorted.begin() + std::ptrdiff_t(2 * kept));
}

/* Sorts the unsorted runs into s->runs by row, then by column, joining those that overlap. */
static void sort_runs(penumbra_scratch *s, const lamp_box &box) {
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
        std::sort(s->runs.begin() + std::ptrdiff_t(from), s->runs.begin() + std::ptrdiff_t(to),
                  [](const exact_run &a, const exact_run &b) { return a.x0 < b.x0; });
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

void find_exact_runs(penumbra_scratch *s, const lamp_box &box) {
    s->unsorted.clear();
    s->top = int(box.top);
    if (s->crossing) {
        for (int64_t y = box.top; y <= box.bottom; y++)
            add_run(s, box, y, box.left, box.right);
    } else if (!s->blockers.empty()) {
        list_corners(s);
        for (size_t i = 0; i < s->corners.size(); i += 2) {
            const double qx = s->corners[i], qy = s->corners[i + 1];
            /* A corner the whole disc is hidden from is no end of anything seen. */
            if (seen_share(s, qx, qy, true, qx, qy) > 0)
                add_wedge(s, box, qx, qy);
        }
    }
    sort_runs(s, box);
}
