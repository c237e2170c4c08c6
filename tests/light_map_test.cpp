/* Lit bitmaps against an independent model, pixel by pixel, on seeded scenes. The model is
 * computed in double: each light's shadow comes from one immediate call per occluder on a
 * bitmap of the map's size, its falloff from the exact distance. Each table row draws a scene
 * (occluders, lights inside or off the map, radii, colours, ambient), lights a patterned
 * bitmap through the light map and compares every pixel: inside the map within 2 plus one per
 * light reaching the pixel (plus one step of the channel at 15/16 bpp), outside it unchanged. */
#include "headless.h"
#include "light_map.h"
#include "shrouder_set.h"
#include "tenebrant.h"

#include <algorithm>
#include <allegro.h>
#include <climits>
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

const int cell = 12;

/* A scene has no occluders, a layer of segments, or tiles: a layer of boxes and one of
 * segments. Each light takes one of the layers, or none. */
enum occluders { none, segments, tiles };
enum placement { inside, near, far_off, extreme };
enum radii { tiny, usual, huge };
enum colours { tame, wild }; /* wild: channel arguments far outside 0 .. 255 as well */

/* Where Allegro packs the channels at a depth; {-1} keeps its own. */
struct shifts {
    int r, g, b;
};
const shifts own = {-1, -1, -1};

struct scene_kind {
    const char *name;
    int map_w, map_h, bmp_w, bmp_h, depth;
    occluders layers;
    int lights;
    placement where;
    radii reach;
    colours colour;
    unsigned seed;
    shifts packing;
};

// clang-format off
const scene_kind kinds[] = {
    /* name, map w h, bitmap w h, bpp, layers, lights, where, reach, colours, seed, packing */
    {"tiles_32",       640, 480, 640, 480, 32, tiles,    16, inside,  usual, tame,  1, own},
    {"tiles_16",       640, 480, 640, 480, 16, tiles,    16, inside,  usual, tame,  2, own},
    {"tiles_15",       130,  90, 130,  90, 15, tiles,     5, inside,  usual, tame,  3, own},
    {"tiles_24",       130,  90, 130,  90, 24, tiles,     5, inside,  usual, tame,  4, own},
    {"segments_32",    150, 100, 150, 100, 32, segments,  5, near,    usual, tame,  5, own},
    {"far_off_16",     150, 100, 150, 100, 16, segments,  4, far_off, huge,  tame,  6, own},
    {"many_lights",    120, 120, 120, 120, 32, tiles,    40, inside,  usual, tame,  7, own},
    {"tiny_radii",      64,  48,  64,  48, 24, tiles,    30, inside,  tiny,  tame,  8, own},
    {"extreme_lights", 100,  80, 100,  80, 32, segments,  2, extreme, huge,  tame,  9, own},
    {"wild_colours",   100,  80, 100,  80, 16, tiles,     8, near,    usual, wild, 10, own},
    {"bitmap_larger",   90,  70, 140, 110, 32, tiles,     4, inside,  usual, tame, 11, own},
    {"bitmap_smaller", 140, 110,  90,  70, 15, segments,  4, inside,  usual, tame, 12, own},
    {"red_high_32",    100,  80, 100,  80, 32, tiles,     4, inside,  usual, tame, 13, {16, 8, 0}},
    {"red_high_16",    100,  80, 100,  80, 16, tiles,     4, inside,  usual, tame, 14, {11, 5, 0}},
    {"odd_packing_32", 100,  80, 100,  80, 32, tiles,     4, inside,  usual, tame, 15, {8, 24, 0}},
    {"odd_packing_16", 100,  80, 100,  80, 16, tiles,     4, inside,  usual, tame, 16, {6, 0, 11}},
    {"one_pixel",        1,   1,   1,   1, 32, none,      3, near,    usual, wild, 17, own},
};
// clang-format on

void PrintTo(const scene_kind &k, std::ostream *out) {
    *out << k.name;
}

/* Sets Allegro's packing for a depth for the life of the object. */
class packing_override {
    int *r, *g, *b;
    int saved[3];

