/* The side test and the border projection are private to the module: this
 * file compiles the module itself to reach them. */
#include "../shadow/tenebrant.cpp"

#include <gtest/gtest.h>

namespace {

const int big = 1 << 30;

struct side_case {
    int x1, y1, x2, y2, px, py;
    bool right;
};

/* The side test in 64 bits: these products are far beyond 32 bits. Ordinary cases are covered
 * by the shadows drawn in shadow_test. */
TEST(OnRight, HoldsForProductsBeyond32Bits) {
    const side_case cases[] = {
        {-big, -big, big, big, -big, big, true},
        {-big, -big, big, big, big, -big, false},
        {big, big, -big, -big, big, -big, true},
        {-big, big, big, big - 1, 0, big, true},
    };
    for (const side_case &c : cases)
        EXPECT_EQ(on_right(c.x1, c.y1, c.x2, c.y2, c.px, c.py), c.right)
            << c.x1 << "," << c.y1 << " -> " << c.x2 << "," << c.y2 << " point " << c.px << ","
            << c.py;
}

struct ray_case {
    int w, h, lx, ly, px, py;
    int x, y, side;
};

TEST(RayToRectBorder, HitsTheBorderOnTheRightSide) {
    const ray_case cases[] = {
        {640, 480, 320, 240, 320, 100, 320, 0, NORTH},
        {640, 480, 320, 240, 320, 400, 320, 480, SOUTH}, /* one row below the last row */
        {640, 480, 320, 240, 100, 240, 0, 240, WEST},
        {640, 480, 320, 240, 500, 240, 639, 240, EAST}, /* on the last column */
        {640, 480, 320, 240, 330, 250, 560, 480, SOUTH},
        {640, 480, 320, 240, 321, 100, 321, 0, NORTH},  /* 1.71 truncates to 1 */
        {640, 480, 159, 120, 163, 123, 639, 480, EAST}, /* through a corner: the side wins */
        {640, 480, 5, 5, 10, 4, 30, 0, NORTH},
        {640, 480, 5, 5, 4, 10, 0, 30, WEST},
        {640, 480, 320, 240, 0, 0, 0, 0, WEST}, /* top-left corner */
        {200, 100, 100, 50, 90, 20, 84, 0, NORTH},
        {200, 100, 100, 50, 110, 20, 116, 0, NORTH},
        {37, 251, 0, 0, 36, 250, 36, 250, EAST},
        /* a light outside the bitmap still gives a defined point */
        {640, 480, 700, 240, 750, 250, 639, 228, EAST},
        {640, 480, 320, 600, 330, 600, 639, 600, EAST},
        /* products that overflow 32 bits */
        {640, 480, 1, 1, big, big - 1, 480, 480, SOUTH},
        {640, 480, 639, 0, -big, big, 159, 480, SOUTH},
    };
    for (const ray_case &c : cases) {
        shadow_work w{};
        w.light_x = c.lx;
        w.light_y = c.ly;
        w.border_east = c.w - 1;
        w.border_south = c.h;
        int x = -1, y = -1, side = -1;
        ray_to_rect_border(&w, &x, &y, c.px, c.py, &side);
        EXPECT_EQ(x, c.x) << "light " << c.lx << "," << c.ly << " point " << c.px << "," << c.py;
        EXPECT_EQ(y, c.y) << "light " << c.lx << "," << c.ly << " point " << c.px << "," << c.py;
        EXPECT_EQ(side, c.side) << "light " << c.lx << "," << c.ly << " point " << c.px << ","
                                << c.py;
    }
}

} // namespace
