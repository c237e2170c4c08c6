/* Lamps with a size, cones and smooth falloff, views and baked maps, against an independent
 * model. The model samples each lamp's angle finely: from a pixel, rays spread evenly over the
 * angle the disc fills, each blocked when it meets an occluder (two-way, or with the pixel
 * strictly on its left) before it enters the disc. Point lamps take their shadows from the
 * immediate calls, as the point light test does. Maps are read by applying them to a white
 * bitmap, where each channel comes out as the map's level. */
#include "lamp_model.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

namespace {

using namespace lamp_model;

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

/* Clockwise boxes on a grid of 12 px, a third of the cells: boxes touch side to side and
 * corner to corner, sharing edges and corners. */
std::vector<wall> tiles(unsigned seed, int w, int h) {
    std::mt19937 random(seed);
    std::vector<wall> walls;
    for (int y = 0; y < h; y += 12)
        for (int x = 0; x < w; x += 12)
            if (random() % 3 == 0) {
                walls.push_back({x, y, x + 12, y, false});
                walls.push_back({x + 12, y, x + 12, y + 12, false});
                walls.push_back({x + 12, y + 12, x, y + 12, false});
                walls.push_back({x, y + 12, x, y, false});
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
    s.push_back({"touching_tiles",
                 96,
                 72,
                 0,
                 0,
                 32,
                 tiles(9, 96, 72),
                 {lamp(42, 30, 70, 4), lamp(66, 54, 60, 5, FALLOFF_SMOOTH), lamp(6, 66, 90, 3)}});
    s.push_back({"viewed",
                 90,
                 70,
                 -37,
                 250,
                 32,
                 boxes(7, 90, 70, 4),
                 {lamp(-10, 280, 60, 5), lamp(30, 300, 70, 6, FALLOFF_SMOOTH, 200, 40, 15)}});
    /* The pickets' shadows break rows into more runs than a cast keeps apart; the tall map's
     * lamp has more rows than a cast holds, so its hard shadows are painted on a mask. */
    s.push_back(
        {"many_shadows_a_row", 100, 70, 0, 0, 32, pickets(8, 30, 14, 6, 2), {lamp(50, 20, 60, 3)}});
    s.push_back({"taller_than_a_cast",
                 6,
                 4300,
                 0,
                 0,
                 32,
                 pickets(1, 2000, 2, 3, 3),
                 {lamp(3, 1980, 3000, 2)}});
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
