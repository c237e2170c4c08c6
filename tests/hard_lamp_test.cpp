/* Point lamps light exactly the pixels that the immediate calls leave unshadowed: wherever the
 * falloff is well above zero a pixel is lit if and only if it is, and nothing beyond the reach
 * is. The scenes break rows into more shadows than a cast keeps apart, cast boxes taller than
 * a cast holds at once, cut them at the map's sides and at a view, and cut the disc by cones
 * and bands of threads. */
#include "lamp_model.h"

#include <cmath>
#include <string>

namespace {

using namespace lamp_model;

/* Clockwise boxes of 6 pixels on every third cell of a grid of 9, from (x, y). */
std::vector<wall> box_grid(int x, int y, int columns, int rows) {
    std::vector<wall> walls;
    for (int j = 0; j < rows; j++)
        for (int i = (j % 3); i < columns; i += 3) {
            const int bx = x + 9 * i, by = y + 9 * j;
            walls.push_back({bx, by, bx + 6, by, false});
            walls.push_back({bx + 6, by, bx + 6, by + 6, false});
            walls.push_back({bx + 6, by + 6, bx, by + 6, false});
            walls.push_back({bx, by + 6, bx, by, false});
        }
    return walls;
}

struct hard_case {
    const char *name;
    int w, h, view_x, view_y, threads;
    std::vector<wall> walls;
    std::vector<light_source> lamps;
};

void PrintTo(const hard_case &c, std::ostream *out) {
    *out << c.name;
}

light_source point(int x, int y, int radius, double direction = 0, double half = 0) {
    light_source l = lamp(x, y, radius, 0, FALLOFF_LINEAR, direction, half, 0);
    l.r = l.g = l.b = 255;
    return l;
}

std::vector<hard_case> hard_cases() {
    const int far = 1 << 20;
    // clang-format off
    return {
        /* name, map w h, view x y, threads, walls, lamps */
        /* The shadows of 24 pickets stay apart below them: rows of many runs, beside rows of
         * few above. */
        {"many_shadows_a_row", 160, 120, 0, 0, 1, pickets(10, 50, 24, 6, 2),
         {point(80, -400, far), point(70, 40, far), point(75, 60, 90), point(20, 45, 70)}},
        {"many_shadows_in_bands", 160, 120, 0, 0, 3, pickets(10, 50, 24, 6, 2),
         {point(80, 20, far), point(75, 60, 90)}},
        {"boxes_viewed", 120, 90, -300, 70, 1, box_grid(-310, 60, 16, 12),
         {point(-250, 110, 50), point(-300, 80, 200), point(-200, 150, 45), point(-330, 60, 80)}},
        {"cones", 120, 90, 0, 0, 2, pickets(15, 20, 8, 12, 40),
         {point(60, 45, 300, 90, 40), point(20, 20, 100, 330, 70), point(100, 70, 80, 200, 100)}},
        /* A box taller than a cast holds at once, whole or cut into bands that it holds. */
        {"taller_than_a_cast", 6, 4300, 0, 0, 1, pickets(2, 2000, 2, 2, 3),
         {point(3, 1990, far), point(3, 2500, 3000)}},
        {"taller_in_bands", 6, 4300, 0, 0, 2, pickets(2, 2000, 2, 2, 3),
         {point(3, 1990, far), point(3, 2500, 3000)}},
    };
    // clang-format on
}

class HardLamps : public testing::TestWithParam<hard_case> {};

TEST_P(HardLamps, LightExactlyWhatTheCastLeaves) {
    const hard_case &c = GetParam();
    const Set set = make_set(c.walls);
    Map map(create_light_map(c.w, c.h), destroy_light_map);
    ASSERT_TRUE(map);
    set_light_map_view(map.get(), c.view_x, c.view_y);
    set_light_map_threads(map.get(), c.threads);
    long lit = 0, dark = 0;
    for (const light_source &l : c.lamps) {
        clear_light_map(map.get(), 0, 0, 0);
        add_lights(map.get(), set.get(), &l, 1);
        const Bitmap levels = applied_to_white(map.get(), c.w, c.h, 24);
        const std::vector<bool> seen = hard_lit(l, c.walls, c.w, c.h, c.view_x, c.view_y);
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                const double dx = x + c.view_x - l.x, dy = y + c.view_y - l.y;
                const double d = std::hypot(dx, dy), k = cone_factor(l, dx, dy);
                /* Near the rim and the cone's sides the level may round either way. */
                const bool sure = d >= l.radius || (d < 0.9 * l.radius && k == 1);
                const bool off = d >= l.radius || k == 0;
                const double side =
                    std::fabs(std::remainder(std::atan2(dy, dx) * 180 / pi - l.direction, 360.0));
                if (!sure || (l.half_angle > 0 && std::fabs(side - l.half_angle) < 3))
                    continue;
                const bool expected = !off && seen[size_t(y) * c.w + x];
                ASSERT_EQ(getr_depth(24, getpixel(levels.get(), x, y)) > 0, expected)
                    << "lamp at (" << l.x << ", " << l.y << "), pixel (" << x << ", " << y << ")";
                (expected ? lit : dark)++;
            }
    }
    EXPECT_GT(lit, c.w * c.h / 4);
    EXPECT_GT(dark, c.w * c.h / 20);
}

INSTANTIATE_TEST_SUITE_P(Scenes, HardLamps, testing::ValuesIn(hard_cases()),
                         [](const testing::TestParamInfo<hard_case> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
