/* add_lights against add_light one lamp at a time: the same levels, to the byte, for every
 * kind of lamp, any number of them, on any number of threads, on maps down to one row. Runs
 * under ThreadSanitizer in scripts/test. */
#include "headless.h"
#include "light_map.h"
#include "set_level.h"

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Map = std::unique_ptr<light_map, decltype(&destroy_light_map)>;

/* The map's levels, read through a white 24 bpp bitmap: c x level / 255 is the level. */
std::vector<int> levels(const light_map *map, int w, int h) {
    BITMAP *read = create_bitmap_ex(24, w, h);
    clear_to_color(read, makecol_depth(24, 255, 255, 255));
    EXPECT_EQ(apply_light_map(read, map), 0);
    std::vector<int> out;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            out.push_back(getpixel(read, x, y));
    destroy_bitmap(read);
    return out;
}

/* Lamps of every kind over a w x h map viewed from (vx, vy): points and discs, linear and
 * smooth, all round and in cones, reaching past the map or not at all, colours out of range. */
std::vector<light_source> lamps(std::mt19937 &rng, int count, int w, int h, int vx, int vy) {
    std::vector<light_source> out;
    for (int i = 0; i < count; i++) {
        light_source l = {};
        l.x = vx - 40 + int(rng() % unsigned(w + 80));
        l.y = vy - 40 + int(rng() % unsigned(h + 80));
        const int reach[] = {0, 1, 12, 60, 150, 1 << 30};
        l.radius = reach[rng() % 6];
        l.r = int(rng() % 300) - 20, l.g = int(rng() % 256), l.b = int(rng() % 256);
        l.size = rng() % 3 == 0 ? 0 : int(rng() % 9) - 1;
        l.falloff = rng() % 2 ? FALLOFF_SMOOTH : FALLOFF_LINEAR;
        if (rng() % 2) {
            l.direction = double(rng() % 720) - 360;
            l.half_angle = double(rng() % 200);
            l.edge = double(rng() % 30);
        }
        out.push_back(l);
    }
    return out;
}

struct shape {
    int w, h, lamps;
};

TEST(AddLights, EqualsAddLightOneAtATimeOnAnyThreads) {
    const shape shapes[] = {{90, 1, 40},   {70, 2, 25},    {64, 3, 200},  {50, 4, 7},
                            {160, 120, 1}, {160, 120, 60}, {200, 90, 200}};
    const int thread_counts[] = {1, 2, 3, 4, 7};
    std::mt19937 rng(16);
    for (const shape &s : shapes) {
        const int vx = int(rng() % 200) - 100, vy = int(rng() % 200) - 100;
        level walls;
        tile_map(walls, rng, vx - 48, vy - 48, (s.w + 96) / 12, (s.h + 96) / 12, 12, 5);
        const std::vector<light_source> lit = lamps(rng, s.lamps, s.w, s.h, vx, vy);
        Map one(create_light_map(s.w, s.h), destroy_light_map);
        set_light_map_view(one.get(), vx, vy);
        clear_light_map(one.get(), 10, 20, 30);
        for (const light_source &l : lit)
            add_light(one.get(), walls.set, &l);
        const std::vector<int> expected = levels(one.get(), s.w, s.h);
        for (int threads : thread_counts) {
            Map many(create_light_map(s.w, s.h), destroy_light_map);
            set_light_map_threads(many.get(), threads);
            set_light_map_view(many.get(), vx, vy);
            /* Twice: the second frame runs on the threads the first one started. */
            for (int frame = 0; frame < 2; frame++) {
                clear_light_map(many.get(), 10, 20, 30);
                add_lights(many.get(), walls.set, lit.data(), int(lit.size()));
                EXPECT_EQ(levels(many.get(), s.w, s.h), expected)
                    << s.w << "x" << s.h << ", " << s.lamps << " lamps, " << threads
                    << " threads, frame " << frame;
            }
        }
    }
}

/* One map on two threads over frames of few and many lamps, disc lamps or none: the penumbrae
 * its threads find for each frame's lamps are its own, whatever the frames before held. */
TEST(AddLights, FramesOfMoreAndFewerDiscLampsEachEqualOneAtATime) {
    std::mt19937 rng(23);
    level walls;
    tile_map(walls, rng, -48, -48, 18, 14, 12, 4);
    Map many(create_light_map(120, 90), destroy_light_map);
    set_light_map_threads(many.get(), 2);
    for (int count : {3, 40, 5, 0, 60, 1}) {
        std::vector<light_source> lit = lamps(rng, std::max(count, 4), 120, 90, 0, 0);
        lit.resize(size_t(count));
        for (light_source &l : lit)
            l.size = count == 5 ? 0 : 1 + int(rng() % 8); /* a frame of point lamps only */
        Map one(create_light_map(120, 90), destroy_light_map);
        clear_light_map(one.get(), 10, 20, 30);
        for (const light_source &l : lit)
            add_light(one.get(), walls.set, &l);
        clear_light_map(many.get(), 10, 20, 30);
        add_lights(many.get(), walls.set, lit.data(), count);
        EXPECT_EQ(levels(many.get(), 120, 90), levels(one.get(), 120, 90)) << count << " lamps";
    }
}

/* Disc lamps whose hard shadows come from a painted mask, not from runs of shadow: a row
 * crossed by more shadows than a cast keeps, and bands of more rows than a cast holds. The
 * bands read the shares worked out ahead there too. */
