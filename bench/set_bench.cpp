/* Whole levels: a shrouder set cast from each light of a tile map, against one immediate call
 * per box and against clearing the bitmap, the three timed side by side in every iteration.
 * Also what the set costs to fill and to keep, how many edges cast and are visible, line of
 * sight queries, and the demo's own scene through a set. */
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <map>
#include <random>

#include "bitmaps.h"
#include "scene.h"
#include "shrouder_set.h"
#include "side_by_side.h"
#include "tenebrant.h"
#include "tile_map.h"

static const int wide_width = 1920, wide_height = 1080;
static const int map_lights = 16;
static const unsigned map_seed = 20261207;
/* Visibility is counted by brute force on this many of the lights only. */
static const int lights_for_visibility = 4;

struct built_map {
    tile_map map;
    shrouder_set *set;
    double add_seconds, bytes_per_box;
};

static const built_map &built(int boxes) {
    static std::map<int, built_map> made;
    auto found = made.find(boxes);
    if (found != made.end())
        return found->second;
    built_map b{make_tile_map(boxes, wide_width, wide_height, map_lights, map_seed), nullptr, 0, 0};
    const size_t heap_before = mallinfo2().uordblks;
    b.add_seconds = seconds_taken([&] {
        b.set = create_shrouder_set();
        add_boxes(b.set, b.map);
    });
    b.bytes_per_box = double(mallinfo2().uordblks - heap_before) / boxes;
    return made.emplace(boxes, b).first->second;
}

static void cast_boxes_immediately(BITMAP *bmp, const tile_map &map, light l) {
    for (size_t i = 0; i < map.boxes.size(); i += 8)
        add_shrouder(bmp, l.x, l.y, 4, &map.boxes[i]);
}

static bool edge_casts(const int *a, const int *b, light l) {
    return (int64_t(b[0]) - a[0]) * (l.y - a[1]) - (int64_t(b[1]) - a[1]) * (l.x - a[0]) > 0;
}

/* Casting edges per light, and those that the light sees a point of: with the edge's box taken
 * out of a set of all the boxes, the light reaches some point inside the edge. */
static void count_edges(const tile_map &map, double *casting, double *visible) {
    shrouder_set *set = create_shrouder_set();
    std::vector<int> ids;
    for (size_t i = 0; i < map.boxes.size(); i += 8)
        ids.push_back(add_outline_to_set(set, 4, &map.boxes[i]));
    long cast = 0, seen = 0;
    for (int li = 0; li < lights_for_visibility; li++) {
        const light l = map.lights[size_t(li)];
        for (size_t box = 0; box < ids.size(); box++) {
            const int *p = &map.boxes[box * 8];
            bool removed = false;
            for (int e = 0; e < 4; e++) {
                const int *a = p + 2 * e, *b = p + 2 * ((e + 1) % 4);
                if (!edge_casts(a, b, l))
                    continue;
                cast++;
                if (!removed)
                    remove_from_shrouder_set(set, ids[box]);
                removed = true;
                for (int k = 1; k < map.tile; k++) {
                    const int x = a[0] + (b[0] - a[0]) * k / map.tile;
                    const int y = a[1] + (b[1] - a[1]) * k / map.tile;
                    if (is_lit_by(set, l.x, l.y, x, y)) {
                        seen++;
                        break;
                    }
                }
            }
            if (removed)
                ids[box] = add_outline_to_set(set, 4, p);
        }
    }
    destroy_shrouder_set(set);
    *casting = double(cast) / lights_for_visibility;
    *visible = double(seen) / lights_for_visibility;
}

/* The immediate calls take seconds on the largest maps: each iteration times them once per
 * light, and the set and the clear this many times over, all in the same iteration. */
static const int set_repeats = 8;

