/* Many lights on the 1000-box level: one frame is clear the light map, add the lights, apply it
 * to a 32 bpp bitmap. Read against two things timed in the same run:
 * - the memory floor: the bytes the frame must touch (14 a map pixel: the clear, the apply's
 *   read of the map, its read and write of the bitmap; and 6 a disc pixel inside the map) at the
 *   speed a memset of the frame's working set (the bitmap and the map) reaches;
 * - the hand-written alternative (sweep_lights.h), with the same clear and apply. */
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "bitmaps.h"
#include "light_map.h"
#include "shrouder_set.h"
#include "side_by_side.h"
#include "sweep_lights.h"
#include "tile_map.h"

static const int boxes = 1000, drawn_lights = 600;
static const unsigned seed = 20261208;

/* Saturated hues in turn. */
static const int hues[][3] = {{255, 160, 60},  {80, 160, 255},  {255, 80, 200}, {120, 255, 100},
                              {255, 240, 140}, {160, 100, 255}, {60, 230, 230}, {255, 90, 70}};

/* The level spans 1.5 times the frame each way with the frame in its middle; the set and the
 * lights are in the frame's coordinates. */
struct many_level {
    shrouder_set *set;
    std::vector<light> lights;
};

static many_level make_level(int w, int h) {
    const int level_w = w * 3 / 2, level_h = h * 3 / 2;
    const int vx = (level_w - w) / 2, vy = (level_h - h) / 2;
    tile_map map = make_tile_map(boxes, level_w, level_h, drawn_lights, seed);
    for (size_t i = 0; i < map.boxes.size(); i += 2) {
        map.boxes[i] -= vx;
        map.boxes[i + 1] -= vy;
    }
    many_level level{create_shrouder_set(), {}};
    for (light at : map.lights)
        if (at.x - vx >= 0 && at.x - vx < w && at.y - vy >= 0 && at.y - vy < h)
            level.lights.push_back({at.x - vx, at.y - vy});
    if (!level.set || level.lights.size() < 64)
        abort();
    add_boxes(level.set, map);
    return level;
}

/* The level of a frame width, made once. */
static const many_level &level_for(int w) {
    static const many_level small = make_level(1280, 720), large = make_level(1920, 1080);
    return w == 1280 ? small : large;
}

static std::vector<light_source> sources(const many_level &level, int count, int radius) {
    std::vector<light_source> lights;
    for (int i = 0; i < count; i++) {
        light_source l = {};
        l.x = level.lights[size_t(i)].x;
        l.y = level.lights[size_t(i)].y;
        l.radius = radius;
        l.r = hues[i % 8][0], l.g = hues[i % 8][1], l.b = hues[i % 8][2];
        lights.push_back(l);
    }
    return lights;
}

/* Pixels of the map that the lights' discs cover, counted once per light. */
static double disc_pixels(const std::vector<light_source> &lights, int w, int h) {
    double n = 0;
    for (const light_source &l : lights)
        for (int y = std::max(0, l.y - l.radius); y <= std::min(h - 1, l.y + l.radius); y++)
            for (int x = std::max(0, l.x - l.radius); x <= std::min(w - 1, l.x + l.radius); x++)
                n += (x - l.x) * (x - l.x) + (y - l.y) * (y - l.y) < l.radius * l.radius;
    return n;
}

static void many_lights(benchmark::State &state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const int count = int(state.range(2)), radius = int(state.range(3));
    const int threads = int(state.range(4));
    const many_level &level = level_for(w);
    const std::vector<light_source> lights = sources(level, count, radius);
    BITMAP *bmp = bench_bitmap(32, w, h);
    light_map *map = create_light_map(w, h);
    if (!map)
        abort();
    set_light_map_threads(map, threads);
    sweep_map alternative{w, h, {}, {}, {}, {}, {}, {}};
    /* The frame's working set: the bitmap and the map's three planes. */
    std::vector<uint8_t> working(size_t(w) * size_t(h) * 7);
    const int scene = makecol(150, 140, 120);
    double set = 0, ours = 0, apply = 0, theirs = 0;
    for (auto _ : state) {
        /* The first memset after a frame also writes back what the frame left in the cache:
         * the floor is the faster of two. */
        double fastest = 1e9;
        for (int pass = 0; pass < 2; pass++)
            fastest = std::min(fastest, seconds_taken([&] {
                memset(working.data(), pass, working.size());
                benchmark::ClobberMemory();
            }));
        set += fastest;
        clear_to_color(bmp, scene);
        const double frame = seconds_taken([&] {
            clear_light_map(map, 20, 20, 40);
            add_lights(map, level.set, lights.data(), count);
        });
        const double a = seconds_taken([&] { apply_light_map(bmp, map); });
        theirs += seconds_taken([&] {
            sweep_clear(&alternative, 20, 20, 40);
            for (const light_source &l : lights)
                sweep_add_light(&alternative, level.set, l.x, l.y, l.radius, l.r, l.g, l.b);
        });
        ours += frame + a;
        apply += a;
        state.SetIterationTime(frame + a);
    }
    destroy_light_map(map);
    const double bytes = 14.0 * w * h + 6.0 * disc_pixels(lights, w, h);
    const double floor = set / double(working.size()) * bytes;
    state.counters["vs_floor"] = ours / floor;
    state.counters["faster_than_sweep"] = (theirs + apply) / ours;
    state.counters["clears"] = ours / (set * 4.0 / 7.0);
    state.counters["memset_GBps"] =
        double(working.size()) * double(state.iterations()) / set * 1e-9;
}
BENCHMARK(many_lights)
    ->ArgNames({"w", "h", "lights", "reach", "threads"})
    ->ArgsProduct({{1280}, {720}, {64}, {200, 400}, {1, 2}})
    ->ArgsProduct({{1920}, {1080}, {64}, {200, 400}, {1, 2}})
    ->ArgsProduct({{1280}, {720}, {1, 4, 16}, {200}, {2}})
    ->ArgsProduct({{1280}, {720}, {64}, {100, 800}, {2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
