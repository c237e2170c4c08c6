#include "shrouder_set.h"

#include "tenebrant.h"

#include <new>
#include <stdint.h>
#include <vector>

/* Same limit as the immediate calls: beyond it they draw nothing. */
static const int coord_limit = 1 << 19;

/* One directed edge: it casts when the light is strictly on its right. */
struct set_edge {
    int x1, y1, x2, y2;
    int member;
};

struct set_member {
    int first_edge, edge_count;
    bool alive;
};

struct shrouder_set {
    std::vector<set_edge> edges;
    std::vector<set_member> members;
};

static bool within_limit(int v) {
    return v >= -coord_limit && v <= coord_limit;
}

shrouder_set *create_shrouder_set(void) {
    return new (std::nothrow) shrouder_set;
}

void destroy_shrouder_set(shrouder_set *set) {
    delete set;
}

/* Adds the ring of edges through `count` points (closed when `closed`), all or nothing. */
static int add_member(shrouder_set *set, int count, const int *points, bool closed) {
    for (int i = 0; i < 2 * count; i++)
        if (!within_limit(points[i]))
            return -1;
    const int id = int(set->members.size());
    const int first = int(set->edges.size());
    const int edge_count = closed ? count : count - 1;
    try {
        set->members.reserve(set->members.size() + 1);
        set->edges.reserve(set->edges.size() + edge_count);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    for (int i = 0; i < edge_count; i++) {
        const int *a = points + 2 * i, *b = points + 2 * ((i + 1) % count);
        set->edges.push_back(set_edge{a[0], a[1], b[0], b[1], id});
    }
    set->members.push_back(set_member{first, edge_count, true});
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
    if (id < 0 || id >= int(set->members.size()))
        return;
    set->members[id].alive = false;
}

void cast_shrouder_set(BITMAP *bmp, const shrouder_set *set, int lx, int ly) {
    for (const set_edge &e : set->edges)
        if (set->members[e.member].alive)
            add_shrouder(bmp, lx, ly, e.x1, e.y1, e.x2, e.y2);
}

/* Twice the signed area of (a, b, p): positive when p is on the right of a -> b on screen. */
static __int128 cross(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
    return __int128(bx - ax) * (py - ay) - __int128(by - ay) * (px - ax);
}

static int sign(__int128 v) {
    return (v > 0) - (v < 0);
}

static bool on_closed_segment(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px,
                              int64_t py) {
    return px >= (ax < bx ? ax : bx) && px <= (ax < bx ? bx : ax) && py >= (ay < by ? ay : by) &&
           py <= (ay < by ? by : ay);
}

/* Whether the closed segments p-q and a-b share a point. */
static bool segments_meet(int px, int py, int qx, int qy, int ax, int ay, int bx, int by) {
    const int d1 = sign(cross(ax, ay, bx, by, px, py)), d2 = sign(cross(ax, ay, bx, by, qx, qy));
    const int d3 = sign(cross(px, py, qx, qy, ax, ay)), d4 = sign(cross(px, py, qx, qy, bx, by));
    if (d1 * d2 < 0 && d3 * d4 < 0)
        return true;
    return (d1 == 0 && on_closed_segment(ax, ay, bx, by, px, py)) ||
           (d2 == 0 && on_closed_segment(ax, ay, bx, by, qx, qy)) ||
           (d3 == 0 && on_closed_segment(px, py, qx, qy, ax, ay)) ||
           (d4 == 0 && on_closed_segment(px, py, qx, qy, bx, by));
}

bool is_lit_by(const shrouder_set *set, int lx, int ly, int x, int y) {
    for (const set_edge &e : set->edges) {
        if (!set->members[e.member].alive)
            continue;
        if (cross(e.x1, e.y1, e.x2, e.y2, lx, ly) > 0 &&
            segments_meet(lx, ly, x, y, e.x1, e.y1, e.x2, e.y2))
            return false;
    }
    return true;
}
