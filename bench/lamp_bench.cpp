/* Lamps in a lit frame at 1280x720x32 over the 1000-box level, 16 lamps of reach 200: soft
 * lamps of sizes 2, 8 and 24, cones and a smooth falloff, each frame (clear, add the lamps,
 * apply) timed beside the same frame with hard point lights in the same iterations, the lamps
 * added one at a time, then all at once on every core (add_lights). And a frame
 * started from a world-sized map with 200 lamps baked in, against the same 16 lamps alone, with
 * the cost of that start against a plain clear and a copy of the map's memory. */
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bitmaps.h"
#include "light_map.h"
#include "lit_level.h"
#include "side_by_side.h"

static const int lamps = 16, reach = 200, baked_lamps = 200;

namespace {

/* A kind of lamp: its size, falloff and cone. */
struct lamp_kind {
    const char *name;
    int size;
    light_falloff falloff;
    double half_angle, edge;
};

const lamp_kind hard = {"hard", 0, FALLOFF_LINEAR, 0, 0};
const lamp_kind kinds[] = {
    {"soft2", 2, FALLOFF_LINEAR, 0, 0},   {"soft8", 8, FALLOFF_LINEAR, 0, 0},
    {"soft24", 24, FALLOFF_LINEAR, 0, 0}, {"cone8", 8, FALLOFF_LINEAR, 30, 10},
    {"smooth8", 8, FALLOFF_SMOOTH, 0, 0},
};

} // namespace

static light_source source(light at, int i, const lamp_kind &k) {
    light_source l = {};
    l.x = at.x;
    l.y = at.y;
    l.radius = reach;
    l.r = lit_colours[i % 8][0];
    l.g = lit_colours[i % 8][1];
    l.b = lit_colours[i % 8][2];
    l.size = k.size;
    l.falloff = k.falloff;
    l.direction = 37.0 * i; /* cones point every way */
    l.half_angle = k.half_angle;
    l.edge = k.edge;
    return l;
}

/* Adds the frame's lamps one at a time, or all at once on the map's threads (one a core). */
static void add_frame_lamps(light_map *map, const lamp_kind &k, bool together = false) {
    const lit_level &l = level();
    light_source sources[lamps];
    for (int i = 0; i < lamps; i++)
        sources[i] = source(l.lights[size_t(i)], i, k);
    if (together) {
        add_lights(map, l.set, sources, lamps);
        return;
    }
    for (const light_source &s : sources)
        add_light(map, l.set, &s);
}

static double frame(BITMAP *bmp, light_map *map, const lamp_kind &k, int scene,
                    bool together = false) {
    clear_to_color(bmp, scene);
    return seconds_taken([&] {
        clear_light_map(map, 20, 20, 40);
        add_frame_lamps(map, k, together);
        apply_light_map(bmp, map);
    });
}

/* The frames' times against the hard frame's, one lamp at a time or on every core. */
static void lamp_frames(benchmark::State &state, bool together) {
    BITMAP *bmp = bench_bitmap(32, frame_w, frame_h);
    const int scene = makecol(150, 140, 120);
    light_map *map = create_light_map(frame_w, frame_h);
    if (!map)
        abort();
    const size_t n = sizeof kinds / sizeof kinds[0];
    double hard_time = 0, times[n] = {};
    for (auto _ : state) {
        const double h = frame(bmp, map, hard, scene, together);
        hard_time += h;
        for (size_t i = 0; i < n; i++)
            times[i] += frame(bmp, map, kinds[i], scene, together);
        state.SetIterationTime(h);
    }
    destroy_light_map(map);
    for (size_t i = 0; i < n; i++)
        state.counters[std::string(kinds[i].name) + "_vs_hard"] = times[i] / hard_time;
    state.counters["cone_vs_round"] = times[3] / times[1];
    state.counters["smooth_vs_linear"] = times[4] / times[1];
}

static void lamp_frame(benchmark::State &state) {
    lamp_frames(state, false);
}
BENCHMARK(lamp_frame)->UseManualTime()->Unit(benchmark::kMillisecond);

static void lamp_frame_on_cores(benchmark::State &state) {
    lamp_frames(state, true);
}
BENCHMARK(lamp_frame_on_cores)->UseManualTime()->Unit(benchmark::kMillisecond);

/* A map of the whole level with 200 of its lamps baked in. */
static light_map *baked_level() {
    const lit_level &l = level();
    light_map *baked = create_light_map(level_w, level_h);
    if (!baked || int(l.level_lights.size()) < baked_lamps)
        abort();
    set_light_map_view(baked, level_x, level_y);
    clear_light_map(baked, 20, 20, 40);
    const lamp_kind still = {"still", 4, FALLOFF_SMOOTH, 0, 0};
    for (int i = 0; i < baked_lamps; i++) {
        light_source s = source(l.level_lights[size_t(i)], i, still);
        s.radius = 120;
        add_light(baked, l.set, &s);
    }
    return baked;
}

static void baked_frame(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(32, frame_w, frame_h);
    const int scene = makecol(150, 140, 120);
    light_map *map = create_light_map(frame_w, frame_h), *baked = baked_level();
    const size_t bytes = size_t(3) * frame_w * frame_h;
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    if (!map)
        abort();
    double alone = 0, with_baked = 0, start = 0, clear = 0, copy = 0;
    for (auto _ : state) {
        clear_to_color(bmp, scene);
        alone += seconds_taken([&] {
            clear_light_map(map, 20, 20, 40);
            add_frame_lamps(map, hard);
            apply_light_map(bmp, map);
        });
        clear_to_color(bmp, scene);
        const double w = seconds_taken([&] {
            clear_light_map_from(map, baked);
            add_frame_lamps(map, hard);
            apply_light_map(bmp, map);
        });
        with_baked += w;
        start += seconds_taken([&] { clear_light_map_from(map, baked); });
        clear += seconds_taken([&] { clear_light_map(map, 20, 20, 40); });
        copy += seconds_taken([&] { memcpy(to.data(), from.data(), bytes); });
        benchmark::DoNotOptimize(to.data());
        state.SetIterationTime(w);
    }
    destroy_light_map(baked);
    destroy_light_map(map);
    state.counters["vs_alone"] = with_baked / alone;
    state.counters["start_vs_clear"] = start / clear;
    state.counters["start_vs_copy"] = start / copy;
}
BENCHMARK(baked_frame)->UseManualTime()->Unit(benchmark::kMillisecond);
