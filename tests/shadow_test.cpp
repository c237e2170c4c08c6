/* The public operations on memory bitmaps. The exact oracle fills the expected shadow polygons
 * with Allegro's own polygon on a second bitmap: the two must match byte for byte. */
#include "headless.h"
#include "tenebrant.h"

#include <allegro.h>
#include <climits>
#include <gtest/gtest.h>
#include <vector>

namespace {

typedef std::vector<int> points;

int background(int depth) {
    return makecol_depth(depth, 0, 127, 0);
}

int black(int depth) {
    return makecol_depth(depth, 0, 0, 0);
}

struct bitmap {
    BITMAP *bmp;
    bitmap(int depth, int w, int h) {
        set_color_depth(depth);
        bmp = create_bitmap(w, h);
        clear_to_color(bmp, background(depth));
    }
    ~bitmap() {
        destroy_bitmap(bmp);
    }
    int depth() const {
        return bitmap_color_depth(bmp);
    }
    bool is_black(int x, int y) const {
        return getpixel(bmp, x, y) == black(depth());
    }
};

enum occluder_kind { one_way, two_way, outline };

struct shadow_case {
    const char *what;
    int w, h, lx, ly;
    occluder_kind kind;
    points occluder;
    std::vector<points> expected;
};

void cast(BITMAP *bmp, const shadow_case &c) {
    const points &p = c.occluder;
    if (c.kind == one_way)
        add_shrouder(bmp, c.lx, c.ly, p[0], p[1], p[2], p[3]);
    else if (c.kind == two_way)
        add_2_way_shrouder(bmp, c.lx, c.ly, p[0], p[1], p[2], p[3]);
    else
        add_shrouder(bmp, c.lx, c.ly, int(p.size() / 2), p.data());
}

const points foo = {400, 160, 320, 400, 240, 160};
const points foo2 = {140, 300, 40, 350, 140, 400, 240, 350};

// clang-format off
const shadow_case exact_cases[] = {
    {"on the right, no corner", 640, 480, 320, 240, one_way, {300, 100, 340, 100},
     {{286, 0, 300, 100, 340, 100, 354, 0}}},
    {"on the left", 640, 480, 320, 240, one_way, {340, 100, 300, 100}, {}},
    {"two corners, top-right then top-left", 640, 480, 320, 240, one_way, {100, 100, 540, 100},
     {{0, 37, 100, 100, 540, 100, 639, 37, 639, 0, 0, 0}}},
    {"three corners, seven vertices", 640, 480, 5, 5, one_way, {10, 4, 4, 10},
     {{30, 0, 10, 4, 4, 10, 0, 30, 0, 480, 639, 480, 639, 0}}},
    {"one-way lit from the left", 640, 480, 300, 320, one_way, {460, 280, 460, 360},
     {{639, 236, 460, 280, 460, 360, 639, 404}}},
    {"one-way lit from the right", 640, 480, 600, 320, one_way, {460, 280, 460, 360}, {}},
    {"light on an endpoint", 640, 480, 300, 100, one_way, {300, 100, 340, 100}, {}},
    {"both endpoints the same", 640, 480, 320, 240, one_way, {50, 50, 50, 50}, {}},
    {"two-way lit from the right", 640, 480, 320, 240, two_way, {100, 140, 100, 220},
     {{0, 211, 100, 220, 100, 140, 0, 95}}},
    {"two-way lit from the left, walking south then east", 640, 480, 20, 180, two_way,
     {100, 140, 100, 220}, {{380, 0, 100, 140, 100, 220, 620, 480, 639, 480, 639, 0}}},
    {"two-way lit along its line", 640, 480, 100, 300, two_way, {100, 140, 100, 220}, {}},
    {"clockwise outline lit from outside", 640, 480, 320, 100, outline, foo,
     {{639, 339, 400, 160, 320, 400, 320, 480, 639, 480},
      {320, 480, 320, 400, 240, 160, 0, 340, 0, 480}}},
    {"counter-clockwise outline lit from outside", 640, 480, 140, 200, outline, foo2,
     {{140, 480, 140, 300, 40, 350, 0, 410, 0, 480},
      {326, 480, 240, 350, 140, 300, 140, 480}}},
    {"counter-clockwise outline lit from inside", 640, 480, 140, 350, outline, foo2, {}},
    {"outline of one point", 640, 480, 320, 240, outline, {10, 10}, {}},
    {"small bitmap", 200, 100, 100, 50, one_way, {90, 20, 110, 20},
     {{84, 0, 90, 20, 110, 20, 116, 0}}},
    {"narrow bitmap, hits on the last column and the row below the last", 37, 251, 0, 0,
     one_way, {36, 250, 30, 250}, {{36, 250, 36, 250, 30, 250, 30, 251, 36, 251}}},
};
// clang-format on

TEST(Shadow, MatchesTheExpectedPolygonsExactly) {
    for (int depth : {8, 15, 16, 24, 32}) {
        for (const shadow_case &c : exact_cases) {
            SCOPED_TRACE(testing::Message() << c.what << " at " << depth << " bpp");
            bitmap drawn(depth, c.w, c.h), oracle(depth, c.w, c.h);
            ASSERT_NE(background(depth), black(depth));
            cast(drawn.bmp, c);
            for (const points &p : c.expected)
                polygon(oracle.bmp, int(p.size() / 2), p.data(), black(depth));
            EXPECT_TRUE(same_pixels(drawn.bmp, oracle.bmp));
        }
    }
}

/* Inputs that a 32-bit product would overflow on, or that the module refuses, must neither
 * crash nor draw. */
TEST(Shadow, UnusableInputDrawsNothing) {
    const struct {
        const char *what;
        int lx, ly, x1, y1, x2, y2;
    } cases[] = {
        {"endpoint at INT_MAX", 320, 240, INT_MAX, 100, 300, 100},
        {"endpoint at INT_MIN", 320, 240, 300, 100, 340, INT_MIN},
        {"light at INT_MIN", INT_MIN, INT_MIN, 300, 100, 340, 100},
        {"just beyond 2^19", 320, 240, 300, 100, (1 << 19) + 1, 100},
        {"light just beyond -2^19", -(1 << 19) - 1, 240, 300, 100, 340, 100},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        bitmap drawn(16, 64, 48), blank(16, 64, 48);
        add_shrouder(drawn.bmp, c.lx, c.ly, c.x1, c.y1, c.x2, c.y2);
        add_2_way_shrouder(drawn.bmp, c.lx, c.ly, c.x1, c.y1, c.x2, c.y2);
        EXPECT_TRUE(same_pixels(drawn.bmp, blank.bmp));
    }
    bitmap drawn(16, 64, 48), blank(16, 64, 48);
    add_shrouder(drawn.bmp, 32, 24, 0, nullptr);
    add_shrouder(drawn.bmp, 32, 24, -3, nullptr);
    EXPECT_TRUE(same_pixels(drawn.bmp, blank.bmp));
}

TEST(Shadow, LightInsideAClockwiseOutlineDarkensEverythingOutside) {
    const points box = {10, 100, 26, 100, 26, 150, 10, 150};
    bitmap drawn(32, 37, 251);
    add_shrouder(drawn.bmp, 18, 125, 4, box.data());
    for (int y = 0; y < 251; y++)
        for (int x = 0; x < 37; x++) {
            const bool inside = x > 10 && x < 26 && y > 100 && y < 150;
            const bool outside = x < 10 || x > 26 || y < 100 || y > 150;
            if (inside || outside) {
                ASSERT_EQ(drawn.is_black(x, y), outside) << x << "," << y;
            }
        }
}

} // namespace