  public:
    packing_override(int depth, shifts to) {
        int *all[][3] = {{&_rgb_r_shift_15, &_rgb_g_shift_15, &_rgb_b_shift_15},
                         {&_rgb_r_shift_16, &_rgb_g_shift_16, &_rgb_b_shift_16},
                         {&_rgb_r_shift_24, &_rgb_g_shift_24, &_rgb_b_shift_24},
                         {&_rgb_r_shift_32, &_rgb_g_shift_32, &_rgb_b_shift_32}};
        int **mine = all[depth == 15 ? 0 : depth == 16 ? 1 : depth == 24 ? 2 : 3];
        r = mine[0], g = mine[1], b = mine[2];
        saved[0] = *r, saved[1] = *g, saved[2] = *b;
        if (to.r >= 0)
            *r = to.r, *g = to.g, *b = to.b;
    }
    ~packing_override() {
        *r = saved[0], *g = saved[1], *b = saved[2];
    }
};

/* An occluder as the immediate calls take it. */
struct occluder {
    bool two_way;
    std::vector<int> points; /* a segment's two ends, or an outline */
};

struct point_light {
    int x, y, radius, colour[3];
    int layer; /* index into the scene's layers, or -1 for no occluders */
};

struct scene {
    std::vector<std::vector<occluder>> layers;
    std::vector<point_light> lights;
    int ambient[3];
};

