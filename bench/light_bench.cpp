/* A lit frame at 1280x720 over a tile level of 1000 boxes, larger than the frame: clear the light
 * map to the ambient level, add the lights, apply the map to the scene. Each part is timed beside
 * one clear_to_color of the same bitmap in the same iteration, the floor the frame is read against.
 * The shadows the lights need are cast again on their own, as the light map casts them, to tell how
 * much of the lights' time they take. */
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bitmaps.h"
#include "light_map.h"
#include "shrouder_set.h"
#include "side_by_side.h"
#include "tile_map.h"

static const int frame_w = 1280, frame_h = 720, boxes = 1000, radius = 200, most_lights = 64;
/* The level spans 1.5 times the frame each way, the frame in its middle: 1000 boxes fill about
 * a quarter of its cells, and there are boxes beyond the frame on every side. */
static const int level_w = frame_w * 3 / 2, level_h = frame_h * 3 / 2;
static const int view_x = (level_w - frame_w) / 2, view_y = (level_h - frame_h) / 2;
/* Lights drawn in the level's free cells, of which those in the frame are used. */
static const int drawn_lights = 400;
static const unsigned seed = 20261207;

/* The tile map's set in the frame's coordinates, and lights in free cells of the frame, made
 * once for the whole run. */
struct lit_level {
    shrouder_set *set;
    std::vector<light> lights;
};

static const lit_level &level() {
    static const lit_level made = [] {
        tile_map map = make_tile_map(boxes, level_w, level_h, drawn_lights, seed);
        for (size_t i = 0; i < map.boxes.size(); i += 2) {
            map.boxes[i] -= view_x;
            map.boxes[i + 1] -= view_y;
        }
        lit_level l{create_shrouder_set(), {}};
        for (light at : map.lights) {
            const light in_frame{at.x - view_x, at.y - view_y};
            if (in_frame.x >= 0 && in_frame.x < frame_w && in_frame.y >= 0 && in_frame.y < frame_h)
                l.lights.push_back(in_frame);
        }
        if (!l.set || int(l.lights.size()) < most_lights)
            abort();
        add_boxes(l.set, map);
        return l;
    }();
    return made;
}

/* Saturated hues in turn. */
static const int colours[][3] = {{255, 160, 60},  {80, 160, 255},  {255, 80, 200}, {120, 255, 100},
                                 {255, 240, 140}, {160, 100, 255}, {60, 230, 230}, {255, 90, 70}};

static void add_lights(light_map *map, int count) {
    const lit_level &l = level();
    for (int i = 0; i < count; i++) {
        const light at = l.lights[size_t(i)];
        const int *c = colours[i % 8];
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
        const double l = seconds_taken([&] { add_lights(map, count); });
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
