/* Where a lamp's penumbrae can lie: the rows' stretches of the map in the wedges behind the
 * corners that see some of the disc, bounded by the lines through each corner tangent to the
 * disc (see penumbra.cpp for why nothing else can see part of the disc), as far as each corner
 * sees past the other blockers. */
#include "penumbra.h"

#include <algorithm>
#include <cmath>

/* Pixels this near the hard shadow's edge through a corner are worked out exactly, where the
 * hard shadow from the centre may round the other way. */
static const double pad = 1.5;
/* Sectors take in the pixels this near them too: a pixel's centre may lie on the side two
 * sectors share, which each may put a rounding outside itself. */
static const double rounding = 1e-6;

/* The candidate met first from the corner along the direction (rx, ry) (the corner strictly
 * on its edge's right, as a light would be), -1 for none. Candidates come nearest first: none
 * past the nearest hit yet can be nearer. */
static int first_hit(const std::vector<candidate> &candidates, double rx, double ry) {
    double nearest = HUGE_VAL;
    int hit = -1;
    for (size_t i = 0; i < candidates.size(); i++) {
        const candidate &c = candidates[i];
        if (c.near >= nearest)
            break;
        const double across = rx * c.ey - ry * c.ex;
        /* The hit lies at t = along / across on the ray and u = at / across on the edge. */
        const double sign = across < 0 ? -1 : 1, span = across * sign;
        const double along = (c.wx * c.ey - c.wy * c.ex) * sign;
        const double at = (c.wx * ry - c.wy * rx) * sign;
        if (along > 0 && at >= 0 && at <= span && along / span < nearest) {
            nearest = along / span;
            hit = int(i);
        }
    }
    return hit;
}

/* The candidate of the segment from (x1, y1) to (x2, y2), relative to the corner. */
static candidate candidate_of(double x1, double y1, double x2, double y2) {
    return {x1, y1, x2 - x1, y2 - y1, distance_to_origin(x1, y1, x2, y2)};
}

/* Whether the blocker casts from q and may cross the wedge of half-angle `half` around u. */
static bool casts_into_wedge(const blocker &b, double qx, double qy, double ux, double uy, double c,
                             double sx) {
    if (b.ldx * (qy - b.ly) - b.ldy * (qx - b.lx) <= 0)
        return false;
    /* Some point of the piece lies ahead of q within the wedge: test the piece against the
     * wedge's two sides as half-planes (c and sx: the cosine and sine of the half-angle). */
    const double n1x = uy * c + ux * sx, n1y = uy * sx - ux * c; /* inner normal, one side */
    const double n2x = ux * sx - uy * c, n2y = ux * c + uy * sx; /* and the other */
    const double p1 = (b.x1 - qx) * n1x + (b.y1 - qy) * n1y,
                 p2 = (b.x2 - qx) * n1x + (b.y2 - qy) * n1y;
    const double r1 = (b.x1 - qx) * n2x + (b.y1 - qy) * n2y,
                 r2 = (b.x2 - qx) * n2x + (b.y2 - qy) * n2y;
    return !(p1 < 0 && p2 < 0) && !(r1 < 0 && r2 < 0);
}

/* The blockers that cast from q into the wedge round u whose half-angle has the cosine c and
 * the sine sx, q's own edges left out, nearest q first. The wedge's points lie within its
 * half-angle of q's direction from the centre, and a blocker crossing it lies in the bins of
 * those directions. */
