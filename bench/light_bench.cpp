/* A lit frame at 1280x720 over a tile level of 1000 boxes, larger than the frame: clear the light
 * map to the ambient level, add the lights, apply the map to the scene. Each part is timed beside
 * one clear_to_color of the same bitmap in the same iteration, the floor the frame is read against.
 * The shadows the lights need are cast again on their own, as the light map casts them, to tell how
 * much of the lights' time they take. */
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bitmaps.h"
#include "light_map.h"
#include "lit_level.h"
#include "shrouder_set.h"
#include "side_by_side.h"

static const int radius = 200;

static void add_frame_lights(light_map *map, int count) {
    const lit_level &l = level();
    for (int i = 0; i < count; i++) {
        const light at = l.lights[size_t(i)];
        const int *c = lit_colours[i % 8];
        add_point_light(map, l.set, at.x, at.y, radius, c[0], c[1], c[2]);
    }
}

/* What adding the lights spends on shadows: each light's set cast into an 8 bpp bitmap clipped
 * to the light's box, after filling the box. */
static void cast_for_lights(BITMAP *shadow, int count) {
    const lit_level &l = level();
    for (int i = 0; i < count; i++) {
        const light at = l.lights[size_t(i)];
        const int x1 = std::max(at.x - radius, 0), y1 = std::max(at.y - radius, 0);
        const int x2 = std::min(at.x + radius, frame_w - 1);
        const int y2 = std::min(at.y + radius, frame_h - 1);
        set_clip_rect(shadow, x1, y1, x2, y2);
        rectfill(shadow, x1, y1, x2, y2, 1);
        cast_shrouder_set(shadow, l.set, at.x, at.y);
    }
}

static void lit_frame(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), frame_w, frame_h);
    const int count = int(state.range(1));
    const int scene = makecol(150, 140, 120);
    light_map *map = create_light_map(frame_w, frame_h);
    BITMAP *shadow = create_bitmap_ex(8, frame_w, frame_h);
    if (!map || !shadow)
        abort();
    double floor = 0, clear = 0, lights = 0, apply = 0, casting = 0;
    for (auto _ : state) {
        floor += seconds_taken([&] { clear_to_color(bmp, scene); });
        casting += seconds_taken([&] { cast_for_lights(shadow, count); });
        const double c = seconds_taken([&] { clear_light_map(map, 20, 20, 40); });
        const double l = seconds_taken([&] { add_frame_lights(map, count); });
        const double a = seconds_taken([&] { apply_light_map(bmp, map); });
        clear += c;
        lights += l;
        apply += a;
        state.SetIterationTime(c + l + a);
    }
    destroy_bitmap(shadow);
    destroy_light_map(map);
    const double frame = clear + lights + apply;
    state.counters["clears"] = frame / floor;
    state.counters["clear_share"] = clear / frame;
    state.counters["lights_share"] = lights / frame;
    state.counters["apply_share"] = apply / frame;
    state.counters["cast_share"] = casting / frame;
    state.counters["us_per_light"] =
        benchmark::Counter(lights * 1e6 / count, benchmark::Counter::kAvgIterations);
}
BENCHMARK(lit_frame)
    ->ArgNames({"bpp", "lights"})
    ->ArgsProduct({{32, 16}, {1, 4, 16, 64}})
    ->UseManualTime();
