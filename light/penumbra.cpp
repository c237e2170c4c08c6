/* How much of a lamp's disc a point sees, and where a lamp's penumbrae can lie.
 *
 * Seen from a point p at distance d, the disc fills the angle of half-width asin(s / d) around
 * the direction to its centre. Each blocker in front of the disc hides a stretch of that angle;
 * the share seen is what their union leaves. Stretches are found as tangents of the angle from
 * that direction (monotonic along a segment, no trigonometry per blocker) and only the union's
 * ends are turned into angles.
 *
 * A point sees part of the disc only when the end of some blocked stretch lies strictly inside
 * the disc's angle: the direction to a corner in front of the disc. So the penumbrae lie in the
 * wedges behind the corners, between the lines through each corner tangent to the disc, and
 * only behind corners that see some of the disc. Elsewhere the share is 1 or 0, as the hard
 * shadow from the centre says (wedges.cpp finds them). */
#include "penumbra.h"

#include "shrouder_set.h"

#include <algorithm>
#include <cmath>

static const int bins = penumbra_bins;
static const double pi = 3.14159265358979323846;
/* Members lie within +/-2^19: a query box clamped to +/-2^20 lists the same edges. */
static const int64_t query_limit = int64_t(1) << 20;
/* Blockers nearer the centre than this many sizes can matter in any direction. */
static const double near_sizes = 1.5;

/* A direction's place on [0, 4), growing with its angle from +x, without trigonometry. */
static double pseudo_angle(double dx, double dy) {
    const double p = dy / (std::fabs(dx) + std::fabs(dy));
    return dx < 0 ? 2 - p : (dy < 0 ? 4 + p : p);
}

static int bin_of(double pseudo) {
    return std::min(bins - 1, std::max(0, int(pseudo * (bins / 4.0))));
}

int direction_bin(double dx, double dy) {
    return bin_of(pseudo_angle(dx, dy));
}

static int query_coordinate(int64_t v) {
    return int(std::min(std::max(v, -query_limit), query_limit));
}

double distance_to_origin(double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1, dy = y2 - y1, length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? -(x1 * dx + y1 * dy) / length2 : 0;
    t = std::min(std::max(t, 0.0), 1.0);
    const double x = x1 + t * dx, y = y1 + t * dy;
    return std::sqrt(x * x + y * y);
}

static void add_piece(penumbra_scratch *s, const double line[4], double from, double to) {
    const double x1 = line[0] + from * line[2], y1 = line[1] + from * line[3];
    const double x2 = line[0] + to * line[2], y2 = line[1] + to * line[3];
    s->blockers.push_back(
        {x1, y1, x2, y2, line[0], line[1], line[2], line[3], distance_to_origin(x1, y1, x2, y2)});
}

/* Whether the whole disc of radius `size` around the origin lies strictly on the edge's left,
 * the side it blocks: a ray from a point there to the disc never crosses its line, and a point
 * on its right is not blocked by it. Such edges (a box's back, most often) block nothing. */
static bool faces_away(const double line[4], double size, double length) {
    /* The centre's distance from the line, times its length: negative on its left. */
    const double across = line[3] * line[0] - line[2] * line[1];
    return across < 0 && -across > size * length;
}

/* Adds the parts of the edge outside the disc of radius `size` around the origin, unless it
 * can block nothing. */
static void add_blocker(penumbra_scratch *s, const double line[4]) {
    const double a = line[2] * line[2] + line[3] * line[3];
    if (a == 0 || faces_away(line, s->size, std::sqrt(a)))
        return;
    const double b = 2 * (line[0] * line[2] + line[1] * line[3]);
    const double c = line[0] * line[0] + line[1] * line[1] - s->size * s->size;
    const double discriminant = b * b - 4 * a * c;
    if (discriminant <= 0) {
        add_piece(s, line, 0, 1);
        return;
    }
    const double root = std::sqrt(discriminant);
    const double in = (-b - root) / (2 * a), out = (-b + root) / (2 * a);
    if (out <= 0 || in >= 1) {
        add_piece(s, line, 0, 1);
        return;
    }
    s->crossing = true;
    if (in > 0)
        add_piece(s, line, 0, in);
    if (out < 1)
        add_piece(s, line, out, 1);
}

