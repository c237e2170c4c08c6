/* Lamps case by case: one edge against the closed form of its share, outlines of both
 * windings, lamps poking through a wall, cones across the wrap-around, bad values, point
 * lights, views, maps cleared from baked ones, and drawing modes. */
#include "lamp_model.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <random>
#include <thread>

namespace {

using namespace lamp_model;

/* Two maps of one size hold the same levels (compared through white bitmaps). */
bool same_levels(const light_map *a, const light_map *b, int w, int h) {
    const Bitmap x = applied_to_white(a, w, h, 32), y = applied_to_white(b, w, h, 32);
    return same_pixels(x.get(), y.get());
}

Map cleared_map(int w, int h) {
    Map map(create_light_map(w, h), destroy_light_map);
    clear_light_map(map.get(), 10, 20, 30);
    return map;
}

/* The share of the disc of radius s at c that p sees past one edge from q to e, by the
 * angles of the two ends as seen from p. */
double one_edge_share(double cx, double cy, double s, double px, double py, double qx, double qy,
                      double ex, double ey) {
    const double phi = std::atan2(cy - py, cx - px),
                 a = std::asin(s / std::hypot(cx - px, cy - py));
    const double dq = std::remainder(std::atan2(qy - py, qx - px) - phi, 2 * pi);
    const double de = std::remainder(std::atan2(ey - py, ex - px) - phi, 2 * pi);
    const double lo = std::max(std::min(dq, de), -a), hi = std::min(std::max(dq, de), a);
    return 1 - std::max(0.0, hi - lo) / (2 * a);
}

enum edge_kind { two_way, one_way, one_way_reversed };

struct edge_case {
    const char *name;
    edge_kind kind;
    int px, py;
    bool closed_form; /* else `expected` */
    double expected;
};

/* A lamp of size 10 at the origin; an edge along y = 50 from x = 0 to x = -1000. */
const edge_case edge_cases[] = {
    {"ramp_left", two_way, -8, 100, true, 0},
    {"ramp_middle", two_way, 0, 100, true, 0},
    {"ramp_right", two_way, 8, 100, true, 0},
    {"ramp_far", two_way, 30, 400, true, 0},
    {"umbra", two_way, -200, 100, false, 0},
    {"free", two_way, 200, 100, false, 1},
    {"in_front", two_way, -30, 30, false, 1},
    {"one_way_from_its_left", one_way, 0, 100, true, 0},
    {"one_way_umbra", one_way, -200, 100, false, 0},
    {"one_way_from_its_right", one_way_reversed, 0, 100, false, 1},
    {"one_way_right_umbra", one_way_reversed, -200, 100, false, 1},
};

TEST(ShareOfLightSeen, FollowsOneEdgeExactly) {
    for (const edge_case &c : edge_cases) {
        Set set(create_shrouder_set(), destroy_shrouder_set);
        if (c.kind == two_way)
            add_2_way_shrouder_to_set(set.get(), 0, 50, -1000, 50);
        else if (c.kind == one_way)
            add_shrouder_to_set(set.get(), 0, 50, -1000, 50);
        else
            add_shrouder_to_set(set.get(), -1000, 50, 0, 50);
        const double expected =
            c.closed_form ? one_edge_share(0, 0, 10, c.px, c.py, 0, 50, -1000, 50) : c.expected;
        if (c.closed_form) {
            EXPECT_TRUE(expected > 0.01 && expected < 0.99) << c.name << ": not on a ramp";
        }
        EXPECT_NEAR(share_of_light_seen(set.get(), 0, 0, 10, c.px, c.py), expected, 1e-6) << c.name;
    }
}

TEST(ShareOfLightSeen, OutlinesOfBothWindings) {
    const int clockwise[] = {-60, 40, 0, 40, 0, 60, -60, 60};
    const int counter[] = {-60, 60, 0, 60, 0, 40, -60, 40};
    const struct {
        const int *points;
        int px, py;
        double expected;
    } cases[] = {
        {clockwise, -30, 200, 0}, {counter, -30, 200, 0}, /* behind: both hide all */
        {clockwise, -30, 50, 1},  {counter, -30, 50, 0},  /* inside: only clockwise lets out */
        {clockwise, 0, -40, 1},   {counter, 0, -40, 1},   /* beside the lamp, away from the box */
    };
    for (const auto &c : cases) {
        Set set(create_shrouder_set(), destroy_shrouder_set);
        add_outline_to_set(set.get(), 4, c.points);
        EXPECT_DOUBLE_EQ(share_of_light_seen(set.get(), -30, 0, 10, c.px, c.py), c.expected)
            << (c.points == clockwise ? "clockwise" : "counter-clockwise") << " at " << c.px << ", "
            << c.py;
    }
    /* The ramp past a clockwise box's corner, as past its top edge alone. */
    Set set(create_shrouder_set(), destroy_shrouder_set);
    add_outline_to_set(set.get(), 4, clockwise);
    EXPECT_NEAR(share_of_light_seen(set.get(), 0, 0, 10, 3, 120),
                one_edge_share(0, 0, 10, 3, 120, 0, 40, -60, 40), 1e-6);
}

TEST(ShareOfLightSeen, SpecialValues) {
    Set set(create_shrouder_set(), destroy_shrouder_set);
    add_2_way_shrouder_to_set(set.get(), -100, 20, 100, 20);
    EXPECT_EQ(share_of_light_seen(nullptr, 0, 0, 10, 0, 100), 1.0);
    EXPECT_EQ(share_of_light_seen(set.get(), 0, 0, 30, 0, 25), 1.0) << "inside the disc";
    EXPECT_EQ(share_of_light_seen(set.get(), 0, 0, 0, 0, 100), 0.0);
    EXPECT_EQ(share_of_light_seen(set.get(), 0, 0, -4, 0, 10), 1.0);
    EXPECT_EQ(share_of_light_seen(set.get(), 0, 0, -4, 0, 100), 0.0);
}

TEST(ShareOfLightSeen, LampPokingThroughAWallLightsBothSides) {
    Set set(create_shrouder_set(), destroy_shrouder_set);
    add_2_way_shrouder_to_set(set.get(), -1000, 0, 1000, 0);
    /* The wall cuts the disc (radius 10, centre 3 above it) in a chord of half-width c: from
     * below, only rays through that chord reach the disc before the wall. */
    const double c = std::sqrt(100.0 - 9), d = 203;
    EXPECT_NEAR(share_of_light_seen(set.get(), 0, -3, 10, 0, 200),
                std::atan(c / 200) / std::asin(10 / d), 1e-6);
    EXPECT_EQ(share_of_light_seen(set.get(), 0, -3, 10, 0, -200), 1.0);
    EXPECT_NEAR(share_of_light_seen(set.get(), 0, -3, 10, 150, 150),
                sampled_share({{-1000, 0, 1000, 0, true}}, 0, -3, 10, 150, 150), 0.01);
}

TEST(ShareOfLightSeen, MatchesTheSampledModelAwayFromEdges) {
    std::mt19937 random(5);
    std::vector<wall> walls;
    for (int i = 0; i < 12; i++) {
        const int x = int(random() % 200), y = int(random() % 200);
        walls.push_back(
            {x, y, x + int(random() % 61) - 30, y + int(random() % 61) - 30, i % 3 == 0});
    }
    const Set set = make_set(walls);
    int compared = 0, partial = 0;
    for (int i = 0; i < 400; i++) {
        const light_source l = lamp(int(random() % 200), int(random() % 200), 300, 1 + i % 12);
        const int x = int(random() % 200), y = int(random() % 200);
        if (near_a_jump(l, walls, x, y))
            continue;
        const double v = sampled_share(walls, l.x, l.y, l.size, x, y);
        EXPECT_NEAR(share_of_light_seen(set.get(), l.x, l.y, l.size, x, y), v, 0.01)
            << "lamp " << l.x << ", " << l.y << " size " << l.size << " at " << x << ", " << y;
        compared++;
        partial += v > 0 && v < 1;
    }
    EXPECT_GT(partial, 10) << "too few points in a penumbra to test anything";
    std::printf("%d points compared, %d in a penumbra\n", compared, partial);
}

TEST(Lamps, ConesAcrossTheWrapAround) {
    Map map = cleared_map(200, 200);
    clear_light_map(map.get(), 0, 0, 0);
    light_source l = lamp(100, 100, 150, 0, FALLOFF_LINEAR, 350, 20, 10);
    l.r = l.g = l.b = 255;
    add_light(map.get(), nullptr, &l);
    const Bitmap lit = applied_to_white(map.get(), 200, 200, 32);
    /* Degrees on screen from +x, and K there: 1 within 20 of 350, 0 beyond 30. */
    const double angles[] = {0, 5, 345, 335, 15, 325, 25, 35, 320, 90, 180, 270};
    for (double angle : angles) {
        const int x = 100 + int(std::lround(80 * std::cos(angle * pi / 180)));
        const int y = 100 + int(std::lround(80 * std::sin(angle * pi / 180)));
        const double expected =
            255 * falloff(l, std::hypot(x - 100, y - 100)) * cone_factor(l, x - 100, y - 100);
        EXPECT_NEAR(getr32(getpixel(lit.get(), x, y)), expected, 2) << angle << " degrees";
    }
}

/* Adds each lamp to a fresh map of 80 x 60 with the set, and returns the map. */
Map lit_by(const std::vector<light_source> &lamps, const shrouder_set *set, int vx = 0,
           int vy = 0) {
    Map map = cleared_map(80, 60);
    set_light_map_view(map.get(), vx, vy);
    for (const light_source &l : lamps)
        add_light(map.get(), set, &l);
    return map;
}

/* Seen from 2 px off the rim of a lamp of size 8, a wall just past the disc's tangent point
 * lies beyond the disc (nearer the point than the centre, yet behind the rim): it hides
 * nothing. The same wall on the near side hides a part, and the map agrees with the queries. */
TEST(ShareOfLightSeen, WallsPastTheRimAndBeforeIt) {
    const struct {
        const char *name;
        wall w;
    } cases[] = {{"past the rim", {52, 59, 55, 59, true}},
                 {"past the rim, one-way", {55, 59, 52, 59, false}},
                 {"before the rim", {56, 57, 59, 57, true}}};
    for (const auto &c : cases) {
        const Set set = make_set({c.w});
        const double expected = sampled_share({c.w}, 50, 50, 8, 60, 50);
        EXPECT_NEAR(share_of_light_seen(set.get(), 50, 50, 8, 60, 50), expected, 0.01) << c.name;
        light_source l = lamp(50, 50, 40, 8);
        l.r = l.g = l.b = 255;
        const Map with = lit_by({l}, set.get()), without = lit_by({l}, nullptr);
        const Bitmap a = applied_to_white(with.get(), 80, 60, 32);
        const Bitmap b = applied_to_white(without.get(), 80, 60, 32);
        const double seen =
            (getr32(getpixel(a.get(), 60, 50)) - 10.0) / (getr32(getpixel(b.get(), 60, 50)) - 10.0);
        EXPECT_NEAR(seen, expected, 0.02) << c.name << ": the map";
    }
}

/* Behind a box's corner on a ray from the lamp's centre through whole points, the pixels on
 * the ray see half the disc: the box hides the other half. Their centres lie on the line that
 * splits the wedge behind the corner, where its parts meet, so none may fall between them. */
TEST(Lamps, HalfSeenAlongTheRayThroughACorner) {
    const struct {
        const char *name;
        int qx, qy, ex, ey; /* the corner on the ray and the box's opposite corner, from the lamp */
    } cases[] = {{"shallow", -84, -12, -60, -36},
                 {"diagonal", -40, -40, -16, -64},
                 {"along a row", -30, 0, -10, -20},
                 {"along a column", 0, 40, 20, 60}};
    const int w = 300, h = 240, cx = 200, cy = 110, radius = 150;
    light_source l = lamp(cx, cy, radius, 8);
    l.r = l.g = l.b = 255;
    for (const auto &c : cases) {
        const int x0 = cx + std::min(c.qx, c.ex), x1 = cx + std::max(c.qx, c.ex);
        const int y0 = cy + std::min(c.qy, c.ey), y1 = cy + std::max(c.qy, c.ey);
        const std::vector<wall> walls = {{x0, y0, x1, y0, false},
                                         {x1, y0, x1, y1, false},
                                         {x1, y1, x0, y1, false},
                                         {x0, y1, x0, y0, false}};
        const Set set = make_set(walls);
        Map map(create_light_map(w, h), destroy_light_map);
        clear_light_map(map.get(), 0, 0, 0);
        add_light(map.get(), set.get(), &l);
        const Bitmap lit = applied_to_white(map.get(), w, h, 32);
        const int g = std::gcd(std::abs(c.qx), std::abs(c.qy));
        int compared = 0;
        for (int k = c.qx / g, m = c.qy / g, x = cx + c.qx + k, y = cy + c.qy + m;
             std::hypot(x - cx, y - cy) < radius - 20 && x >= 0 && x < w && y >= 0 && y < h;
             x += k, y += m) {
            if (x >= x0 && x <= x1 && y >= y0 && y <= y1)
                continue; /* on the box's side */
            compared++;
            const double v = sampled_share(walls, cx, cy, 8, x, y);
            ASSERT_NEAR(v, 0.5, 0.01) << c.name << " at " << x << ", " << y;
            const double expected = 255 * falloff(l, std::hypot(x - cx, y - cy)) * v;
            EXPECT_NEAR(getr32(getpixel(lit.get(), x, y)), expected, 3)
                << c.name << " at " << x << ", " << y;
        }
        EXPECT_GT(compared, 3) << c.name;
    }
}

TEST(Lamps, BadValues) {
    const Set set = make_set({{10, 30, 70, 30, true}, {40, 5, 40, 25, false}});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const light_source base = lamp(40, 15, 50, 4);
    const auto with = [&](auto change) {
        light_source l = base;
        change(l);
        return l;
    };
    const Map round = lit_by({base}, set.get());
    for (const light_source &l :
         {with([&](light_source &l) { l.direction = nan, l.half_angle = 30; }),
          with([&](light_source &l) { l.half_angle = inf; }),
          with([&](light_source &l) { l.half_angle = 30, l.edge = nan; }),
          with([&](light_source &l) { l.half_angle = -10; }),
          with([&](light_source &l) { l.half_angle = 180; })})
        EXPECT_TRUE(same_levels(lit_by({l}, set.get()).get(), round.get(), 80, 60));
    EXPECT_TRUE(same_levels(lit_by({with([](light_source &l) { l.size = -7; })}, set.get()).get(),
                            lit_by({with([](light_source &l) { l.size = 0; })}, set.get()).get(),
                            80, 60));
    EXPECT_TRUE(same_levels(
        lit_by({with([](light_source &l) { l.half_angle = 30, l.edge = -5; })}, set.get()).get(),
        lit_by({with([](light_source &l) { l.half_angle = 30, l.edge = 0; })}, set.get()).get(), 80,
        60));
    const Map untouched = cleared_map(80, 60);
    for (int radius : {0, -3, INT_MIN})
        EXPECT_TRUE(same_levels(
            lit_by({with([&](light_source &l) { l.radius = radius; })}, set.get()).get(),
            untouched.get(), 80, 60));
    const Set empty(create_shrouder_set(), destroy_shrouder_set);
    EXPECT_TRUE(
        same_levels(lit_by({base}, nullptr).get(), lit_by({base}, empty.get()).get(), 80, 60));
    EXPECT_FALSE(same_levels(lit_by({base}, nullptr).get(), round.get(), 80, 60));
    add_light(nullptr, set.get(), &base);
    add_light(untouched.get(), set.get(), nullptr);
    EXPECT_TRUE(same_levels(untouched.get(), cleared_map(80, 60).get(), 80, 60));
}

/* A cone far thinner than a pixel lights no row but its axis', whichever the lamp's size: its
 * sides' bounds on a row's columns run far past any column. */
TEST(Lamps, HairThinConesLightOnlyTheirAxis) {
    const Set set = make_set({{10, 40, 70, 40, true}});
    const Bitmap cleared = applied_to_white(cleared_map(80, 60).get(), 80, 60, 32);
    for (int size : {0, 3})
        for (double direction : {0.0, 180.0, 1e-300}) {
            const light_source thin = lamp(40, 15, 50, size, FALLOFF_LINEAR, direction, 1e-300, 0);
            const Bitmap lit = applied_to_white(lit_by({thin}, set.get()).get(), 80, 60, 32);
            long changed = 0;
            for (int y = 0; y < 60; y++)
                for (int x = 0; x < 80; x++)
                    if (getpixel(lit.get(), x, y) != getpixel(cleared.get(), x, y)) {
                        EXPECT_EQ(y, 15) << "size " << size << ", direction " << direction;
                        changed++;
                    }
            EXPECT_GT(changed, 0) << "size " << size << ", direction " << direction;
        }
}

TEST(Lamps, PointLightsAreSizeZeroLamps) {
    const Set set =
        make_set({{5, 40, 60, 35, true}, {50, 5, 30, 30, false}, {70, 50, 75, 10, false}});
    for (int vx : {0, -17}) {
        Map a = cleared_map(80, 60), b = cleared_map(80, 60);
        set_light_map_view(a.get(), vx, 9);
        set_light_map_view(b.get(), vx, 9);
        const int spots[][3] = {{30, 20, 60}, {70, 50, 90}, {-10, 30, 200}, {40, 45, 1}};
        for (const auto &p : spots) {
            add_point_light(a.get(), set.get(), p[0], p[1], p[2], 200, 90, 300);
            light_source l = {};
            l.x = p[0], l.y = p[1], l.radius = p[2], l.r = 200, l.g = 90, l.b = 300;
            add_light(b.get(), set.get(), &l);
        }
        EXPECT_TRUE(same_levels(a.get(), b.get(), 80, 60));
    }
}

TEST(Lamps, AViewEqualsTheSceneMovedToTheOrigin) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 6; trial++) {
        const int vx = int(random() % 2001) - 1000, vy = int(random() % 2001) - 1000;
        std::vector<wall> world, moved;
        for (int i = 0; i < 8; i++) {
            const int x = int(random() % 100) - 10, y = int(random() % 80) - 10;
            const wall w{x, y, x + int(random() % 41) - 20, y + int(random() % 41) - 20,
                         i % 2 == 0};
            moved.push_back(w);
            world.push_back({w.x1 + vx, w.y1 + vy, w.x2 + vx, w.y2 + vy, w.two_way});
        }
        std::vector<light_source> in_world, at_origin;
        for (int i = 0; i < 4; i++) {
            light_source l =
                lamp(int(random() % 100) - 10, int(random() % 80) - 10, 30 + i * 15, i % 3 * 3,
                     i % 2 ? FALLOFF_SMOOTH : FALLOFF_LINEAR, i * 77.0, i == 3 ? 40 : 0, 10);
            at_origin.push_back(l);
            l.x += vx, l.y += vy;
            in_world.push_back(l);
        }
        const Set world_set = make_set(world), moved_set = make_set(moved);
        EXPECT_TRUE(same_levels(lit_by(in_world, world_set.get(), vx, vy).get(),
                                lit_by(at_origin, moved_set.get()).get(), 80, 60))
            << "view " << vx << ", " << vy;
    }
}

