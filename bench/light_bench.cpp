/* A lit frame at 1280x720 over a tile level of 1000 boxes: clear the light map to the ambient
 * level, add the lights, apply the map to the scene. Each part is timed beside one
 * clear_to_color of the same bitmap in the same iteration, the floor the frame is read
 * against. */
#include <benchmark/benchmark.h>

#include "bitmaps.h"
#include "light_map.h"
#include "side_by_side.h"
#include "tile_level.h"

static const int frame_w = 1280, frame_h = 720, cell = 24, boxes = 1000, radius = 200;
static const unsigned seed = 20261207;

static const tile_level &level() {
    static const tile_level made = make_tile_level(frame_w, frame_h, cell, boxes, seed);
    return made;
}

static void add_lights(light_map *map, int count) {
    const tile_level &l = level();
    for (int i = 0; i < count; i++) {
        const auto [x, y] = l.free_centres[size_t(i) % l.free_centres.size()];
        int r, g, b;
        light_colour(i, &r, &g, &b);
        add_point_light(map, l.set, x, y, radius, r, g, b);
    }
}

static void lit_frame(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), frame_w, frame_h);
    const int count = int(state.range(1));
    const int scene = makecol(150, 140, 120);
    light_map *map = create_light_map(frame_w, frame_h);
    if (!map)
        abort();
    double floor = 0, clear = 0, lights = 0, apply = 0;
    for (auto _ : state) {
        floor += seconds_taken([&] { clear_to_color(bmp, scene); });
        const double c = seconds_taken([&] { clear_light_map(map, 20, 20, 40); });
        const double l = seconds_taken([&] { add_lights(map, count); });
        const double a = seconds_taken([&] { apply_light_map(bmp, map); });
        clear += c;
        lights += l;
        apply += a;
        state.SetIterationTime(c + l + a);
    }
    destroy_light_map(map);
    const double frame = clear + lights + apply;
    state.counters["clears"] = frame / floor;
    state.counters["clear_share"] = clear / frame;
    state.counters["lights_share"] = lights / frame;
    state.counters["apply_share"] = apply / frame;
    state.counters["us_per_light"] =
        benchmark::Counter(lights * 1e6 / count, benchmark::Counter::kAvgIterations);
}
BENCHMARK(lit_frame)
    ->ArgNames({"bpp", "lights"})
    ->ArgsProduct({{32, 16}, {1, 4, 16, 64}})
    ->UseManualTime();
