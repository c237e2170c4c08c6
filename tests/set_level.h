/* Shared by the shrouder set tests: a level kept both in a set and as a list of its members,
 * so that the same occluders can be cast by the immediate calls, and seeded levels to fill it. */
#ifndef TESTS_SET_LEVEL_H
#define TESTS_SET_LEVEL_H

#include "shrouder_set.h"
#include "tenebrant.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

const int limit = 1 << 19;

enum kind { one_way, two_way, outline };

struct member {
    kind k;
    std::vector<int> points;
    int id;
};

struct level {
    shrouder_set *set = create_shrouder_set();
    std::vector<member> members;
    ~level() {
        destroy_shrouder_set(set);
    }
    void add(kind k, std::vector<int> points) {
        const int n = int(points.size()) / 2;
        const int id =
            k == one_way ? add_shrouder_to_set(set, points[0], points[1], points[2], points[3])
            : k == two_way
                ? add_2_way_shrouder_to_set(set, points[0], points[1], points[2], points[3])
                : add_outline_to_set(set, n, points.data());
        ASSERT_GE(id, 0);
        members.push_back(member{k, std::move(points), id});
    }
    void remove_every(int nth) {
        std::vector<member> kept;
        for (size_t i = 0; i < members.size(); i++) {
            if (i % nth == 0)
                remove_from_shrouder_set(set, members[i].id);
            else
                kept.push_back(members[i]);
        }
        members.swap(kept);
    }
    void cast_immediately(BITMAP *bmp, int lx, int ly) const {
        for (const member &m : members) {
            const int *p = m.points.data();
            if (m.k == one_way)
                add_shrouder(bmp, lx, ly, p[0], p[1], p[2], p[3]);
            else if (m.k == two_way)
                add_2_way_shrouder(bmp, lx, ly, p[0], p[1], p[2], p[3]);
            else
                add_shrouder(bmp, lx, ly, int(m.points.size()) / 2, p);
        }
    }
};

/* Clockwise boxes on a grid of `tile` pixels from (x0, y0), one cell in `one_in` taken. */
inline void tile_map(level &l, std::mt19937 &rng, int x0, int y0, int cols, int rows, int tile,
                     int one_in) {
    for (int cy = 0; cy < rows; cy++)
        for (int cx = 0; cx < cols; cx++)
            if (rng() % one_in == 0) {
                const int x = x0 + cx * tile, y = y0 + cy * tile;
                l.add(outline, {x, y, x + tile, y, x + tile, y + tile, x, y + tile});
            }
}

/* Segments of both kinds around a box, chained so that they share endpoints, with collinear
 * runs, degenerate segments and concave outlines of both windings. */
inline void segment_soup(level &l, std::mt19937 &rng, int x0, int y0, int w, int h, int count) {
    auto coord = [&](int from, int span) { return from + int(rng() % unsigned(span)); };
    int px = coord(x0, w), py = coord(y0, h);
    for (int i = 0; i < count; i++) {
        int qx = coord(x0, w), qy = coord(y0, h);
        switch (rng() % 6) {
        case 0: /* on the line of the previous point, axis-aligned: collinear runs */
            qy = py;
            break;
        case 1:
            qx = px, qy = py; /* degenerate */
            break;
        case 2: { /* a star, clockwise or not */
            std::vector<int> star;
            const int n = 3 + int(rng() % 6), r = 5 + int(rng() % 60);
            for (int j = 0; j < n; j++) {
                const double a = (rng() % 2 ? 1 : -1) * 6.2831853 * j / n;
                const int rr = j % 2 ? r : r / 3 + 1;
                star.push_back(qx + int(rr * cos(a)));
                star.push_back(qy + int(rr * sin(a)));
            }
            l.add(outline, star);
            continue;
        }
        default:
            break;
        }
        l.add(rng() % 2 ? one_way : two_way, {px, py, qx, qy});
        if (rng() % 3 == 0)
            px = qx, py = qy;
        else
            px = coord(x0, w), py = coord(y0, h);
    }
}

/* Exact rule, by solving for the crossing: L + t (P - L) = A + u (B - A), 0 <= t, u <= 1. */
inline bool meets(int64_t lx, int64_t ly, int64_t px, int64_t py, int64_t ax, int64_t ay,
                  int64_t bx, int64_t by) {
    using big = __int128;
    const big rx = px - lx, ry = py - ly, sx = bx - ax, sy = by - ay;
    const big den = rx * sy - ry * sx, tn = (ax - lx) * sy - (ay - ly) * sx,
              un = (ax - lx) * ry - (ay - ly) * rx;
    if (den != 0) {
        const big d = den < 0 ? -den : den, t = den < 0 ? -tn : tn, u = den < 0 ? -un : un;
        return t >= 0 && t <= d && u >= 0 && u <= d;
    }
    if (un != 0 || tn != 0)
        return false; /* parallel, apart; or the light's segment is a point off the edge's line */
    /* On one line: project both onto the longer axis of the two and compare the ranges. */
    const bool by_x = (rx != 0 ? rx : sx) != 0;
    const big l0 = by_x ? lx : ly, l1 = by_x ? px : py, a0 = by_x ? ax : ay, a1 = by_x ? bx : by;
    return std::max(std::min(l0, l1), std::min(a0, a1)) <=
           std::min(std::max(l0, l1), std::max(a0, a1));
}

} // namespace

#endif