static void list_candidates(penumbra_scratch *s, double qx, double qy, double ux, double uy,
                            double c, double sx) {
    std::vector<candidate> &candidates = s->candidates;
    candidates.clear();
    start_listing(s);
    const int first = direction_bin(ux * c + uy * sx, uy * c - ux * sx);
    const int last = direction_bin(ux * c - uy * sx, uy * c + ux * sx);
    const int bins = penumbra_bins;
    for (int bin = first;; bin = (bin + 1) % bins) {
        for (int k = s->bin_start[size_t(bin)]; k < s->bin_start[size_t(bin) + 1]; k++) {
            const int i = s->bin_items[size_t(k)];
            if (s->stamps[size_t(i)] == s->stamp)
                continue;
            s->stamps[size_t(i)] = s->stamp;
            const blocker &b = s->blockers[size_t(i)];
            if (casts_into_wedge(b, qx, qy, ux, uy, c, sx) && !ends_at(b, qx, qy))
                candidates.push_back(candidate_of(b.x1 - qx, b.y1 - qy, b.x2 - qx, b.y2 - qy));
        }
        if (bin == last)
            break;
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const candidate &a, const candidate &b) { return a.near < b.near; });
}

/* The direction (x, y) turned by the angle whose cosine and sine are given. */
static void turn(double *x, double *y, double c, double sn) {
    const double tx = *x * c - *y * sn;
    *y = *x * sn + *y * c;
    *x = tx;
}

/* The directions from q to the candidates' ends within the wedge round the axis u whose
 * half-angle has the cosine `least`, in s->looks by their angle from u. Along a direction the
 * nearest blocker only changes at a blocker's end (blockers of a set cross only at their ends),
 * so between two looks one after the other the same candidate is hit first, or none. */
static void list_looks(penumbra_scratch *s, double ux, double uy, double least) {
    std::vector<wedge_look> &looks = s->looks;
    looks.clear();
    for (const candidate &c : s->candidates)
        for (int end = 0; end < 2; end++) {
            const double ex = c.wx + end * c.ex, ey = c.wy + end * c.ey;
            const double length = std::sqrt(ex * ex + ey * ey);
            const double rx = ex / length, ry = ey / length;
            if (rx * ux + ry * uy >= least)
                looks.push_back({ux * ry - uy * rx, rx, ry});
        }
    /* Few: insertion. */
    for (size_t i = 1; i < looks.size(); i++) {
        const wedge_look l = looks[i];
        size_t j = i;
        for (; j > 0 && looks[j - 1].sine > l.sine; j--)
            looks[j] = looks[j - 1];
        looks[j] = l;
    }
}

/* How far from q, inside the circle of that radius round the centre, the circle lies along
 * the direction r. */
static double to_rim(double qx, double qy, double rx, double ry, double rim) {
    const double along = qx * rx + qy * ry;
    return std::sqrt(std::max(0.0, along * along - (qx * qx + qy * qy) + rim * rim)) - along;
}

/* Adds the sector from the apex (ax, ay) between the directions r1 and r2, that long, to the
 * wedge's triangles, widened by `pad`. */
static void add_sector(penumbra_scratch *s, double ax, double ay, const double r1[2],
                       const double r2[2], double length, double pad) {
    const double xs[3] = {ax, ax + length * r1[0], ax + length * r2[0]};
    const double ys[3] = {ay, ay + length * r1[1], ay + length * r2[1]};
    add_triangle(s, xs, ys, pad);
}

/* A corner's wedge: the corner q from the centre, its direction u from the centre, the apex
 * (q on the map) and the rim past which nothing is lit. */
struct wedge {
    double qx, qy, ux, uy, ax, ay, rim;
};

/* Adds the sector of the wedge between the directions r1 and r2, `width` radians apart, as far
 * as the rim. */
static void add_to_rim(penumbra_scratch *s, const wedge &w, const double r1[2], const double r2[2],
                       double width) {
    /* The farthest point from q within the rim lies along a side farther from q's direction. */
    const double inside =
        std::max(to_rim(w.qx, w.qy, r1[0], r1[1], w.rim), to_rim(w.qx, w.qy, r2[0], r2[1], w.rim));
    add_sector(s, w.ax, w.ay, r1, r2, inside / std::cos(0.5 * width), rounding);
}

/* Directions next to each other that run to the rim are one triangle as long as they span at
 * most this many radians together: a wider triangle reaches ever further past the rim to hold
 * it. */