/* The bins of the directions from the centre for which the blocker can stand between a point
 * and the disc: its angle seen from the centre, widened by asin(size / near). In pseudo-angles,
 * which grow no faster than the angle and turn half a turn with it: no trigonometry. */
static bin_range bins_of(const blocker &b, double size) {
    const bin_range all = {0, bins - 1};
    if (b.near < near_sizes * size)
        return all;
    const double p1 = pseudo_angle(b.x1, b.y1), p2 = pseudo_angle(b.x2, b.y2);
    double from = p1, span = p2 >= p1 ? p2 - p1 : p2 - p1 + 4;
    if (span > 2) {
        from = p2;
        span = 4 - span;
    }
    /* tan(asin(x)) = x / sqrt(1 - x^2), at least asin(x), for x at most 1 / near_sizes. */
    const double x = size / b.near, widen = x / std::sqrt(1 - x * x) + 1e-9;
    const double per_bin = bins / 4.0;
    /* A bin more each way covers the rounding of the pseudo-angles; from - widen > -2. */
    const int first = int((from - widen + 4) * per_bin) - 1;
    const int last = int((from + span + widen + 4) * per_bin) + 1;
    if (last - first + 1 >= bins)
        return all;
    return {first % bins, last % bins};
}

static void fill_bins(penumbra_scratch *s) {
    std::vector<int> &start = s->bin_start, &items = s->bin_items;
    std::vector<std::pair<double, int>> &order = s->order;
    const std::vector<blocker> &b = s->blockers;
    const size_t n = b.size();
    /* Nearest first, in every bin: a point stops at the first blocker no nearer the centre than
     * itself. */
    order.resize(n);
    for (size_t i = 0; i < n; i++)
        order[i] = {b[i].near, int(i)};
    std::sort(order.begin(), order.end());
    std::vector<bin_range> &ranges = s->ranges;
    ranges.resize(n);
    /* Each bin's count, from the changes of count where a blocker's bins start and end. */
    start.assign(bins + 1, 0);
    for (size_t i = 0; i < n; i++) {
        const bin_range r = ranges[i] = bins_of(b[i], s->size);
        start[size_t(r.first)]++;
        start[size_t(r.last) + 1]--;
        if (r.first > r.last) {
            start[0]++;
            start[bins]--;
        }
    }
    /* Then where each bin's list starts: the counts before it. */
    int count = 0, before = 0;
    for (int k = 0; k < bins; k++) {
        count += start[size_t(k)];
        start[size_t(k)] = before;
        before += count;
    }
    start[bins] = before;
    items.resize(size_t(before));
    for (const std::pair<double, int> &o : order) {
        const bin_range r = ranges[size_t(o.second)];
        for (int k = r.first;; k = (k + 1) % bins) {
            items[size_t(start[size_t(k)]++)] = o.second;
            if (k == r.last)
                break;
        }
    }
    for (int k = bins; k > 0; k--)
        start[size_t(k)] = start[size_t(k) - 1];
    start[0] = 0;
}

/* Readies the scratch for queries (shares, directions, rows) of the blockers it holds. */
static void start_queries(penumbra_scratch *s) {
    const size_t n = s->blockers.size();
    s->umbra = -1;
    s->stamps.assign(n, 0u);
    s->stamp = 0;
    s->chunk.resize(n);
    s->lows.resize(n);
    s->highs.resize(n);
    s->rows_ready = false;
}