int pick(std::mt19937 &random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

std::vector<occluder> tile_layer(std::mt19937 &random, int w, int h) {
    std::vector<occluder> boxes;
    for (int y = -cell; y < h + cell; y += cell)
        for (int x = -cell; x < w + cell; x += cell)
            if (pick(random, 0, 99) < 28)
                boxes.push_back({false, {x, y, x + cell, y, x + cell, y + cell, x, y + cell}});
    return boxes;
}

/* One-way and two-way segments around and across the map, some long. */
std::vector<occluder> segment_layer(std::mt19937 &random, int w, int h) {
    std::vector<occluder> segments;
    for (int i = 0; i < 12; i++) {
        const int x = pick(random, -w / 2, w + w / 2), y = pick(random, -h / 2, h + h / 2);
        const int reach = i % 4 == 0 ? 4 * (w + h) : 30;
        segments.push_back(
            {i % 2 == 0, {x, y, x + pick(random, -reach, reach), y + pick(random, -reach, reach)}});
    }
    return segments;
}

/* An extreme light has one coordinate at an extreme and the other over the map. */
int coordinate(std::mt19937 &random, placement where, int size, bool first) {
    const int extremes[] = {INT_MIN, INT_MAX, -(1 << 19), 1 << 19, -(1 << 19) - 1, (1 << 19) + 1};
    switch (where) {
    case inside:
        return pick(random, 0, size - 1);
    case near:
        return pick(random, -size / 2, size + size / 2);
    case far_off:
        return pick(random, -(1 << 19), 1 << 19);
    default:
        return first ? extremes[pick(random, 0, 5)] : pick(random, 0, size - 1);
    }
}

int radius(std::mt19937 &random, radii reach) {
    switch (reach) {
    case tiny:
        return pick(random, -2, 3);
    case usual:
        return pick(random, 10, 90);
    default:
        return pick(random, 0, 2) == 0 ? INT_MAX : pick(random, 1 << 19, INT_MAX);
    }
}

int channel(std::mt19937 &random, bool wild) {
    const int wild_values[] = {INT_MIN, -300, -1, 256, 1000, INT_MAX};
    return wild && pick(random, 0, 1) ? wild_values[pick(random, 0, 5)] : pick(random, 0, 255);
}

scene make_scene(const scene_kind &k) {
    std::mt19937 random(k.seed);
    scene s;
    if (k.layers == tiles)
        s.layers.push_back(tile_layer(random, k.map_w, k.map_h));
    if (k.layers != none)
        s.layers.push_back(segment_layer(random, k.map_w, k.map_h));
    for (int &a : s.ambient)
        a = channel(random, k.colour == wild) / 4;
    for (int i = 0; i < k.lights; i++) {
        point_light l;
        const bool x_first = pick(random, 0, 1);
        l.x = coordinate(random, k.where, k.map_w, x_first);
        l.y = coordinate(random, k.where, k.map_h, !x_first);
        l.radius = radius(random, k.reach);
        for (int &c : l.colour)
            c = channel(random, k.colour == wild);
        l.layer = pick(random, -1, int(s.layers.size()) - 1);
        s.lights.push_back(l);
    }
    return s;
}

Set make_set(const std::vector<occluder> &layer) {
    Set set(create_shrouder_set(), destroy_shrouder_set);
    for (const occluder &o : layer) {
        const int *p = o.points.data();
        if (o.points.size() > 4)
            add_outline_to_set(set.get(), int(o.points.size() / 2), p);
        else if (o.two_way)
            add_2_way_shrouder_to_set(set.get(), p[0], p[1], p[2], p[3]);
        else
            add_shrouder_to_set(set.get(), p[0], p[1], p[2], p[3]);
    }
    return set;
}

/* Which pixels of a w x h bitmap the light reaches past its layer, by immediate calls. */
std::vector<bool> lit_pixels(const point_light &l, const scene &s, int w, int h) {
    Bitmap shadow(create_bitmap_ex(8, w, h), destroy_bitmap);
    const int black = makecol_depth(8, 0, 0, 0);
    clear_to_color(shadow.get(), black ^ 1);
    if (l.layer >= 0)
        for (const occluder &o : s.layers[size_t(l.layer)]) {
            const int *p = o.points.data();
            if (o.points.size() > 4)
                add_shrouder(shadow.get(), l.x, l.y, int(o.points.size() / 2), p);
            else if (o.two_way)
                add_2_way_shrouder(shadow.get(), l.x, l.y, p[0], p[1], p[2], p[3]);
            else
                add_shrouder(shadow.get(), l.x, l.y, p[0], p[1], p[2], p[3]);
        }
    std::vector<bool> lit(size_t(w) * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            lit[size_t(y) * w + x] = getpixel(shadow.get(), x, y) != black;
    return lit;
}

double clamped(int c) {
    return std::min(std::max(c, 0), 255);
}

/* The model's level of each channel at each pixel of the map, and how many lights reach it. */
struct model {
    std::vector<double> level[3];
    std::vector<int> reaching;
};

model expected_levels(const scene &s, int w, int h) {
    model m;
    const size_t pixels = size_t(w) * h;
    for (int c = 0; c < 3; c++)
        m.level[c].assign(pixels, clamped(s.ambient[c]));
    m.reaching.assign(pixels, 0);
    for (const point_light &l : s.lights) {
        if (l.radius < 1)
            continue;
        const std::vector<bool> lit = lit_pixels(l, s, w, h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const size_t i = size_t(y) * w + x;
                const double d = std::hypot(double(x) - l.x, double(y) - l.y);
                const double falloff = 1 - d / l.radius;
                if (!lit[i] || falloff <= 0)
                    continue;
                m.reaching[i]++;
                for (int c = 0; c < 3; c++)
                    m.level[c][i] += clamped(l.colour[c]) * falloff;
            }
    }
    for (int c = 0; c < 3; c++)
        for (double &v : m.level[c])
            v = std::min(v, 255.0);
    return m;
}

/* The bits of a 32 bpp pixel outside its channels (the alpha byte): applying keeps them. */
int other_bits(int depth) {
    if (depth != 32)
        return 0;
    return int(
        ~((255u << _rgb_r_shift_32) | (255u << _rgb_g_shift_32) | (255u << _rgb_b_shift_32)));
}

/* A bitmap of seeded random colours, with random bits outside the channels too. */
Bitmap patterned(int depth, int w, int h, unsigned seed) {
    Bitmap bmp(create_bitmap_ex(depth, w, h), destroy_bitmap);
    std::mt19937 random(seed);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            putpixel(bmp.get(), x, y,
                     makecol_depth(depth, pick(random, 0, 255), pick(random, 0, 255),
                                   pick(random, 0, 255)) |
                         (int(random()) & other_bits(depth)));
    return bmp;
}

Bitmap copy_of(BITMAP *bmp) {
    Bitmap copy(create_bitmap_ex(bitmap_color_depth(bmp), bmp->w, bmp->h), destroy_bitmap);
    blit(bmp, copy.get(), 0, 0, 0, 0, bmp->w, bmp->h);
    return copy;
}

void channels_of(int depth, int pixel, int out[3]) {
    out[0] = getr_depth(depth, pixel);
    out[1] = getg_depth(depth, pixel);
    out[2] = getb_depth(depth, pixel);
}

class LitBitmap : public testing::TestWithParam<scene_kind> {};

TEST_P(LitBitmap, MatchesTheModel) {
    const scene_kind &k = GetParam();
    packing_override packing(k.depth, k.packing);
    const scene s = make_scene(k);
    std::vector<Set> sets;
    for (const auto &layer : s.layers)
        sets.push_back(make_set(layer));

    Map map(create_light_map(k.map_w, k.map_h), destroy_light_map);
    ASSERT_TRUE(map);
    clear_light_map(map.get(), s.ambient[0], s.ambient[1], s.ambient[2]);
    for (const point_light &l : s.lights)
        add_point_light(map.get(), l.layer >= 0 ? sets[size_t(l.layer)].get() : nullptr, l.x, l.y,
                        l.radius, l.colour[0], l.colour[1], l.colour[2]);
    Bitmap bmp = patterned(k.depth, k.bmp_w, k.bmp_h, k.seed);
    const Bitmap before = copy_of(bmp.get());
    ASSERT_EQ(apply_light_map(bmp.get(), map.get()), 0);

    const model m = expected_levels(s, k.map_w, k.map_h);
    /* One step of a 5-bit channel is 255 / 31 in 8-bit units. */
    const double step = k.depth <= 16 ? 255.0 / 31 : 0;
    long compared = 0, reached = 0;
    double worst = 0, worst_share = 0; /* the largest error, and of the error allowed there */
    for (int y = 0; y < k.bmp_h; y++)
        for (int x = 0; x < k.bmp_w; x++) {
            const int was = getpixel(before.get(), x, y), now = getpixel(bmp.get(), x, y);
            if (x >= k.map_w || y >= k.map_h) {
                ASSERT_EQ(now, was) << "outside the map at (" << x << ", " << y << ")";
                continue;
            }
            ASSERT_EQ(now & other_bits(k.depth), was & other_bits(k.depth))
                << "bits outside the channels at (" << x << ", " << y << ")";
            int original[3], result[3];
            channels_of(k.depth, was, original);
            channels_of(k.depth, now, result);
            const size_t i = size_t(y) * k.map_w + x;
            const double allowed = 2 + m.reaching[i] + step;
            reached += m.reaching[i] > 0;
            for (int c = 0; c < 3; c++) {
                const double error = std::fabs(result[c] - original[c] * m.level[c][i] / 255);
                ASSERT_LE(error, allowed) << "channel " << c << " at (" << x << ", " << y << ")";
                worst = std::max(worst, error);
                worst_share = std::max(worst_share, error / allowed);
                compared++;
            }
        }
    EXPECT_GT(reached, 0) << "no light reaches the map: the scene tests nothing";
    std::printf("%s: %ld channels compared, worst error %.2f, at most %.0f%% of the allowance\n",
                k.name, compared, worst, 100 * worst_share);
}

INSTANTIATE_TEST_SUITE_P(Scenes, LitBitmap, testing::ValuesIn(kinds),
                         [](const testing::TestParamInfo<scene_kind> &info) {
                             return std::string(info.param.name);
                         });

TEST(LightMap, RefusesAn8BitBitmapAndLeavesItUnchanged) {
    Map map(create_light_map(32, 24), destroy_light_map);
    ASSERT_TRUE(map);
    clear_light_map(map.get(), 10, 20, 30);
    add_point_light(map.get(), nullptr, 16, 12, 20, 255, 255, 255);
    Bitmap bmp(create_bitmap_ex(8, 32, 24), destroy_bitmap);
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 32; x++)
            putpixel(bmp.get(), x, y, (x * 7 + y * 3) % 256);
    const Bitmap before = copy_of(bmp.get());
    EXPECT_EQ(apply_light_map(bmp.get(), map.get()), -1);
    EXPECT_TRUE(same_pixels(bmp.get(), before.get()));
    EXPECT_EQ(apply_light_map(bmp.get(), nullptr), -1);
    EXPECT_EQ(apply_light_map(nullptr, map.get()), -1);
}

TEST(LightMap, RefusesSizesOutOfRange) {
    const int sizes[][2] = {
        {0, 1}, {1, 0}, {-5, 10}, {10, INT_MIN}, {(1 << 19) + 1, 1}, {1 << 19, 1 << 19}};
    for (const auto &size : sizes)
        EXPECT_EQ(create_light_map(size[0], size[1]), nullptr) << size[0] << " x " << size[1];
    destroy_light_map(nullptr);
    clear_light_map(nullptr, 1, 2, 3);
    add_point_light(nullptr, nullptr, 0, 0, 10, 255, 255, 255);
}

} // namespace