static const double widest_join = 1;

/* Adds the sector of the wedge between the directions r1 and r2, as far as the rim, cut into
 * triangles at most `widest_join` wide. */
static void add_fan_to_rim(penumbra_scratch *s, const wedge &w, const double r1[2],
                           const double r2[2]) {
    const double width = std::atan2(r1[0] * r2[1] - r1[1] * r2[0], r1[0] * r2[0] + r1[1] * r2[1]);
    const int n = int(std::ceil(width / widest_join));
    const double step = width / n, cs = std::cos(step), ss = std::sin(step);
    double side[2] = {r1[0], r1[1]};
    for (int i = 0; i < n; i++) {
        double next[2] = {side[0], side[1]};
        if (i + 1 < n)
            turn(&next[0], &next[1], cs, ss);
        else
            next[0] = r2[0], next[1] = r2[1];
        add_to_rim(s, w, side, next, step);
        side[0] = next[0];
        side[1] = next[1];
    }
}

/* How far from q along the direction r the line of the candidate lies, or HUGE_VAL when it does
 * not lie ahead. */
static double to_line(const candidate &c, const double r[2]) {
    const double t = (c.wx * c.ey - c.wy * c.ex) / (r[0] * c.ey - r[1] * c.ex);
    return t > 0 && t < HUGE_VAL ? t : HUGE_VAL;
}

/* Adds the part of the wedge between its directions [first, last] (angles from u) that q sees:
 * between two looks one after the other, the triangle from q to the candidate hit first, or
 * the sector to the rim when none is hit within it. A point past the candidate is hidden from q
 * by it: there, the direction to q lies inside a blocked stretch, not at its end. Neighbours
 * that hit the same candidate, or run to the rim, are one triangle. */
static void add_stretch(penumbra_scratch *s, const wedge &w, double first, double last) {
    double open[2] = {w.ux, w.uy}, end[2] = {w.ux, w.uy};
    turn(&open[0], &open[1], std::cos(first), std::sin(first));
    turn(&end[0], &end[1], std::cos(last), std::sin(last));
    const double last_sine = std::sin(last);
    /* What the directions from `open` hit: a candidate, the rim (-1), or nothing yet (-2). */
    int running = -2;
    double side[2] = {open[0], open[1]};
    const auto close = [&](const double to[2]) {
        if (running == -1) {
            add_fan_to_rim(s, w, open, to);
        } else if (running >= 0) {
            const candidate &c = s->candidates[size_t(running)];
            const double near = to_line(c, open), far = to_line(c, to);
            const double xs[3] = {w.ax, w.ax + near * open[0], w.ax + far * to[0]};
            const double ys[3] = {w.ay, w.ay + near * open[1], w.ay + far * to[1]};
            add_triangle(s, xs, ys, rounding);
        }
        open[0] = to[0];
        open[1] = to[1];
    };
    const std::vector<wedge_look> &looks = s->looks;
    size_t k = size_t(std::upper_bound(looks.begin(), looks.end(), std::sin(first),
                                       [](double v, const wedge_look &l) { return v < l.sine; }) -
                      looks.begin());
    double side_sine = std::sin(first);
    for (;;) {
        const bool at_end = k == looks.size() || looks[k].sine >= last_sine;
        const double next[2] = {at_end ? end[0] : looks[k].x, at_end ? end[1] : looks[k].y};
        const double next_sine = at_end ? last_sine : looks[k].sine;
        if (next_sine > side_sine) {
            double mx = side[0] + next[0], my = side[1] + next[1];
            const double length = std::sqrt(mx * mx + my * my);
            mx /= length;
            my /= length;
            int hit = first_hit(s->candidates, mx, my);
            /* Past the rim nothing is lit: a candidate beyond it along both sides is none. */
            if (hit >= 0) {
                const candidate &c = s->candidates[size_t(hit)];
                const double a = to_line(c, side), b = to_line(c, next);
                if ((a >= to_rim(w.qx, w.qy, side[0], side[1], w.rim) &&
                     b >= to_rim(w.qx, w.qy, next[0], next[1], w.rim)) ||
                    a == HUGE_VAL || b == HUGE_VAL)
                    hit = -1;
            }
            if (hit != running) {
                close(side);
                running = hit;
            }
        }
        side[0] = next[0];
        side[1] = next[1];
        side_sine = next_sine;
        if (at_end)
            break;
        k++;
    }
    close(end);
}