TEST(Lamps, ClearFromABakedMap) {
    const Set set = make_set({{-30, 40, 10, 45, true}});
    Map baked(create_light_map(60, 40), destroy_light_map);
    set_light_map_view(baked.get(), -20, 30);
    clear_light_map(baked.get(), 10, 20, 30);
    const light_source l = lamp(0, 50, 40, 3);
    add_light(baked.get(), set.get(), &l);
    const Bitmap from = applied_to_white(baked.get(), 60, 40, 32);
    const struct {
        int w, h, vx, vy;
    } targets[] = {{50, 50, -40, 10}, {60, 40, -20, 30}, {10, 90, 35, 0}, {70, 20, 500, 500}};
    for (const auto &t : targets) {
        Map map(create_light_map(t.w, t.h), destroy_light_map);
        clear_light_map(map.get(), 200, 200, 200);
        set_light_map_view(map.get(), t.vx, t.vy);
        clear_light_map_from(map.get(), baked.get());
        const Bitmap got = applied_to_white(map.get(), t.w, t.h, 32);
        for (int y = 0; y < t.h; y++)
            for (int x = 0; x < t.w; x++) {
                const int bx = x + t.vx + 20, by = y + t.vy - 30;
                const bool covered = bx >= 0 && bx < 60 && by >= 0 && by < 40;
                const int expected = covered ? getpixel(from.get(), bx, by) : makecol32(10, 20, 30);
                ASSERT_EQ(getpixel(got.get(), x, y) & 0xffffff, expected & 0xffffff)
                    << t.w << "x" << t.h << " at " << x << ", " << y;
            }
        /* Its last clear level is now the baked map's. */
        Map next(create_light_map(4, 4), destroy_light_map);
        set_light_map_view(next.get(), 100000, 0);
        clear_light_map_from(next.get(), map.get());
        EXPECT_EQ(getpixel(applied_to_white(next.get(), 4, 4, 32).get(), 2, 2) & 0xffffff,
                  makecol32(10, 20, 30) & 0xffffff);
    }
    /* From itself, at any view, nothing changes. */
    Map self = lit_by({lamp(30, 30, 40, 2)}, set.get(), 3, -4);
    const Bitmap before = applied_to_white(self.get(), 80, 60, 32);
    clear_light_map_from(self.get(), self.get());
    EXPECT_TRUE(same_pixels(before.get(), applied_to_white(self.get(), 80, 60, 32).get()));
    clear_light_map_from(nullptr, self.get());
    clear_light_map_from(self.get(), nullptr);
}