void gather_blockers(penumbra_scratch *s, const shrouder_set *set, int64_t cx, int64_t cy,
                     double size, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    s->size = size;
    s->crossing = false;
    s->blockers.clear();
    const int64_t reach = int64_t(std::ceil(size));
    set_edges_in_box(set, query_coordinate(std::min(left, cx - reach)),
                     query_coordinate(std::min(top, cy - reach)),
                     query_coordinate(std::max(right, cx + reach)),
                     query_coordinate(std::max(bottom, cy + reach)), &s->listed);
    for (const set_edge_copy &e : s->listed) {
        const double line[4] = {double(e.x1 - cx), double(e.y1 - cy), double(int64_t(e.x2) - e.x1),
                                double(int64_t(e.y2) - e.y1)};
        add_blocker(s, line);
    }
    fill_bins(s);
    /* Single precision keeps a share within a 1000th of a level while the box's pixels lie
     * within this many pixels of the centre. */
    const int64_t single_reach = 4096;
    s->single = std::max({cx - left, right - cx, cy - top, bottom - cy}) <= single_reach;
    start_queries(s);
}

/* The stretch [lo, hi] of tangents, within [-t, t], that the blocker hides from the point p
 * looking along u (w is u turned a quarter clockwise on screen) at the disc of that size d
 * away; false when it hides none of it. */
static bool hidden_stretch(const blocker &b, double px, double py, double ux, double uy, double d,
                           double size, double t, double *lo, double *hi) {
    const double wx = -uy, wy = ux;
    const double ex1 = b.x1 - px, ey1 = b.y1 - py, ex2 = b.x2 - px, ey2 = b.y2 - py;
    const double a1 = ex1 * ux + ey1 * uy, b1 = ex1 * wx + ey1 * wy;
    const double a2 = ex2 * ux + ey2 * uy, b2 = ex2 * wx + ey2 * wy;
    if (a1 <= 0 && a2 <= 0)
        return false;
    double t1, t2;
    if (a1 > 0 && a2 > 0) {
        t1 = b1 / a1;
        t2 = b2 / a2;
    } else {
        /* Towards where the segment passes beside p, its tangent grows without bound. */
        const double beside = b1 + a1 / (a1 - a2) * (b2 - b1);
        const double unbounded = beside > 0 ? HUGE_VAL : -HUGE_VAL;
        t1 = a1 > 0 ? b1 / a1 : unbounded;
        t2 = a2 > 0 ? b2 / a2 : unbounded;
    }
    *lo = std::max(std::min(t1, t2), -t);
    *hi = std::min(std::max(t1, t2), t);
    if (*lo >= *hi)
        return false;
    /* Nearer than the disc's nearest point along u: in front of all of it. */
    if (a1 <= d - size && a2 <= d - size)
        return true;
    /* In front of the disc or beyond it: the piece does not meet the disc, so its point in the
     * middle direction tells, by the side of p's polar line, x . p = size^2, it lies on. That
     * line crosses every ray from p to the disc inside the disc. */
    const double mid = 0.5 * (*lo + *hi);
    const double across = (b2 - b1) - mid * (a2 - a1);
    if (across == 0)
        return false;
    const double g1 = b.x1 * px + b.y1 * py - size * size;
    const double gl = (b.x2 - b.x1) * px + (b.y2 - b.y1) * py;
    return (g1 * across + (mid * a1 - b1) * gl) * across > 0;
}

/* Whether the blocker alone hides all of the disc, tangent t each way, from p. */
static bool hides_all(const blocker &b, double px, double py, double ux, double uy, double d,
                      double size, double t) {
    double lo, hi;
    return b.near < d && b.ldx * (py - b.ly) - b.ldy * (px - b.lx) < 0 &&
           hidden_stretch(b, px, py, ux, uy, d, size, t, &lo, &hi) && lo <= -t && hi >= t;
}

/* atan within 2e-6 radians: a share's error stays far below a level even for the narrowest
 * disc. */
static double fast_atan(double t) {
    const double a = std::fabs(t);
    const double p = atan_to_one(a > 1 ? 1 / a : a);
    const double r = a > 1 ? pi / 2 - p : p;
    return t < 0 ? -r : r;
}

bool ends_at(const blocker &b, double x, double y) {
    return (b.x1 == x && b.y1 == y) || (b.x2 == x && b.y2 == y);
}

/* The stretches of tangents (from the direction to the centre) hidden from p, sorted and
 * joined, in s->lows and s->highs; their count, or -1 when one blocker hides the whole disc.
 * *t is the tangent of the disc's half-angle. Edges ending at the point `ignored` are left out
 * when it is not NULL. */
