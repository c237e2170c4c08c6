/* Every pixel that sees part of a lamp's disc gets its exact share, whatever the corners it
 * lies behind: corners shared by boxes, corners with an edge pointing at the lamp (whose line
 * crosses the disc's angle), corners close to the disc and far from it, outlines of both
 * windings, loose segments. A pixel left to the hard shadow would be off by the part of the disc
 * it sees, or the part it does not. */
#include "lamp_model.h"
#include "penumbra.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace {

using namespace lamp_model;

const int map_w = 120, map_h = 96;

/* A box from (x1, y1) to (x2, y2), its edges clockwise on screen or not. */
std::vector<wall> box(int x1, int y1, int x2, int y2, bool clockwise = true) {
    std::vector<wall> walls = {{x1, y1, x2, y1, false},
                               {x2, y1, x2, y2, false},
                               {x2, y2, x1, y2, false},
                               {x1, y2, x1, y1, false}};
    if (!clockwise)
        for (wall &w : walls) {
            std::swap(w.x1, w.x2);
            std::swap(w.y1, w.y2);
        }
    return walls;
}

std::vector<wall> joined(std::vector<std::vector<wall>> parts) {
    std::vector<wall> all;
    for (const std::vector<wall> &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

/* Segments of up to 20 pixels each way, a third of them two-way. */
std::vector<wall> segments(unsigned seed, int count) {
    std::mt19937 random(seed);
    std::vector<wall> walls;
    for (int i = 0; i < count; i++) {
        const int x = int(random() % map_w), y = int(random() % map_h);
        walls.push_back(
            {x, y, x + int(random() % 41) - 20, y + int(random() % 41) - 20, i % 3 == 0});
    }
    return walls;
}

/* Boxes of 3 to 6 pixels a side scattered round (cx, cy) between 12 and 44 pixels away: corners
 * seen at every angle, their wedges narrow and long. */
std::vector<wall> scattered_boxes(unsigned seed, int count, int cx, int cy) {
    std::mt19937 random(seed);
    std::vector<wall> walls;
    for (int i = 0; i < count; i++) {
        const double angle = 2 * 3.14159265358979 * (i + 0.5) / count;
        const double d = 12 + double(random() % 33);
        const int x = cx + int(d * std::cos(angle)), y = cy + int(d * std::sin(angle));
        const int side = 3 + int(random() % 4);
        const std::vector<wall> b = box(x, y, x + side, y + side, i % 2 == 0);
        walls.insert(walls.end(), b.begin(), b.end());
    }
    return walls;
}

struct runs_case {
    const char *name;
    std::vector<wall> walls;
    int lx, ly, size;
};

void PrintTo(const runs_case &c, std::ostream *out) {
    *out << c.name;
}

std::vector<runs_case> cases() {
    return {
        {"boxes sharing corners",
         joined(
             {box(60, 20, 70, 30), box(70, 30, 80, 40), box(70, 10, 80, 20), box(50, 30, 60, 40)}),
         40, 60, 5},
        {"edges pointing at the lamp",
         {{60, 48, 100, 48, false},
          {100, 48, 60, 48, false},
          {30, 20, 10, 0, true},
          {40, 60, 40, 90, false}},
         40,
         48,
         6},
        {"corners near the disc", joined({box(48, 40, 58, 50), box(26, 30, 34, 36, false)}), 40, 48,
         6},
        {"corners far from the disc", joined({box(80, 20, 88, 28), box(10, 64, 16, 70)}), 40, 40,
         3},
        {"counter-clockwise boxes",
         joined({box(60, 30, 72, 42, false), box(20, 60, 30, 66, false)}), 45, 45, 4},
        {"a corner on the disc's rim", {{30, 43, 36, 43, true}}, 40, 40, 5},
        {"loose segments", segments(168, 20), 60, 48, 4},
        {"more loose segments", segments(112, 20), 40, 48, 6},
        {"fewer loose segments", segments(12, 14), 30, 30, 2},
        {"pickets behind a corner", joined({box(50, 40, 56, 46), pickets(66, 28, 6, 5, 34)}), 40,
         44, 5},
        {"scattered boxes, a small lamp", scattered_boxes(5, 12, 60, 48), 60, 48, 1},
        {"scattered boxes, a larger lamp", scattered_boxes(9, 12, 60, 48), 60, 48, 4},
    };
}

class ExactRuns : public testing::TestWithParam<runs_case> {};

/* The case's lamp, white, of reach 90. */
light_source white_lamp(const runs_case &c) {
    light_source l = lamp(c.lx, c.ly, 90, c.size);
    l.r = l.g = l.b = 255;
    return l;
}

/* A black map lit by the lamp alone, applied to white at 32 bpp: red is the lamp's level. */
Bitmap lit_alone(const Set &set, const light_source &l) {
    Map map(create_light_map(map_w, map_h), destroy_light_map);
    clear_light_map(map.get(), 0, 0, 0);
    add_light(map.get(), set.get(), &l);
    return applied_to_white(map.get(), map_w, map_h, 32);
}

/* How far a pixel's level may lie from its share times the falloff times 255. */
const double level_allowance = 3;

/* Checks that the level the lamp alone gives each pixel is its share of the disc times the
 * falloff, but at those skip(x, y, share, weight) leaves out; returns how many were checked. */
template <typename Skip> int levels_match_shares(const runs_case &c, Skip skip) {
    const Set set = make_set(c.walls);
    const light_source l = white_lamp(c);
    const Bitmap lit = lit_alone(set, l);
    int checked = 0;
    for (int y = 0; y < map_h; y++)
        for (int x = 0; x < map_w; x++) {
            const double v = share_of_light_seen(set.get(), c.lx, c.ly, c.size, x, y);
            const double weight = 255 * falloff(l, std::hypot(x - c.lx, y - c.ly));
            if (skip(x, y, v, weight))
                continue;
            EXPECT_NEAR(getr32(getpixel(lit.get(), x, y)), weight * v, level_allowance)
                << "at " << x << ", " << y << ", sharing " << v;
            if (testing::Test::HasFailure())
                return checked;
            checked++;
        }
    return checked;
}

/* The map's level at every pixel far enough from seeing all of the disc or none of it is the
 * share the query gives: the hard shadow there would be further off than a rounding. */
TEST_P(ExactRuns, EveryPixelSeeingPartOfTheDiscGetsItsShare) {
    const runs_case &c = GetParam();
    const int checked = levels_match_shares(c, [&](int x, int y, double v, double weight) {
        return std::hypot(x - c.lx, y - c.ly) >= white_lamp(c).radius - 1 ||
               std::min(v, 1 - v) * weight <= 2 * level_allowance;
    });
    EXPECT_GT(checked, 40) << "too few pixels in a penumbra to test anything";
}

/* Away from the walls, pixels left out of the exact runs see all of the disc or none of it, and
 * the hard shadow from the centre gives them that: near the ray from the centre through a corner,
 * where it may round either way, the runs take them in. */
TEST_P(ExactRuns, EveryPixelAwayFromTheWallsGetsItsShare) {
    const runs_case &c = GetParam();
    const light_source l = white_lamp(c);
    const int checked = levels_match_shares(
        c, [&](int x, int y, double, double) { return near_a_jump(l, c.walls, x, y); });
    EXPECT_GT(checked, map_w * map_h / 4);
}

/* The runs themselves, not the levels they give: every pixel within reach that sees part of the
 * disc, however little (more than a rounding), lies in one; runs lie row by row in column order. */
TEST_P(ExactRuns, RunsHoldEveryPixelSeeingPartOfTheDisc) {
    const runs_case &c = GetParam();
    const Set set = make_set(c.walls);
    const int64_t reach = 90;
    const lamp_box box = {c.lx, c.ly, reach, 0, 0, map_w - 1, map_h - 1};
    penumbra_scratch s;
    gather_blockers(&s, set.get(), c.lx, c.ly, c.size, box.left, box.top, box.right, box.bottom);
    find_exact_runs(&s, box);
    const double rounding = 1e-9;
    int partial = 0;
    for (int y = 0; y < map_h; y++) {
        const exact_run *first = s.runs.data() + s.row_start[size_t(y)];
        const exact_run *last = s.runs.data() + s.row_start[size_t(y) + 1];
        for (const exact_run *r = first; r < last; r++) {
            ASSERT_EQ(r->row, y);
            ASSERT_TRUE(r == first || r[-1].x1 + 1 < r->x0) << "runs out of order at row " << y;
        }
        for (int x = 0; x < map_w; x++) {
            const double dx = x - c.lx, dy = y - c.ly;
            if (dx * dx + dy * dy > double(reach * reach))
                continue;
            const double v = seen_share(&s, dx, dy);
            if (!(v > rounding && v < 1 - rounding))
                continue;
            partial++;
            ASSERT_TRUE(std::any_of(first, last,
                                    [&](const exact_run &r) { return r.x0 <= x && x <= r.x1; }))
                << "at " << x << ", " << y << ", sharing " << v;
        }
    }
    EXPECT_GT(partial, 40) << "too few pixels in a penumbra to test anything";
}

/* The distance from (px, py) to the triangle of the points xs, ys: 0 inside it or on it. */
double distance_to_triangle(const double xs[3], const double ys[3], double px, double py) {
    double nearest = HUGE_VAL;
    int left = 0, right = 0;
    for (int i = 0; i < 3; i++) {
        const int j = (i + 1) % 3;
        const double ex = xs[j] - xs[i], ey = ys[j] - ys[i], wx = px - xs[i], wy = py - ys[i];
        const double cross = ex * wy - ey * wx;
        left += cross > 0;
        right += cross < 0;
        const double length2 = ex * ex + ey * ey;
        const double t =
            length2 > 0 ? std::min(1.0, std::max(0.0, (wx * ex + wy * ey) / length2)) : 0;
        nearest = std::min(nearest, std::hypot(wx - t * ex, wy - t * ey));
    }
    return left == 0 || right == 0 ? 0 : nearest;
}

/* A wedge's triangles laid into rows hold every pixel whose centre lies within their pad of
 * them, and none farther than the corner of a square of that half-side: triangles of any shape
 * (thin, flat, tiny, with whole-pixel corners that pixels lie exactly on), with the pad of the
 * strip along the hard shadow's edge and with a rounding's. */
TEST(WedgeRows, TrianglesHoldThePixelsWithinTheirPad) {
    std::mt19937 rng(29);
    std::uniform_real_distribution<double> place(-40, 40), near(-1.5, 1.5);
    const lamp_box box = {0, 0, 1000, -48, -48, 48, 48};
    penumbra_scratch s;
    for (int k = 0; k < 300; k++) {
        double xs[3], ys[3];
        for (int i = 0; i < 3; i++)
            xs[i] = place(rng), ys[i] = place(rng);
        if (k % 5 == 1) /* flat */
            ys[1] = ys[2] = ys[0];
        if (k % 5 == 2) /* thin: the third corner near the line through the others */
            xs[2] = 0.5 * (xs[0] + xs[1]) + near(rng), ys[2] = 0.5 * (ys[0] + ys[1]) + near(rng);
        if (k % 5 == 3) /* tiny */
            for (int i = 1; i < 3; i++)
                xs[i] = xs[0] + near(rng), ys[i] = ys[0] + near(rng);
        if (k % 5 == 4) /* on whole pixels */
            for (int i = 0; i < 3; i++)
                xs[i] = std::round(xs[i]), ys[i] = std::round(ys[i]);
        const double pad = k % 2 ? 1.5 : 1e-6;
        start_runs(&s, box);
        add_triangle(&s, xs, ys, pad);
        add_triangles(&s, box);
        sort_runs(&s, box);
        for (int y = int(box.top); y <= box.bottom; y++) {
            const exact_run *first = s.runs.data() + s.row_start[size_t(y - box.top)];
            const exact_run *last = s.runs.data() + s.row_start[size_t(y - box.top) + 1];
            for (int x = int(box.left); x <= box.right; x++) {
                const bool held = std::any_of(
                    first, last, [&](const exact_run &r) { return r.x0 <= x && x <= r.x1; });
                const double d = distance_to_triangle(xs, ys, x, y);
                if (d <= pad) {
                    ASSERT_TRUE(held)
                        << "triangle " << k << ": " << x << ", " << y << " is " << d << " from it";
                }
                if (d > pad * std::sqrt(2.0) + 1e-6) {
                    ASSERT_FALSE(held)
                        << "triangle " << k << ": " << x << ", " << y << " is " << d << " from it";
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corners, ExactRuns, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<runs_case> &info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             std::replace(name.begin(), name.end(), '-', '_');
                             name.erase(std::remove(name.begin(), name.end(), ','), name.end());
                             name.erase(std::remove(name.begin(), name.end(), '\''), name.end());
                             return name;
                         });

} // namespace