static void tile_map_shadows(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), wide_width, wide_height);
    const int boxes = int(state.range(1));
    const built_map &b = built(boxes);
    const int background = makecol(0, 127, 0);
    const double lights = double(b.map.lights.size());
    const auto cast_set = [&] {
        for (int r = 0; r < set_repeats; r++)
            for (light l : b.map.lights)
                cast_shrouder_set(bmp, b.set, l.x, l.y);
    };
    const auto cast_immediately = [&] {
        for (light l : b.map.lights)
            cast_boxes_immediately(bmp, b.map, l);
    };
    const auto clear = [&] {
        for (int r = 0; r < set_repeats; r++)
            clear_to_color(bmp, background);
    };
    clear(); /* the first touch of the bitmap's pages is not a clear's cost */
    double set_time = 0, immediate = 0, clears = 0;
    bool set_first = true;
    for (auto _ : state) {
        const side_by_side taken = time_side_by_side(set_first, clear, cast_set, cast_immediately);
        set_first = !set_first;
        set_time += taken.a / (set_repeats * lights);
        immediate += taken.b / lights;
        clears += taken.resets / (2 * set_repeats);
        state.SetIterationTime(taken.a / (set_repeats * lights));
    }
    double casting, visible;
    count_edges(b.map, &casting, &visible);
    state.counters["speedup"] = immediate / set_time;
    state.counters["clears"] = set_time / clears;
    state.counters["casting"] = casting;
    state.counters["visible"] = visible;
    state.counters["add_ms"] = b.add_seconds * 1e3;
    state.counters["bytes_per_box"] = b.bytes_per_box;
}
BENCHMARK(tile_map_shadows)
    ->ArgNames({"bpp", "boxes"})
    ->ArgsProduct({{16, 32}, {100, 1000, 4000, 10000}})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

/* Can the light see a point up to 200 pixels away in x and in y, on the 4000-box map. */
static void line_of_sight(benchmark::State &state) {
    const built_map &b = built(4000);
    std::mt19937 rng(map_seed);
    std::uniform_int_distribution<int> offset(-200, 200);
    std::vector<std::pair<light, light>> queries;
    for (int i = 0; i < 4096; i++) {
        const light l = b.map.lights[size_t(i) % b.map.lights.size()];
        queries.push_back({l, {l.x + offset(rng), l.y + offset(rng)}});
    }
    size_t i = 0, lit = 0;
    for (auto _ : state) {
        const auto &q = queries[i++ % queries.size()];
        lit += is_lit_by(b.set, q.first.x, q.first.y, q.second.x, q.second.y);
    }
    state.counters["queries_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["lit_share"] = double(lit) / double(state.iterations());
}
BENCHMARK(line_of_sight)->UseRealTime();

/* The demo's five occluders: a set against the demo's own immediate calls, over a grid of
 * lights. */
static void demo_scene_set(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), demo_width, demo_height);
    shrouder_set *set = create_shrouder_set();
    const int *two = two_way_segment, *one = one_way_segment;
    add_2_way_shrouder_to_set(set, two[0], two[1], two[2], two[3]);
    add_shrouder_to_set(set, one[0], one[1], one[2], one[3]);
    add_outline_to_set(set, foo2_count, foo2);
    add_outline_to_set(set, foo_count, foo);
    add_outline_to_set(set, spiral_maze_count, spiral_maze);
    const std::vector<light> lights = light_grid();
    const int background = makecol(0, 127, 0);
    double set_time = 0, immediate = 0;
    size_t next = 0;
    for (auto _ : state) {
        const light l = lights[next++ % lights.size()];
        const side_by_side taken = time_side_by_side(
            next % 2 == 0, [&] { clear_to_color(bmp, background); },
            [&] { cast_shrouder_set(bmp, set, l.x, l.y); },
            [&] {
                add_2_way_shrouder(bmp, l.x, l.y, two[0], two[1], two[2], two[3]);
                add_shrouder(bmp, l.x, l.y, one[0], one[1], one[2], one[3]);
                add_shrouder(bmp, l.x, l.y, foo2_count, foo2);
                add_shrouder(bmp, l.x, l.y, foo_count, foo);
                add_shrouder(bmp, l.x, l.y, spiral_maze_count, spiral_maze);
            });
        set_time += taken.a;
        immediate += taken.b;
        state.SetIterationTime(taken.a);
    }
    state.counters["vs_immediate"] = set_time / immediate;
    destroy_shrouder_set(set);
}
BENCHMARK(demo_scene_set)->ArgNames({"bpp"})->Arg(16)->Arg(32)->UseManualTime();