static int hidden_stretches(penumbra_scratch *s, double px, double py, const double *ignored,
                            double *t) {
    const double size = s->size, d2 = px * px + py * py;
    const double d = std::sqrt(d2), ux = -px / d, uy = -py / d;
    *t = size / std::sqrt(d2 - size * size);
    if (!ignored && s->umbra >= 0 &&
        hides_all(s->blockers[size_t(s->bin_items[size_t(s->umbra)])], px, py, ux, uy, d, size, *t))
        return -1;
    const int bin = bin_of(pseudo_angle(px, py));
    int n = 0;
    double *lows = s->lows.data(), *highs = s->highs.data();
    for (int k = s->bin_start[size_t(bin)]; k < s->bin_start[size_t(bin) + 1]; k++) {
        const blocker &b = s->blockers[size_t(s->bin_items[size_t(k)])];
        if (b.near >= d)
            break;
        if (b.ldx * (py - b.ly) - b.ldy * (px - b.lx) >= 0)
            continue;
        if (ignored && ends_at(b, ignored[0], ignored[1]))
            continue;
        double lo, hi;
        if (hidden_stretch(b, px, py, ux, uy, d, size, *t, &lo, &hi)) {
            if (lo <= -*t && hi >= *t) {
                s->umbra = k;
                return -1;
            }
            lows[n] = lo;
            highs[n] = hi;
            n++;
        }
    }
    /* Sort the stretches by their start (few: insertion), then join those that overlap. */
    for (int i = 1; i < n; i++)
        for (int j = i; j > 0 && lows[j] < lows[j - 1]; j--) {
            std::swap(lows[j], lows[j - 1]);
            std::swap(highs[j], highs[j - 1]);
        }
    int joined = 0;
    for (int i = 0; i < n; i++) {
        if (joined > 0 && lows[i] <= highs[joined - 1]) {
            highs[joined - 1] = std::max(highs[joined - 1], highs[i]);
            continue;
        }
        lows[joined] = lows[i];
        highs[joined] = highs[i];
        joined++;
    }
    return joined;
}

double seen_share(penumbra_scratch *s, double px, double py) {
    if (px * px + py * py <= s->size * s->size || s->blockers.empty())
        return 1.0;
    double t;
    const int n = hidden_stretches(s, px, py, NULL, &t);
    if (n < 0)
        return 0.0;
    double hidden = 0;
    for (int i = 0; i < n; i++)
        hidden += fast_atan(s->highs[size_t(i)]) - fast_atan(s->lows[size_t(i)]);
    return std::min(1.0, std::max(0.0, 1 - hidden / (2 * fast_atan(t))));
}

int seen_directions(penumbra_scratch *s, double qx, double qy) {
    s->seen.clear();
    double t;
    const double corner[2] = {qx, qy};
    const int n = hidden_stretches(s, qx, qy, corner, &t);
    if (n < 0)
        return 0;
    /* The gaps between the hidden stretches, within [-t, t], as angles. */
    double from = -t;
    for (int i = 0; i <= n; i++) {
        const double to = i < n ? std::max(-t, s->lows[size_t(i)]) : t;
        if (to > from)
            s->seen.insert(s->seen.end(), {std::atan(from), std::atan(to)});
        if (i < n)
            from = std::max(from, std::min(t, s->highs[size_t(i)]));
    }
    return int(s->seen.size() / 2);
}

double share_of_light_seen(const shrouder_set *set, int lx, int ly, int size, int x, int y) {
    if (!set)
        return 1.0;
    if (size <= 0)
        return is_lit_by(set, lx, ly, x, y) ? 1.0 : 0.0;
    /* Each thread asks with its own scratch: queries from several threads share nothing. */
    thread_local penumbra_scratch scratch;
    gather_blockers(&scratch, set, lx, ly, size, x, y, x, y);
    return seen_share(&scratch, double(int64_t(x) - lx), double(int64_t(y) - ly));
}
