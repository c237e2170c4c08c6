#include "sweep_lights.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void sweep_clear(sweep_map *map, int r, int g, int b) {
    const size_t n = size_t(map->w) * size_t(map->h);
    map->levels.resize(3 * n);
    memset(&map->levels[0], r, n);
    memset(&map->levels[n], g, n);
    memset(&map->levels[2 * n], b, n);
}

/* Whether the light casts from the directed edge: it is strictly on the edge's right. */
static bool casts(const set_edge_copy &e, double lx, double ly) {
    return (e.x2 - e.x1) * (ly - e.y1) - (e.y2 - e.y1) * (lx - e.x1) > 0;
}

/* The distance along the ray from (lx, ly) in the direction (dx, dy) to the edge, or `far` when
 * it misses; to the edge's line when `whole_line`. */
static double hit(const set_edge_copy &e, double lx, double ly, double dx, double dy, double far,
                  bool whole_line = false) {
    const double ex = e.x2 - e.x1, ey = e.y2 - e.y1;
    const double den = dx * ey - dy * ex;
    if (den == 0)
        return far;
    const double t = ((e.x1 - lx) * ey - (e.y1 - ly) * ex) / den;
    const double u = ((e.x1 - lx) * dy - (e.y1 - ly) * dx) / den;
    return t > 0 && (whole_line || (u >= 0 && u <= 1)) ? std::min(t, far) : far;
}

/* An edge's angular extent from the light, from `from` turning by `turn` (below pi: the light is
 * off the edge's line). */
struct extent {
    double from, turn;
};

static double wrapped(double a) {
    return a > M_PI ? a - 2 * M_PI : a <= -M_PI ? a + 2 * M_PI : a;
}

static extent extent_of(const set_edge_copy &e, double lx, double ly) {
    const double a = std::atan2(e.y1 - ly, e.x1 - lx), b = std::atan2(e.y2 - ly, e.x2 - lx);
    const double turn = wrapped(b - a);
    return turn >= 0 ? extent{a, turn} : extent{b, -turn};
}

/* The points the light sees, angle by angle. Sweeping the endpoints' angles in order keeps the
 * edges that span the current angle; between two neighbouring angles the nearest of them does
 * not change, so the seen polygon has a corner on each endpoint's ray. */
static void sweep(sweep_map *map, double lx, double ly, double far) {
    map->events.clear();
    map->active.clear();
    for (size_t i = 0; i < map->edges.size(); i++) {
        const extent x = extent_of(map->edges[i], lx, ly);
        const double to = x.from + x.turn;
        map->events.push_back({x.from, int(i) + 1});
        map->events.push_back({to > M_PI ? to - 2 * M_PI : to, -int(i) - 1});
        if (to > M_PI)
            map->active.push_back(int(i));
    }
    for (int i = 0; i < 16; i++)
        map->events.push_back({-M_PI + i * (M_PI / 8), 0});
    std::sort(map->events.begin(), map->events.end(),
              [](const sweep_event &a, const sweep_event &b) { return a.angle < b.angle; });
    map->fan.clear();
    const size_t n = map->events.size();
    for (size_t i = 0; i < n; i++) {
        const sweep_event &e = map->events[i];
        if (e.edge > 0)
            map->active.push_back(e.edge - 1);
        if (e.edge < 0)
            map->active.erase(std::find(map->active.begin(), map->active.end(), -e.edge - 1));
        const double a = e.angle,
                     b = i + 1 < n ? map->events[i + 1].angle : map->events[0].angle + 2 * M_PI;
        if (b - a < 1e-9)
            continue;
        const double mid = (a + b) / 2;
        const double mx = std::cos(mid), my = std::sin(mid);
        const set_edge_copy *nearest = nullptr;
        double best = far;
        for (int k : map->active) {
            const double t = hit(map->edges[size_t(k)], lx, ly, mx, my, far);
            if (t < best) {
                best = t;
                nearest = &map->edges[size_t(k)];
            }
        }
        for (double at : {a, b}) {
            const double dx = std::cos(at), dy = std::sin(at);
            const double t = nearest ? hit(*nearest, lx, ly, dx, dy, far, true) : far;
            map->fan.push_back(lx + dx * t);
            map->fan.push_back(ly + dy * t);
        }
    }
}

/* Adds the light to the pixels x1 .. x2 - 1 of row y: weights first, in floats, then the three
 * planes, both loops plain enough to vectorise. */
static void light_span(sweep_map *map, int y, int x1, int x2, double lx, double ly, int radius,
                       const int colour[3]) {
    const int n = x2 - x1;
    if (n <= 0)
        return;
    map->weights.resize(size_t(map->w));
    uint16_t *weights = map->weights.data();
    const float dy = float(y - ly), dx0 = float(x1 - lx), per_px = 256.0f / float(radius);
    for (int i = 0; i < n; i++) {
        const float dx = dx0 + float(i);
        weights[i] = uint16_t(std::max(0.0f, 256.0f - std::sqrt(dx * dx + dy * dy) * per_px));
    }
    const size_t plane = size_t(map->w) * size_t(map->h);
    uint8_t *row = &map->levels[size_t(y) * size_t(map->w) + size_t(x1)];
    for (int c = 0; c < 3; c++) {
        uint8_t *level = row + size_t(c) * plane;
        const uint16_t scale = uint16_t(colour[c]);
        for (int i = 0; i < n; i++) {
            const uint16_t add = uint16_t(uint16_t(weights[i] * scale + 128) >> 8);
            const uint16_t sum = uint16_t(level[i] + add);
            level[i] = uint8_t(sum < 255 ? sum : 255);
        }
    }
}

/* Lights the pixels (x, y), points of the plane as in a light map, that lie in the triangle of
 * the light and two fan points. */
static void light_triangle(sweep_map *map, double lx, double ly, const double *p, const double *q,
                           int radius, const int colour[3]) {
    const double xs[3] = {lx, p[0], q[0]}, ys[3] = {ly, p[1], q[1]};
    const double top = std::max(0.0, std::ceil(std::min({ys[0], ys[1], ys[2]})));
    const double bottom =
        std::min(double(map->h), std::ceil(std::max({ys[0], ys[1], ys[2]}) - 0.5));
    for (int y = int(top); y < int(bottom); y++) {
        const double cy = y;
        double lo = 1e30, hi = -1e30;
        for (int i = 0; i < 3; i++) {
            const int j = (i + 1) % 3;
            if ((ys[i] <= cy) == (ys[j] <= cy))
                continue;
            const double x = xs[i] + (cy - ys[i]) * (xs[j] - xs[i]) / (ys[j] - ys[i]);
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        const int x1 = std::max(0, int(std::ceil(lo)));
        const int x2 = std::min(map->w, int(std::ceil(hi)));
        light_span(map, y, x1, x2, lx, ly, radius, colour);
    }
}

void sweep_add_light(sweep_map *map, const shrouder_set *set, int x, int y, int radius, int r,
                     int g, int b) {
    set_edges_in_box(set, x - radius, y - radius, x + radius, y + radius, &map->edges);
    const double lx = x, ly = y;
    map->edges.erase(std::remove_if(map->edges.begin(), map->edges.end(),
                                    [&](const set_edge_copy &e) { return !casts(e, lx, ly); }),
                     map->edges.end());
    sweep(map, lx, ly, std::sqrt(2.0) * radius + 2);
    const int colour[3] = {r, g, b};
    for (size_t i = 0; i + 3 < map->fan.size(); i += 4)
        light_triangle(map, lx, ly, &map->fan[i], &map->fan[i + 2], radius, colour);
}
