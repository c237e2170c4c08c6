/* Shrouder sets against the immediate calls, byte for byte, and line of sight against a
 * brute-force exact rule; the set's runs against polygon() itself. */
#include "headless.h"
#include "polygon_spans.h"
#include "set_level.h"
#include "shrouder_set.h"
#include "tenebrant.h"

#include <climits>
#include <random>
#include <vector>

namespace {

struct scene {
    const char *name;
    int w, h, depth;
    void (*build)(level &, std::mt19937 &, int w, int h);
    bool clipped;
};

const scene scenes[] = {
    {"tiles on the bitmap", 320, 200, 16,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, 0, 0, 14, 9, 24, 4); }, false},
    {"tiles beyond every side", 200, 150, 32,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, -240, -240, 28, 26, 24, 3); }, false},
    {"dense small tiles", 256, 256, 8,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, 4, 4, 40, 40, 6, 2); }, false},
    {"segment soup", 400, 300, 16,
     [](level &l, std::mt19937 &r, int w, int h) {
         segment_soup(l, r, -50, -50, w + 100, h + 100, 60);
     },
     false},
    {"segments far off the bitmap", 160, 120, 24,
     [](level &l, std::mt19937 &r, int, int) {
         segment_soup(l, r, -limit, -limit, 2 * limit, 2 * limit, 40);
     },
     false},
    {"tiles under a clip rectangle", 300, 220, 15,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, -12, -12, 16, 12, 24, 3); }, true},
    {"boxes stacked on boxes", 640, 480, 16,
     [](level &l, std::mt19937 &r, int, int) {
         for (int i = 0; i < 900; i++) {
             const int x = int(r() % 26) * 24, y = int(r() % 20) * 24;
             l.add(outline, {x, y, x + 24, y, x + 24, y + 24, x, y + 24});
         }
     },
     false},
    {"wider than the fast path", 4100, 3, 32,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, 0, -10, 170, 1, 24, 2); }, false},
    {"wider than polygon()'s fixed point", 9000, 24, 8,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, 0, -12, 370, 2, 24, 3); }, false},
    {"a hundred thousand pixels wide", 100000, 6, 8,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, 40000, -12, 2400, 1, 24, 2); }, true},
    {"taller than the coverage holds at once", 24, 9000, 16,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, -12, 0, 2, 370, 24, 3); }, false},
    {"one pixel", 1, 1, 32,
     [](level &l, std::mt19937 &r, int, int) { segment_soup(l, r, -3, -3, 7, 7, 30); }, false},
    {"one row", 97, 1, 16,
     [](level &l, std::mt19937 &r, int, int) { tile_map(l, r, -8, -16, 16, 4, 8, 3); }, false},
};

/* Lights everywhere: inside, on the border, near and far off the bitmap, on occluders' corners. */
std::vector<std::pair<int, int>> lights_for(const scene &s, const level &l, std::mt19937 &rng) {
    std::vector<std::pair<int, int>> lights = {
        {0, 0},          {s.w - 1, s.h}, {s.w / 2, s.h / 2}, {-40, s.h / 3}, {s.w + 500, -700},
        {-limit, limit}, {limit + 1, 0}};
    for (int i = 0; i < 12; i++)
        lights.push_back(
            {int(rng() % unsigned(s.w + 80)) - 40, int(rng() % unsigned(s.h + 80)) - 40});
    for (int i = 0; i < 4 && i < int(l.members.size()); i++)
        lights.push_back({l.members[i].points[0], l.members[i].points[1]});
    return lights;
}

class set_matches_immediate_calls : public ::testing::TestWithParam<scene> {};

