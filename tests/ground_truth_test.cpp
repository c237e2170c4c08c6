/* Every pixel of random scenes against an independent answer, in exact integers: a pixel is
 * hidden when the open segment from the light to its centre properly crosses an edge that
 * casts. Lights and occluders lie inside the bitmap, near it, or far outside. Pixels within
 * 2.5 px of a shadow's boundary (a casting edge, or the ray from the light through one of its
 * ends, beyond that end) are left to the rounding of the vertices and the rasteriser. */
#include "headless.h"
#include "tenebrant.h"

#include <allegro.h>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

struct point {
    int64_t x, y;
};

/* Positive when c is on the right of a -> b as seen on screen (y down). */
int64_t orient(point a, point b, point c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool opposite(int64_t s, int64_t t) {
    return (s > 0 && t < 0) || (s < 0 && t > 0);
}

bool hides(point a, point b, point light, point p) {
    return opposite(orient(light, p, a), orient(light, p, b)) &&
           opposite(orient(a, b, light), orient(a, b, p));
}

double distance(point a, point p) {
    return std::hypot(double(p.x - a.x), double(p.y - a.y));
}

/* Distance from p to the part of the line through a in direction d that starts at a and
 * reaches `length` (infinite for a ray). */
double distance_along(point a, double dx, double dy, double length, point p) {
    const double n = std::hypot(dx, dy), px = double(p.x - a.x), py = double(p.y - a.y);
    const double t = (px * dx + py * dy) / n;
    if (t <= 0)
        return std::hypot(px, py);
    if (t >= length)
        return std::hypot(px - dx / n * length, py - dy / n * length);
    return std::fabs(px * dy - py * dx) / n;
}

double distance_to_boundary(point a, point b, point light, point p) {
    const double infinite = HUGE_VAL;
    return std::min({distance_along(a, double(b.x - a.x), double(b.y - a.y), distance(a, b), p),
                     distance_along(a, double(a.x - light.x), double(a.y - light.y), infinite, p),
                     distance_along(b, double(b.x - light.x), double(b.y - light.y), infinite, p)});
}

struct scene {
    int w, h, depth;
    point light;
    std::vector<std::vector<point>> outlines; /* closed rings of one-way edges */
    std::vector<std::pair<point, point>> one_ways, two_ways;
};

/* Coordinates inside the bitmap, near it, within +/-32767, or far out near the supported limit. */
int64_t coordinate(std::mt19937 &random, int size) {
    switch (random() % 4) {
    case 0:
        return random() % size;
    case 1:
        return int64_t(random() % (5 * size)) - 2 * size;
    case 2:
        return int64_t(random() % 65535) - 32767;
    default:
        return int64_t(random() % (1 << 20)) - (1 << 19);
    }
}

point somewhere(std::mt19937 &random, const scene &s) {
    return {coordinate(random, s.w), coordinate(random, s.h)};
}

/* A star-shaped ring around a centre: convex when every radius is the same, concave otherwise;
 * listed clockwise or counter-clockwise on screen. */
std::vector<point> ring(std::mt19937 &random, point centre, int64_t radius) {
    const int count = 1 + int(random() % 12);
    const bool convex = random() % 2, clockwise = random() % 2;
    std::vector<point> ring;
    for (int i = 0; i < count; i++) {
        const double angle = 2 * M_PI * i / count * (clockwise ? 1 : -1);
        const double r = double(radius) * (convex ? 1.0 : 0.3 + 0.7 * (random() % 100) / 100.0);
        ring.push_back(
            {centre.x + int64_t(r * std::cos(angle)), centre.y + int64_t(r * std::sin(angle))});
    }
    return ring;
}

scene random_scene(std::mt19937 &random) {
    /* Mostly small bitmaps, where every pixel is cheap to check, and now and then a large one. */
    const int sizes[] = {8, 8, 64, 64, 64, 64, 320, 320, 320, 1024};
    const int depths[] = {8, 16, 32};
    const int size = sizes[random() % 10];
    scene s;
    s.w = 1 + int(random() % size);
    s.h = 1 + int(random() % std::min(size, 768));
    s.depth = depths[random() % 3];
    s.light = random() % 2 ? point{int64_t(random() % s.w), int64_t(random() % s.h)}
                           : somewhere(random, s);
    for (int n = 1 + int(random() % 4); n > 0; n--) {
        const point a = somewhere(random, s);
        const point b = random() % 3 ? point{a.x + int64_t(random() % 201) - 100,
                                             a.y + int64_t(random() % 201) - 100}
                                     : somewhere(random, s);
        switch (random() % 3) {
        case 0:
            s.one_ways.push_back({a, b});
            break;
        case 1:
            s.two_ways.push_back({a, b});
            break;
        default:
            s.outlines.push_back(ring(random, a, 1 + int64_t(random() % (2 * size))));
        }
    }
    return s;
}

/* The module's calls for the scene, and the scene's casting edges for the answer. */
std::vector<std::pair<point, point>> cast(BITMAP *bmp, const scene &s) {
    const int lx = int(s.light.x), ly = int(s.light.y);
    std::vector<std::pair<point, point>> edges;
    auto one_way = [&](point a, point b) {
        if (orient(a, b, s.light) > 0)
            edges.push_back({a, b});
    };
    for (auto [a, b] : s.one_ways) {
        add_shrouder(bmp, lx, ly, int(a.x), int(a.y), int(b.x), int(b.y));
        one_way(a, b);
    }
    for (auto [a, b] : s.two_ways) {
        add_2_way_shrouder(bmp, lx, ly, int(a.x), int(a.y), int(b.x), int(b.y));
        one_way(a, b);
        one_way(b, a);
    }
    for (const auto &r : s.outlines) {
        std::vector<int> flat;
        for (point p : r) {
            flat.push_back(int(p.x));
            flat.push_back(int(p.y));
        }
        add_shrouder(bmp, lx, ly, int(r.size()), flat.data());
        for (size_t i = 0; i < r.size(); i++)
            one_way(r[i], r[(i + 1) % r.size()]);
    }
    return edges;
}

/* Compares every pixel of the cast scene with the answer; reports the first few mismatches. */
void compare(BITMAP *bmp, const scene &s, const std::vector<std::pair<point, point>> &edges,
             int trial, long *compared, long *mismatches) {
    const double margin = 2.5;
    const int black = makecol_depth(s.depth, 0, 0, 0);
    for (int y = 0; y < s.h; y++)
        for (int x = 0; x < s.w; x++) {
            const point p = {x, y};
            bool hidden = false, near = false;
            for (auto [a, b] : edges) {
                hidden = hidden || hides(a, b, s.light, p);
                near = near || distance_to_boundary(a, b, s.light, p) <= margin;
            }
            if (near)
                continue;
            ++*compared;
            if ((getpixel(bmp, x, y) == black) != hidden && ++*mismatches <= 5)
                ADD_FAILURE() << "trial " << trial << ", " << s.w << "x" << s.h << ", light "
                              << s.light.x << "," << s.light.y << ", pixel " << x << "," << y
                              << (hidden ? " should be dark" : " should be lit");
        }
}

long check(const scene &s, int trial, long *mismatches) {
    set_color_depth(s.depth);
    BITMAP *bmp = create_bitmap(s.w, s.h);
    clear_to_color(bmp, makecol_depth(s.depth, 0, 127, 0));
    long compared = 0;
    compare(bmp, s, cast(bmp, s), trial, &compared, mismatches);
    destroy_bitmap(bmp);
    return compared;
}

TEST(GroundTruth, EveryPixelAwayFromTheBoundariesIsRight) {
    std::mt19937 random(2026);
    long compared = 0, mismatches = 0;
    for (int trial = 0; trial < 400; trial++)
        compared += check(random_scene(random), trial, &mismatches);
    std::cout << "pixels compared: " << compared << ", mismatches: " << mismatches << "\n";
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(compared, 1000000);
}

/* Beyond 8191 pixels, where Allegro's polygon() would wrap its x: occluders and lights far
 * along the bitmap, shadows reaching across it, and a light off its left end. */
TEST(GroundTruth, WideBitmapsAreExactToo) {
    std::mt19937 random(16384);
    long compared = 0, mismatches = 0;
    const struct {
        int w, h;
        int64_t light_x; /* -1: anywhere along the bitmap */
    } sizes[] = {{16384, 64, 12000}, {16384, 64, -1}, {100000, 24, 95000}, {100000, 24, -300}};
    for (const auto &size : sizes) {
        scene s;
        s.w = size.w, s.h = size.h, s.depth = 8;
        s.light = {size.light_x >= 0 ? size.light_x : int64_t(random() % size.w), 30};
        const int64_t at = size.light_x >= 0 ? size.light_x : s.light.x;
        for (int i = 0; i < 3; i++) {
            const point a = {at - 200 + int64_t(random() % 400), int64_t(random() % 60) - 10};
            s.two_ways.push_back({a, {a.x + int64_t(random() % 81) - 40, a.y + 15}});
        }
        s.one_ways.push_back({{at + 500, 50}, {at + 500, 10}});
        s.outlines.push_back(ring(random, {at - 700, 20}, 12));
        compared += check(s, int(size.w), &mismatches);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(compared, 200000);
}

} // namespace
