/* Lamps with a size, cones and smooth falloff, views and baked maps, against an independent
 * model. The model samples each lamp's angle finely: from a pixel, rays spread evenly over the
 * angle the disc fills, each blocked when it meets an occluder (two-way, or with the pixel
 * strictly on its left) before it enters the disc. Point lamps take their shadows from the
 * immediate calls, as the point light test does. Maps are read by applying them to a white
 * bitmap, where each channel comes out as the map's level. */
#include "headless.h"
#include "light_map.h"
#include "shrouder_set.h"
#include "tenebrant.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

namespace {

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

double clamped(int c) {
    return std::min(std::max(c, 0), 255);
}

double distance_to_segment(double px, double py, double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1, dy = y2 - y1, l2 = dx * dx + dy * dy;
    const double t =
        l2 > 0 ? std::min(1.0, std::max(0.0, ((px - x1) * dx + (py - y1) * dy) / l2)) : 0;
    return std::hypot(px - x1 - t * dx, py - y1 - t * dy);
}

/* Where the ray from p along (rx, ry) meets the wall, in units of the ray; -1 for nowhere. */
double ray_meets(double px, double py, double rx, double ry, const wall &w) {
    const double ex = w.x2 - w.x1, ey = w.y2 - w.y1;
    const double den = rx * ey - ry * ex;
    if (den == 0)
        return -1;
    const double qx = w.x1 - px, qy = w.y1 - py;
    const double t = (qx * ey - qy * ex) / den, u = (qx * ry - qy * rx) / den;
    return t > 0 && u >= 0 && u <= 1 ? t : -1;
}

bool blocks_from(const wall &w, double px, double py) {
    const double cross = double(w.x2 - w.x1) * (py - w.y1) - double(w.y2 - w.y1) * (px - w.x1);
    return w.two_way ? cross != 0 : cross < 0;
}

/* The sampled share of the disc of radius s at c seen from p. */
double sampled_share(const std::vector<wall> &walls, double cx, double cy, double s, double px,
                     double py) {
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

double cone_factor(const light_source &l, double dx, double dy) {
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

double falloff(const light_source &l, double d) {
    const double q = d / l.radius;
    return l.falloff == FALLOFF_SMOOTH ? std::pow(std::max(0.0, 1 - q * q), 2)
                                       : std::max(0.0, 1 - q);
}

/* Whether the pixel lies near a line where the model jumps, for this lamp. */
bool near_a_jump(const light_source &l, const std::vector<wall> &walls, double px, double py) {
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

Set make_set(const std::vector<wall> &walls) {
    Set set(create_shrouder_set(), destroy_shrouder_set);
    for (const wall &w : walls)
        if (w.two_way)
            add_2_way_shrouder_to_set(set.get(), w.x1, w.y1, w.x2, w.y2);
        else
            add_shrouder_to_set(set.get(), w.x1, w.y1, w.x2, w.y2);
    return set;
}

/* The hard shadow of a point lamp on a w x h bitmap viewed from (vx, vy), by immediate calls. */
std::vector<bool> hard_lit(const light_source &l, const std::vector<wall> &walls, int w, int h,
                           int vx, int vy) {
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
Bitmap applied_to_white(const light_map *map, int w, int h, int depth) {
    Bitmap bmp(create_bitmap_ex(depth, w, h), destroy_bitmap);
    clear_to_color(bmp.get(), makecol_depth(depth, 255, 255, 255));
    EXPECT_EQ(apply_light_map(bmp.get(), map), 0);
    return bmp;
}

/* One accuracy scene: walls, lamps, a map with its view and depth. */
struct lamp_scene {
    const char *name;
    int w, h, view_x, view_y, depth;
    std::vector<wall> walls;
    std::vector<light_source> lamps;
};

void PrintTo(const lamp_scene &s, std::ostream *out) {
    *out << s.name;
}

light_source lamp(int x, int y, int radius, int size, light_falloff f = FALLOFF_LINEAR,
                  double direction = 0, double half = 0, double edge = 0) {
    light_source l = {};
    l.x = x, l.y = y, l.radius = radius, l.size = size, l.falloff = f;
    l.r = 255, l.g = 180, l.b = 90;
    l.direction = direction, l.half_angle = half, l.edge = edge;
    return l;
}

/* Clockwise boxes of 10 px seeded over the map, as four one-way edges each. */
std::vector<wall> boxes(unsigned seed, int w, int h, int count) {
    std::mt19937 random(seed);
    std::vector<wall> walls;
    for (int i = 0; i < count; i++) {
        const int x = int(random() % unsigned(w)), y = int(random() % unsigned(h));
        walls.push_back({x, y, x + 10, y, false});
        walls.push_back({x + 10, y, x + 10, y + 10, false});
        walls.push_back({x + 10, y + 10, x, y + 10, false});
        walls.push_back({x, y + 10, x, y, false});
    }
    return walls;
}

std::vector<lamp_scene> scenes() {
    std::vector<lamp_scene> s;
    s.push_back({"one_edge", 90, 70, 0, 0, 32, {{20, 40, 50, 40, true}}, {lamp(45, 15, 80, 6)}});
    s.push_back({"boxes_soft",
                 110,
                 80,
                 0,
                 0,
                 32,
                 boxes(3, 100, 70, 6),
                 {lamp(30, 30, 70, 4), lamp(80, 50, 60, 8, FALLOFF_SMOOTH)}});
    s.push_back({"cones",
                 100,
                 80,
                 0,
                 0,
                 32,
                 boxes(5, 90, 70, 4),
                 {lamp(50, 40, 70, 3, FALLOFF_LINEAR, 350, 20, 10),
                  lamp(20, 70, 80, 0, FALLOFF_SMOOTH, -60, 30, 0),
                  lamp(70, 10, 60, 5, FALLOFF_LINEAR, 100, 120, 30)}});
    s.push_back({"one_way_and_points",
                 90,
                 70,
                 0,
                 0,
                 16,
                 {{10, 30, 60, 35, false}, {70, 60, 40, 20, false}, {5, 60, 30, 62, true}},
                 {lamp(35, 10, 70, 5), lamp(50, 50, 50, 0), lamp(80, 20, 60, 2, FALLOFF_SMOOTH)}});
    s.push_back({"poking_through",
                 90,
                 70,
                 0,
                 0,
                 32,
                 {{0, 35, 90, 35, true}, {60, 0, 62, 30, false}},
                 {lamp(40, 33, 60, 8)}});
    s.push_back({"viewed",
                 90,
                 70,
                 -37,
                 250,
                 32,
                 boxes(7, 90, 70, 4),
                 {lamp(-10, 280, 60, 5), lamp(30, 300, 70, 6, FALLOFF_SMOOTH, 200, 40, 15)}});
    for (lamp_scene &v : s)
        if (v.view_x != 0)
            for (wall &w : v.walls)
                w.x1 += v.view_x, w.x2 += v.view_x, w.y1 += v.view_y, w.y2 += v.view_y;
    return s;
}

class Lamps : public testing::TestWithParam<lamp_scene> {};

TEST_P(Lamps, MatchTheSampledModel) {
    const lamp_scene &sc = GetParam();
    const Set set = make_set(sc.walls);
    Map map(create_light_map(sc.w, sc.h), destroy_light_map);
    ASSERT_TRUE(map);
    set_light_map_view(map.get(), sc.view_x, sc.view_y);
    const int ambient = 12;
    clear_light_map(map.get(), ambient, ambient, ambient);
    for (const light_source &l : sc.lamps)
        add_light(map.get(), set.get(), &l);
    const Bitmap lit = applied_to_white(map.get(), sc.w, sc.h, sc.depth);

    std::vector<std::vector<bool>> hard;
    for (const light_source &l : sc.lamps)
        hard.push_back(hard_lit(l, sc.walls, sc.w, sc.h, sc.view_x, sc.view_y));
    const double quantum = sc.depth <= 16 ? 255.0 / 31 : 0;
    long compared = 0;
    double worst = 0;
    for (int y = 0; y < sc.h; y++)
        for (int x = 0; x < sc.w; x++) {
            const double px = x + sc.view_x, py = y + sc.view_y;
            double level[3] = {ambient, ambient, ambient};
            int reaching = 0;
            bool skip = false;
            for (size_t i = 0; i < sc.lamps.size(); i++) {
                const light_source &l = sc.lamps[i];
                const double d = std::hypot(px - l.x, py - l.y);
                if (d >= l.radius)
                    continue;
                skip = skip || near_a_jump(l, sc.walls, px, py);
                const double v = l.size > 0 ? sampled_share(sc.walls, l.x, l.y, l.size, px, py)
                                            : hard[i][size_t(y) * sc.w + x];
                const double amount = falloff(l, d) * cone_factor(l, px - l.x, py - l.y) * v;
                reaching += amount > 0;
                level[0] += clamped(l.r) * amount;
                level[1] += clamped(l.g) * amount;
                level[2] += clamped(l.b) * amount;
            }
            if (skip)
                continue;
            const int pixel = getpixel(lit.get(), x, y);
            const int got[3] = {getr_depth(sc.depth, pixel), getg_depth(sc.depth, pixel),
                                getb_depth(sc.depth, pixel)};
            const double allowed = 3 + reaching + quantum;
            for (int c = 0; c < 3; c++) {
                const double error = std::fabs(got[c] - std::min(255.0, level[c]));
                ASSERT_LE(error, allowed) << "channel " << c << " at (" << x << ", " << y << ")";
                worst = std::max(worst, error);
                compared++;
            }
        }
    EXPECT_GT(compared, sc.w * sc.h) << "the scene skips too much to test anything";
    std::printf("%s: %ld channels compared, worst error %.2f\n", sc.name, compared, worst);
}

INSTANTIATE_TEST_SUITE_P(Scenes, Lamps, testing::ValuesIn(scenes()),
                         [](const testing::TestParamInfo<lamp_scene> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