TEST(AddLights, DiscLampsLitFromAMaskEqualOneAtATime) {
    struct masked {
        const char *name;
        int w, h;
        int pickets[5]; /* x, y, count, gap, length */
        int lamp[4];    /* x, y, reach, size */
    };
    const masked cases[] = {
        {"many shadows a row", 100, 70, {8, 30, 14, 6, 2}, {50, 20, 60, 3}},
        {"bands taller than a cast", 6, 8400, {1, 4100, 2, 3, 3}, {3, 4080, 5000, 2}},
    };
    for (const masked &m : cases) {
        level walls;
        for (int i = 0; i < m.pickets[2]; i++) {
            const int x = m.pickets[0] + i * m.pickets[3], y = m.pickets[1];
            walls.add(two_way, {x, y, x, y + m.pickets[4]});
        }
        std::vector<light_source> lit(3);
        for (size_t i = 0; i < lit.size(); i++) {
            lit[i].x = m.lamp[0] + int(i) * 2, lit[i].y = m.lamp[1] - int(i) * 3;
            lit[i].radius = m.lamp[2], lit[i].size = m.lamp[3] + int(i);
            lit[i].r = 255, lit[i].g = 180, lit[i].b = 90;
        }
        lit[2].half_angle = 40, lit[2].edge = 10, lit[2].direction = 80;
        Map one(create_light_map(m.w, m.h), destroy_light_map);
        clear_light_map(one.get(), 10, 20, 30);
        for (const light_source &l : lit)
            add_light(one.get(), walls.set, &l);
        Map many(create_light_map(m.w, m.h), destroy_light_map);
        set_light_map_threads(many.get(), 2);
        clear_light_map(many.get(), 10, 20, 30);
        add_lights(many.get(), walls.set, lit.data(), int(lit.size()));
        EXPECT_EQ(levels(many.get(), m.w, m.h), levels(one.get(), m.w, m.h)) << m.name;
    }
}

TEST(AddLights, IgnoresNothingToAddAndChangesThreadsBetweenFrames) {
    Map map(create_light_map(40, 30), destroy_light_map);
    clear_light_map(map.get(), 5, 6, 7);
    const std::vector<int> cleared = levels(map.get(), 40, 30);
    light_source l = {};
    l.x = 20, l.y = 15, l.radius = 30, l.r = 200;
    add_lights(map.get(), NULL, NULL, 3);
    add_lights(map.get(), NULL, &l, 0);
    add_lights(NULL, NULL, &l, 1);
    set_light_map_threads(NULL, 2);
    EXPECT_EQ(levels(map.get(), 40, 30), cleared);
    for (int threads : {2, 0, 1, 5}) {
        set_light_map_threads(map.get(), threads);
        clear_light_map(map.get(), 5, 6, 7);
        add_lights(map.get(), NULL, &l, 1);
        Map single(create_light_map(40, 30), destroy_light_map);
        clear_light_map(single.get(), 5, 6, 7);
        add_light(single.get(), NULL, &l);
        EXPECT_EQ(levels(map.get(), 40, 30), levels(single.get(), 40, 30)) << threads;
    }
}

/* A bitmap of random pixels, made again the same from the same seed. */
BITMAP *noise(int depth, int w, int h, unsigned seed) {
    BITMAP *bmp = create_bitmap_ex(depth, w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            putpixel(bmp, x, y, makecol_depth(depth, rng() % 256, rng() % 256, rng() % 256));
    return bmp;
}

/* A map lit by lamps, its threads started (add_lights), or one that never starts them. */
Map lit_map(int w, int h, int threads) {
    Map map(create_light_map(w, h), destroy_light_map);
    set_light_map_threads(map.get(), threads);
    clear_light_map(map.get(), 30, 60, 90);
    std::mt19937 rng(11);
    const std::vector<light_source> l = lamps(rng, 12, w, h, 0, 0);
    add_lights(map.get(), NULL, l.data(), int(l.size()));
    return map;
}

/* Applied on the map's threads, band by band, a memory bitmap (or part of one) ends as applied
 * on the calling thread alone, at every depth and around the height a band needs. */
TEST(ApplyLightMap, OnTheMapsThreadsEqualsOnOneThread) {
    const int heights[] = {127, 128, 129, 300, 1001};
    for (int depth : {15, 16, 24, 32})
        for (int h : heights) {
            const Map threaded = lit_map(37, h, 3), alone = lit_map(37, h, 1);
            BITMAP *a = noise(depth, 40, h + 5, unsigned(h)),
                   *b = noise(depth, 40, h + 5, unsigned(h));
            BITMAP *part = create_sub_bitmap(a, 2, 3, 38, h + 2);
            BITMAP *alone_part = create_sub_bitmap(b, 2, 3, 38, h + 2);
            EXPECT_EQ(apply_light_map(part, threaded.get()), 0);
            EXPECT_EQ(apply_light_map(alone_part, alone.get()), 0);
            EXPECT_TRUE(same_pixels(a, b)) << depth << " bpp, " << h << " rows";
            destroy_bitmap(part);
            destroy_bitmap(alone_part);
            destroy_bitmap(a);
            destroy_bitmap(b);
        }
}

/* Several threads applying one map at once: each bitmap ends as if applied alone. */
TEST(ApplyLightMap, OneMapAppliedFromSeveralThreadsAtOnce) {
    const Map map = lit_map(64, 400, 2);
    BITMAP *expected = noise(32, 64, 400, 5);
    apply_light_map(expected, lit_map(64, 400, 1).get());
    std::vector<BITMAP *> bitmaps;
    for (int i = 0; i < 4; i++)
        bitmaps.push_back(noise(32, 64, 400, 5));
    std::vector<std::thread> appliers;
    for (BITMAP *bmp : bitmaps)
        appliers.emplace_back([&map, bmp] { apply_light_map(bmp, map.get()); });
    for (std::thread &t : appliers)
        t.join();
    for (BITMAP *bmp : bitmaps) {
        EXPECT_TRUE(same_pixels(bmp, expected));
        destroy_bitmap(bmp);
    }
    destroy_bitmap(expected);
}

} // namespace
