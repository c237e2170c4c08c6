/* The benchmarks' floors are only as good as their recordings and pixel counts: a replay of
 * what the module filled must paint exactly what the module paints, and the areas must count
 * every filled pixel once per fill and once in the union. */
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "area.h"
#include "bitmaps.h"
#include "headless.h"
#include "light_map.h"
#include "recorder.h"
#include "scene_shadows.h"
#include "shrouder_set.h"
#include "sweep_lights.h"
#include "tile_map.h"

void PrintTo(const light &l, std::ostream *out) {
    *out << "(" << l.x << ", " << l.y << ")";
}

namespace {

using Bitmap = std::unique_ptr<BITMAP, decltype(&destroy_bitmap)>;

Bitmap blank_bitmap(int width, int height, int colour) {
    start_allegro();
    Bitmap bmp(create_bitmap_ex(16, width, height), destroy_bitmap);
    clear_to_color(bmp.get(), colour);
    return bmp;
}

/* Inside the triangle (every one of its edges casts), above the scene, near a corner, and on
 * the two-way segment's line. */
class Replay : public testing::TestWithParam<light> {};

TEST_P(Replay, PaintsWhatTheModulePaintsAndRecordingPaintsNothing) {
    const int green = makecol16(0, 127, 0);
    Bitmap drawn = blank_bitmap(demo_width, demo_height, green);
    Bitmap replayed = blank_bitmap(demo_width, demo_height, green);
    Bitmap untouched = blank_bitmap(demo_width, demo_height, green);
    const light l = GetParam();

    cast_scene_shadows(drawn.get(), l);
    const std::vector<recorded_polygon> polygons =
        record_polygons(replayed.get(), [l](BITMAP *bmp) { cast_scene_shadows(bmp, l); });
    EXPECT_TRUE(same_pixels(replayed.get(), untouched.get()));
    ASSERT_FALSE(polygons.empty());
    fill_polygons(replayed.get(), polygons);
    EXPECT_TRUE(same_pixels(replayed.get(), drawn.get()));
}
INSTANTIATE_TEST_SUITE_P(SceneLights, Replay,
                         testing::Values(light{300, 320}, light{320, 100}, light{5, 5},
                                         light{100, 300}),
                         [](const testing::TestParamInfo<light> &info) {
                             return "x" + std::to_string(info.param.x) + "_y" +
                                    std::to_string(info.param.y);
                         });

TEST(Recorder, KeepsTheVerticesAndColourAndLetsOtherDrawingThrough) {
    Bitmap bmp = blank_bitmap(40, 40, 0);
    const int white = makecol16(255, 255, 255), red = makecol16(255, 0, 0);
    const int triangle[] = {1, 1, 30, 2, 5, 25};
    const std::vector<recorded_polygon> polygons = record_polygons(bmp.get(), [&](BITMAP *b) {
        line(b, 0, 39, 39, 39, white);
        polygon(b, 3, triangle, red);
    });
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0].points, std::vector<int>(triangle, triangle + 6));
    EXPECT_EQ(polygons[0].colour, red);
    EXPECT_EQ(getpixel(bmp.get(), 20, 39), white);
    EXPECT_EQ(getpixel(bmp.get(), 10, 10), 0);
}

/* An axis-aligned square from (x, y) to (x + 9, y + 9): polygon() fills both end rows and
 * columns, 100 pixels. */
recorded_polygon square(int x, int y) {
    return {{x, y, x + 9, y, x + 9, y + 9, x, y + 9}, 1};
}

struct AreaCase {
    const char *name;
    std::vector<recorded_polygon> polygons;
    long total, covered;
};

TEST(Area, CountsEveryFillAndTheirUnionOnTheBitmap) {
    const AreaCase cases[] = {
        {"one square", {square(10, 10)}, 100, 100},
        {"the same square twice", {square(10, 10), square(10, 10)}, 200, 100},
        {"apart", {square(10, 10), square(25, 25)}, 200, 200},
        {"half overlapping", {square(10, 10), square(15, 10)}, 200, 150},
        {"reaching past the top-left corner", {square(-5, -5)}, 25, 25},
        {"nothing", {}, 0, 0},
    };
    start_allegro();
    for (const AreaCase &c : cases) {
        const fill_area area = measure_area(c.polygons, 40, 40);
        EXPECT_EQ(area.total, c.total) << c.name;
        EXPECT_EQ(area.covered, c.covered) << c.name;
    }
}

/* The many-light benchmark's alternative must light what a light map lights, or it would be
 * timed for other work: one light at a time over a tile map, each level within 2 of the map's
 * but on a thin rim (box faces and shadow edges, where the two round differently). */
TEST(SweepAlternative, LightsWhatTheLightMapLights) {
    start_allegro();
    const int w = 320, h = 240;
    const tile_map tiles = make_tile_map(60, w, h, 6, 7);
    shrouder_set *set = create_shrouder_set();
    add_boxes(set, tiles);
    light_map *map = create_light_map(w, h);
    Bitmap white = blank_bitmap(w, h, 0);
    for (light l : tiles.lights) {
        sweep_map sweep{w, h, {}, {}, {}, {}, {}, {}};
        sweep_clear(&sweep, 10, 20, 30);
        sweep_add_light(&sweep, set, l.x, l.y, 90, 250, 128, 40);
        clear_light_map(map, 10, 20, 30);
        add_point_light(map, set, l.x, l.y, 90, 250, 128, 40);
        /* The map's levels, read back through a white 24 bpp bitmap. */
        BITMAP *read = create_bitmap_ex(24, w, h);
        clear_to_color(read, makecol24(255, 255, 255));
        apply_light_map(read, map);
        long lit = 0, off = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const int ours = getr24(getpixel(read, x, y));
                const int theirs = sweep.levels[size_t(y) * w + size_t(x)];
                lit += ours > 10;
                off += std::abs(ours - theirs) > 2;
            }
        destroy_bitmap(read);
        EXPECT_GT(lit, 1000) << "light at " << l.x << ", " << l.y;
        EXPECT_LT(double(off), 0.08 * double(lit)) << "light at " << l.x << ", " << l.y;
    }
    destroy_light_map(map);
    destroy_shrouder_set(set);
}

} // namespace