TEST(Lamps, DrawingModeChangesNothingAndStays) {
    const Set set = make_set({{5, 40, 60, 35, true}, {50, 5, 30, 30, false}});
    const std::vector<light_source> lamps = {lamp(30, 20, 60, 0), lamp(60, 40, 50, 5)};
    const Map solid = lit_by(lamps, set.get());
    Bitmap probe(create_bitmap_ex(32, 4, 4), destroy_bitmap);
    for (int mode : {DRAW_MODE_XOR, DRAW_MODE_TRANS}) {
        drawing_mode(mode, nullptr, 0, 0);
        const Map in_mode = lit_by(lamps, set.get());
        /* XOR is still on: drawing the same rectangle twice gives back the pixels. */
        if (mode == DRAW_MODE_XOR) {
            clear_to_color(probe.get(), 0x123456);
            rectfill(probe.get(), 0, 0, 3, 3, 0x0f0f0f);
            rectfill(probe.get(), 0, 0, 3, 3, 0x0f0f0f);
            EXPECT_EQ(getpixel(probe.get(), 1, 1), 0x123456);
        }
        solid_mode();
        EXPECT_TRUE(same_levels(in_mode.get(), solid.get(), 80, 60)) << "mode " << mode;
    }
    /* Applying keeps the bitmap's clip. */
    Bitmap bmp(create_bitmap_ex(32, 80, 60), destroy_bitmap);
    set_clip_rect(bmp.get(), 5, 6, 50, 40);
    apply_light_map(bmp.get(), solid.get());
    int x1, y1, x2, y2;
    get_clip_rect(bmp.get(), &x1, &y1, &x2, &y2);
    EXPECT_EQ(x1 * 1000000 + y1 * 10000 + x2 * 100 + y2, 5 * 1000000 + 6 * 10000 + 50 * 100 + 40);
}