TEST_P(set_matches_immediate_calls, byte_for_byte) {
    const scene &s = GetParam();
    std::mt19937 rng(1234);
    level l;
    s.build(l, rng, s.w, s.h);
    set_color_depth(s.depth);
    BITMAP *expected = create_bitmap(s.w, s.h), *actual = create_bitmap(s.w, s.h);
    /* Clearing keeps to the clip rectangle too: clear all of it, then clip. */
    auto clear = [&](BITMAP *b) {
        set_clip_rect(b, 0, 0, s.w - 1, s.h - 1);
        clear_to_color(b, makecol(0, 127, 0));
        if (s.clipped)
            set_clip_rect(b, s.w / 5, s.h / 4, s.w * 3 / 4, s.h * 2 / 3);
    };
    for (int pass = 0; pass < 2; pass++) {
        for (auto [lx, ly] : lights_for(s, l, rng)) {
            clear(expected);
            clear(actual);
            l.cast_immediately(expected, lx, ly);
            cast_shrouder_set(actual, l.set, lx, ly);
            ASSERT_TRUE(same_pixels(expected, actual))
                << s.name << ", light " << lx << ", " << ly << ", pass " << pass;
        }
        l.remove_every(3);
    }
    destroy_bitmap(expected);
    destroy_bitmap(actual);
}

INSTANTIATE_TEST_SUITE_P(scenes, set_matches_immediate_calls, ::testing::ValuesIn(scenes));

