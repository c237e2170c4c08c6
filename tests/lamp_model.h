/* The lamps' independent model for the tests: occluders as plain walls, each lamp's share
 * sampled over its angle, the cone and falloff from their definitions, and maps read back
 * through a white bitmap. Nothing here shares the library's code. */
#ifndef TESTS_LAMP_MODEL_H
#define TESTS_LAMP_MODEL_H

#include "headless.h"
#include "light_map.h"
#include "shrouder_set.h"
#include "tenebrant.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <memory>
#include <vector>

namespace lamp_model {

using Bitmap = std::unique_ptr<BITMAP, decltype(&destroy_bitmap)>;
using Map = std::unique_ptr<light_map, decltype(&destroy_light_map)>;
using Set = std::unique_ptr<shrouder_set, decltype(&destroy_shrouder_set)>;

const double pi = 3.14159265358979323846;
const int rays = 1500;        /* rays per pixel over the disc's angle */
const double skip_near = 1.5; /* pixels this close to where the model jumps are not compared */

/* A directed occluder edge; two-way ones block from both sides. */
struct wall {
    int x1, y1, x2, y2;
    bool two_way;
};

inline double clamped(int c) {
    return std::min(std::max(c, 0), 255);
}

inline double distance_to_segment(double px, double py, double x1, double y1, double x2,
                                  double y2) {
    const double dx = x2 - x1, dy = y2 - y1, l2 = dx * dx + dy * dy;
    const double t =
        l2 > 0 ? std::min(1.0, std::max(0.0, ((px - x1) * dx + (py - y1) * dy) / l2)) : 0;
    return std::hypot(px - x1 - t * dx, py - y1 - t * dy);
}

/* Where the ray from p along (rx, ry) meets the wall, in units of the ray; -1 for nowhere. */
inline double ray_meets(double px, double py, double rx, double ry, const wall &w) {
    const double ex = w.x2 - w.x1, ey = w.y2 - w.y1;
    const double den = rx * ey - ry * ex;
    if (den == 0)
        return -1;
    const double qx = w.x1 - px, qy = w.y1 - py;
    const double t = (qx * ey - qy * ex) / den, u = (qx * ry - qy * rx) / den;
    return t > 0 && u >= 0 && u <= 1 ? t : -1;
}

inline bool blocks_from(const wall &w, double px, double py) {
    const double cross = double(w.x2 - w.x1) * (py - w.y1) - double(w.y2 - w.y1) * (px - w.x1);
    return w.two_way ? cross != 0 : cross < 0;
}

/* The sampled share of the disc of radius s at c seen from p. */
inline double sampled_share(const std::vector<wall> &walls, double cx, double cy, double s,
                            double px, double py) {
    const double d = std::hypot(cx - px, cy - py);
    if (d <= s || s <= 0)
        return 1;
    const double phi = std::atan2(cy - py, cx - px), a = std::asin(s / d);
    std::vector<const wall *> near;
    for (const wall &w : walls)
        if (blocks_from(w, px, py))
            near.push_back(&w);
    int seen = 0;
    for (int k = 0; k < rays; k++) {
        const double angle = phi + a * (2.0 * k + 1 - rays) / rays;
        const double rx = std::cos(angle), ry = std::sin(angle);
        /* Entry into the disc along the unit ray. */
        const double along = (cx - px) * rx + (cy - py) * ry;
        const double off2 = d * d - along * along;
        const double entry = along - std::sqrt(std::max(0.0, s * s - off2));
        bool blocked = false;
        for (const wall *w : near) {
            const double t = ray_meets(px, py, rx, ry, *w);
            if (t >= 0 && t < entry) {
                blocked = true;
                break;
            }
        }
        seen += !blocked;
    }
    return double(seen) / rays;
}

inline double cone_factor(const light_source &l, double dx, double dy) {
    if (l.half_angle <= 0 || l.half_angle >= 180 || (dx == 0 && dy == 0))
        return 1;
    double D = std::fabs(std::remainder(std::atan2(dy, dx) * 180 / pi - l.direction, 360.0));
    const double outer = l.half_angle + l.edge;
    if (D <= l.half_angle)
        return 1;
    if (D >= outer)
        return 0;
    return (outer - D) / l.edge;
}

inline double falloff(const light_source &l, double d) {
    const double q = d / l.radius;
    return l.falloff == FALLOFF_SMOOTH ? std::pow(std::max(0.0, 1 - q * q), 2)
                                       : std::max(0.0, 1 - q);
}

/* Whether the pixel lies near a line where the model jumps, for this lamp. */
inline bool near_a_jump(const light_source &l, const std::vector<wall> &walls, double px,
                        double py) {
    const double d = std::hypot(px - l.x, py - l.y);
    if (std::fabs(d - l.radius) < skip_near || (l.size > 0 && std::fabs(d - l.size) < skip_near))
        return true;
    for (const wall &w : walls)
        if (distance_to_segment(px, py, w.x1, w.y1, w.x2, w.y2) < skip_near)
            return true;
    if (l.half_angle > 0 && l.half_angle < 180)
        for (double side : {-1.0, 1.0})
            for (double angle : {l.half_angle, l.half_angle + l.edge}) {
                const double r = (l.direction + side * angle) * pi / 180;
                const double far = l.radius + 10.0;
                if (distance_to_segment(px, py, l.x, l.y, l.x + far * std::cos(r),
                                        l.y + far * std::sin(r)) < skip_near)
                    return true;
            }
    return false;
}

inline Set make_set(const std::vector<wall> &walls) {
    Set set(create_shrouder_set(), destroy_shrouder_set);
    for (const wall &w : walls)
        if (w.two_way)
            add_2_way_shrouder_to_set(set.get(), w.x1, w.y1, w.x2, w.y2);
        else
            add_shrouder_to_set(set.get(), w.x1, w.y1, w.x2, w.y2);
    return set;
}

/* The hard shadow of a point lamp on a w x h bitmap viewed from (vx, vy), by immediate calls. */
inline std::vector<bool> hard_lit(const light_source &l, const std::vector<wall> &walls, int w,
                                  int h, int vx, int vy) {
    Bitmap shadow(create_bitmap_ex(8, w, h), destroy_bitmap);
    const int black = makecol_depth(8, 0, 0, 0);
    clear_to_color(shadow.get(), black ^ 1);
    for (const wall &e : walls) {
        const int lx = l.x - vx, ly = l.y - vy;
        if (e.two_way)
            add_2_way_shrouder(shadow.get(), lx, ly, e.x1 - vx, e.y1 - vy, e.x2 - vx, e.y2 - vy);
        else
            add_shrouder(shadow.get(), lx, ly, e.x1 - vx, e.y1 - vy, e.x2 - vx, e.y2 - vy);
    }
    std::vector<bool> lit(size_t(w) * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            lit[size_t(y) * w + x] = getpixel(shadow.get(), x, y) != black;
    return lit;
}

/* The map's levels, read through a white bitmap of the given depth. */
inline Bitmap applied_to_white(const light_map *map, int w, int h, int depth) {
    Bitmap bmp(create_bitmap_ex(depth, w, h), destroy_bitmap);
    clear_to_color(bmp.get(), makecol_depth(depth, 255, 255, 255));
    EXPECT_EQ(apply_light_map(bmp.get(), map), 0);
    return bmp;
}

/* A row of `count` two-way pickets of the given length, `gap` pixels apart from (x, y). */
inline std::vector<wall> pickets(int x, int y, int count, int gap, int length) {
    std::vector<wall> walls;
    for (int i = 0; i < count; i++)
        walls.push_back({x + i * gap, y, x + i * gap, y + length, true});
    return walls;
}

/* A lamp of a warm colour. */
inline light_source lamp(int x, int y, int radius, int size, light_falloff f = FALLOFF_LINEAR,
                         double direction = 0, double half = 0, double edge = 0) {
    light_source l = {};
    l.x = x, l.y = y, l.radius = radius, l.size = size, l.falloff = f;
    l.r = 255, l.g = 180, l.b = 90;
    l.direction = direction, l.half_angle = half, l.edge = edge;
    return l;
}

} // namespace lamp_model

#endif