TEST(Lamps, MapsOfTheirOwnLightOnThreadsAtOnce) {
    const Set set =
        make_set({{5, 40, 60, 35, true}, {50, 5, 30, 30, false}, {20, 10, 25, 50, false}});
    const std::vector<light_source> lamps = {lamp(30, 20, 60, 0), lamp(60, 40, 50, 5),
                                             lamp(10, 50, 70, 3, FALLOFF_SMOOTH, 300, 40, 10)};
    const Map alone = lit_by(lamps, set.get());
    Map maps[2] = {cleared_map(80, 60), cleared_map(80, 60)};
    double shares[2] = {};
    const auto light = [&](int i) {
        for (int round = 0; round < 20; round++) {
            clear_light_map(maps[i].get(), 10, 20, 30);
            for (const light_source &l : lamps)
                add_light(maps[i].get(), set.get(), &l);
            shares[i] = share_of_light_seen(set.get(), 60, 40, 5, 10 + i, 20);
        }
    };
    std::thread other(light, 1);
    light(0);
    other.join();
    for (const Map &map : maps)
        EXPECT_TRUE(same_levels(map.get(), alone.get(), 80, 60));
    EXPECT_EQ(shares[0], share_of_light_seen(set.get(), 60, 40, 5, 10, 20));
    EXPECT_EQ(shares[1], share_of_light_seen(set.get(), 60, 40, 5, 11, 20));
}

} // namespace