/* Adds the runs of the wedge behind the corner (qx, qy), relative to the centre: the points
 * p whose line through the corner meets the disc where the corner sees it, in the directions
 * s->seen gives. */
static void add_wedge(penumbra_scratch *s, const lamp_box &box, double qx, double qy) {
    const double d = std::sqrt(qx * qx + qy * qy), half = std::asin(s->size / d);
    const double sine = s->size / d, cosine = std::sqrt(std::max(0.0, 1 - sine * sine));
    const double ux = qx / d, uy = qy / d;
    list_candidates(s, qx, qy, ux, uy, cosine, sine);
    list_looks(s, ux, uy, cosine);
    /* Past this circle round the centre (the reach, the pad and a pixel's rounding) the wedge
     * lights nothing. Corners lie inside it. */
    const double rim = double(box.radius) + 2 * pad + 1;
    const wedge w = {qx, qy, ux, uy, double(box.x) + qx, double(box.y) + qy, rim};
    /* How far the stretch holding direction 0 reaches each way of it, 0 for none. */
    double margin = 0;
    for (size_t k = 0; k < s->seen.size(); k += 2) {
        double from = s->seen[k] - corner_slack, to = s->seen[k + 1] + corner_slack;
        /* The hard shadow's edge from the centre through the corner (direction 0) may round
         * either way by a pixel or so: a stretch that ends near it takes in the middle half of
         * the wedge, more than the pad beyond the narrow part. */
        if (from <= half / 2 && to >= -half / 2) {
            from = std::min(from, -half / 2);
            to = std::max(to, half / 2);
        }
        from = std::max(-half, from);
        to = std::min(half, to);
        if (from < 0 && to > 0)
            margin = std::min(-from, to);
        add_stretch(s, w, from, to);
    }
    /* The hard shadow's pixels may round the other way within a pixel or so of its edge, the
     * ray from the centre through the corner: near the corner, where the stretch round that
     * ray is narrower than the pad, a strip along it as wide as the pad each way takes them
     * in. Past twice the pad over the wedge's sine the middle half does. */
    const double strip = std::min({2 * pad / sine + 2 * pad,
                                   margin > 0 ? pad / std::tan(margin) + 2 * pad : HUGE_VAL,
                                   to_rim(qx, qy, ux, uy, rim)});
    const double along[2] = {ux, uy};
    add_sector(s, w.ax, w.ay, along, along, strip, pad);
    add_triangles(s, box);
}

void find_exact_runs(penumbra_scratch *s, const lamp_box &box) {
    start_runs(s, box);
    if (s->crossing) {
        add_whole_rows(s, box);
    } else if (!s->blockers.empty()) {
        /* A wedge lies behind its corner, farther from the centre: past the reach, and the pad,
         * it lights nothing. */
        list_corners(s, double(box.radius) + 2 * pad);
        for (size_t i = 0; i < s->corners.size(); i += 2) {
            const double qx = s->corners[i], qy = s->corners[i + 1];
            /* The corner ends what a point behind it sees only along lines through it that
             * reach the disc past the other blockers, and where its own edges block one side:
             * those are cheaper to ask first. */
            if (corner_ends(s, i / 2, qx, qy, std::sqrt(qx * qx + qy * qy)) == 0 ||
                seen_directions(s, qx, qy) == 0)
                continue;
            keep_ends(s);
            if (!s->seen.empty())
                add_wedge(s, box, qx, qy);
        }
    }
    sort_runs(s, box);
}