TEST(shrouder_set, refuses_what_the_immediate_calls_cannot_draw) {
    level l;
    const int far[] = {0, 0, limit + 1, 5};
    const int single[] = {3, 4};
    EXPECT_EQ(add_shrouder_to_set(l.set, 0, 0, limit + 1, 5), -1);
    EXPECT_EQ(add_2_way_shrouder_to_set(l.set, INT_MIN, 0, 1, 1), -1);
    EXPECT_EQ(add_outline_to_set(l.set, 2, far), -1);
    EXPECT_EQ(add_outline_to_set(l.set, 1, single), -1);
    const int first = add_shrouder_to_set(l.set, -limit, -limit, limit, limit);
    remove_from_shrouder_set(l.set, first);
    remove_from_shrouder_set(l.set, first);
    remove_from_shrouder_set(l.set, 99);
    remove_from_shrouder_set(l.set, -1);
    const int second = add_shrouder_to_set(l.set, 0, 0, 5, 5);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

bool casts(int64_t lx, int64_t ly, const int *e) {
    return (int64_t(e[2]) - e[0]) * (ly - e[1]) - (int64_t(e[3]) - e[1]) * (lx - e[0]) > 0;
}

bool brute_force_lit(const level &l, int lx, int ly, int x, int y) {
    for (const member &m : l.members) {
        const int n = int(m.points.size()) / 2;
        const int edges = m.k == one_way ? 1 : n;
        for (int i = 0; i < edges; i++) {
            const int *a = &m.points[2 * i], *b = &m.points[2 * ((i + 1) % n)];
            const int e[] = {a[0], a[1], b[0], b[1]};
            if (casts(lx, ly, e) && meets(lx, ly, x, y, a[0], a[1], b[0], b[1]))
                return false;
        }
    }
    return true;
}

TEST(shrouder_set, line_of_sight_matches_the_exact_rule) {
    std::mt19937 rng(77);
    level l;
    tile_map(l, rng, 0, 0, 30, 20, 16, 8);
    segment_soup(l, rng, -20, -20, 520, 360, 30);
    std::vector<std::pair<int, int>> points;
    for (const member &m : l.members)
        for (size_t i = 0; i + 3 < m.points.size() + 2; i += 2) {
            const int *a = &m.points[i], *b = &m.points[(i + 2) % m.points.size()];
            points.push_back({a[0], a[1]});
            if ((a[0] + b[0]) % 2 == 0 && (a[1] + b[1]) % 2 == 0)
                points.push_back({(a[0] + b[0]) / 2, (a[1] + b[1]) / 2}); /* on the edge */
        }
    for (int i = 0; i < 300; i++)
        points.push_back({int(rng() % 560) - 30, int(rng() % 400) - 30});
    points.push_back({INT_MIN, INT_MAX});
    points.push_back({INT_MAX, INT_MAX});
    /* Any two of those points, or a point and one near it. */
    auto pair = [&]() {
        const auto l = points[rng() % points.size()];
        auto p = points[rng() % points.size()];
        if (rng() % 2 && l.first > -limit && l.first < limit)
            p = {l.first + int(rng() % 61) - 30, l.second + int(rng() % 61) - 30};
        return std::make_pair(l, p);
    };
    int blocked = 0, asked = 0;
    for (int i = 0; i < 20000; i++) {
        const auto [light, point] = pair();
        const auto [lx, ly] = light;
        const auto [x, y] = point;
        const bool expected = brute_force_lit(l, lx, ly, x, y);
        ASSERT_EQ(is_lit_by(l.set, lx, ly, x, y), expected)
            << "light " << lx << ", " << ly << " point " << x << ", " << y;
        blocked += !expected;
        asked++;
    }
    l.remove_every(2);
    for (int i = 0; i < 5000; i++) {
        const auto [light, point] = pair();
        const auto [lx, ly] = light;
        const auto [x, y] = point;
        ASSERT_EQ(is_lit_by(l.set, lx, ly, x, y), brute_force_lit(l, lx, ly, x, y));
    }
    /* Both answers must have been met often for the comparison to mean anything. */
    EXPECT_GT(blocked, asked / 10);
    EXPECT_LT(blocked, asked * 9 / 10);
}

/* The runs must be polygon()'s own: fill them and fill the polygon, and compare. Below 8192
 * pixels wide the filler without wrapping gives the same runs. */
TEST(polygon_spans, fill_what_polygon_fills) {
    std::mt19937 rng(5);
    const struct {
        int w, h, reach;
    } sizes[] = {{64, 48, 40}, {640, 480, 300}, {4096, 8, 4096}, {8191, 5, 8191}, {3, 3, 3}};
    for (const auto &size : sizes) {
        set_color_depth(8);
        BITMAP *expected = create_bitmap(size.w, size.h), *actual = create_bitmap(size.w, size.h);
        BITMAP *unwrapped = create_bitmap(size.w, size.h);
        for (int i = 0; i < 3000; i++) {
            const int count = 1 + int(rng() % 8);
            int points[16];
            for (int j = 0; j < 2 * count; j++)
                points[j] = int(rng() % unsigned(size.reach)) - (j % 2 ? 0 : size.reach / 8);
            set_clip_rect(expected, 0, 0, size.w - 1, size.h - 1);
            clear_to_color(expected, 1);
            clear_to_color(actual, 1);
            clear_to_color(unwrapped, 1);
            if (i % 2)
                set_clip_rect(expected, int(rng() % unsigned(size.w)),
                              int(rng() % unsigned(size.h)), size.w - 1 - int(rng() % 3),
                              size.h - 1 - int(rng() % 3));
            polygon(expected, count, points, 7);
            const span_clip clip{expected->cl, expected->ct, expected->cr, expected->cb};
            /* The sets also rely on every run keeping within a pixel of the points' box. */
            int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN;
            for (int j = 0; j < count; j++) {
                left = std::min(left, points[2 * j]), right = std::max(right, points[2 * j]);
                top = std::min(top, points[2 * j + 1]);
                bottom = std::max(bottom, points[2 * j + 1]);
            }
            bool within_box = true;
            polygon_spans<int32_t>(count, points, clip, [&](int y, int x1, int x2) {
                hline(actual, x1, y, x2, 7);
                within_box &= x1 >= left - 1 && x2 <= right + 1 && y >= top && y <= bottom;
            });
            polygon_spans<int64_t>(count, points, clip,
                                   [&](int y, int x1, int x2) { hline(unwrapped, x1, y, x2, 7); });
            ASSERT_TRUE(same_pixels(expected, actual)) << size.w << "x" << size.h << " #" << i;
            ASSERT_TRUE(same_pixels(expected, unwrapped)) << size.w << "x" << size.h << " #" << i;
            ASSERT_TRUE(within_box) << size.w << "x" << size.h << " #" << i;
        }
        destroy_bitmap(expected);
        destroy_bitmap(actual);
        destroy_bitmap(unwrapped);
    }
}

} // namespace
