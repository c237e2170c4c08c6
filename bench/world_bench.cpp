/* Worlds larger than the screen: a 1920x1080 view into tile worlds of 1,000, 10,000 and
 * 100,000 boxes at the same density, cast through the view, against the same cast on the
 * 1,000-box world and against a plain cast of the same members already moved into the view,
 * all timed side by side in every iteration. Also a cast onto a bitmap the size of the
 * 10,000-box world, as a world-sized light map bakes its lamps. */
#include <benchmark/benchmark.h>

#include <map>
#include <random>

#include "bitmaps.h"
#include "shrouder_set.h"
#include "side_by_side.h"
#include "tile_map.h"

static const int view_width = 1920, view_height = 1080, tile = 24;
static const int floor_boxes = 1000, view_lights = 16;
static const unsigned world_seed = 20261208;

struct world {
    tile_map map;
    int width, height, vx, vy;
    shrouder_set *set, *moved; /* the world, and the same boxes moved by (-vx, -vy) */
    std::vector<light> lights; /* in free cells of the view, in world coordinates */
};

/* Lights in free cells of the view: the boxes are on the grid, so a free cell is one no box's
 * top-left corner names. */
static std::vector<light> lights_in_view(const world &w) {
    std::vector<bool> taken(size_t(w.width / tile) * size_t(w.height / tile), false);
    for (size_t i = 0; i < w.map.boxes.size(); i += 8)
        taken[size_t(w.map.boxes[i + 1] / tile) * size_t(w.width / tile) +
              size_t(w.map.boxes[i] / tile)] = true;
    std::mt19937 rng(world_seed);
    std::vector<light> lights;
    while (int(lights.size()) < view_lights) {
        const int cx = w.vx / tile + int(rng() % unsigned(view_width / tile));
        const int cy = w.vy / tile + int(rng() % unsigned(view_height / tile));
        if (!taken[size_t(cy) * size_t(w.width / tile) + size_t(cx)])
            lights.push_back({cx * tile + tile / 2, cy * tile + tile / 2});
    }
    return lights;
}

/* A world of `boxes` boxes as dense as 1,000 on the view, the view in its middle. */
static const world &built_world(int boxes) {
    static std::map<int, world> made;
    auto found = made.find(boxes);
    if (found != made.end())
        return found->second;
    const double scale = sqrt(double(boxes) / floor_boxes);
    world w;
    w.width = int(view_width * scale) / tile * tile;
    w.height = int(view_height * scale) / tile * tile;
    w.vx = (w.width - view_width) / 2 / tile * tile;
    w.vy = (w.height - view_height) / 2 / tile * tile;
    w.map = make_tile_map(boxes, w.width, w.height, 0, world_seed);
    w.set = create_shrouder_set();
    w.moved = create_shrouder_set();
    add_boxes(w.set, w.map);
    for (size_t i = 0; i < w.map.boxes.size(); i += 8) {
        int box[8];
        for (int j = 0; j < 8; j++)
            box[j] = w.map.boxes[i + j] - (j % 2 ? w.vy : w.vx);
        add_outline_to_set(w.moved, 4, box);
    }
    w.lights = lights_in_view(w);
    return made.emplace(boxes, std::move(w)).first->second;
}

/* Each iteration casts every light of the view this many times in each of the three ways. */
static const int world_repeats = 4;

static void world_view_cast(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), view_width, view_height);
    const world &w = built_world(int(state.range(1))), &small = built_world(floor_boxes);
    const auto in_view = [&](const world &of) {
        return [&] {
            for (int r = 0; r < world_repeats; r++)
                for (light l : of.lights)
                    cast_shrouder_set_in_view(bmp, of.set, l.x, l.y, of.vx, of.vy);
        };
    };
    const auto moved = [&] {
        for (int r = 0; r < world_repeats; r++)
            for (light l : w.lights)
                cast_shrouder_set(bmp, w.moved, l.x - w.vx, l.y - w.vy);
    };
    const auto nothing = [] {};
    double viewed = 0, plain = 0, floor = 0;
    bool first = true;
    for (auto _ : state) {
        const side_by_side a = time_side_by_side(first, nothing, in_view(w), moved);
        const side_by_side b = time_side_by_side(first, nothing, in_view(small), nothing);
        first = !first;
        const double casts = world_repeats * double(view_lights);
        viewed += a.a / casts;
        plain += a.b / casts;
        floor += b.a / casts;
        state.SetIterationTime(a.a / casts);
    }
    state.counters["vs_1000_boxes"] = viewed / floor;
    state.counters["vs_moved_set"] = viewed / plain;
    state.counters["world_px"] = double(w.width) * w.height;
}
BENCHMARK(world_view_cast)
    ->ArgNames({"bpp", "boxes"})
    ->ArgsProduct({{16, 32}, {1000, 10000, 100000}})
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

/* One light cast onto an 8-bit bitmap the size of the 10,000-box world (6072x3408), as a
 * world-sized light map bakes a lamp, against clearing that bitmap. */
static void world_sized_cast(benchmark::State &state) {
    const world &w = built_world(10000);
    BITMAP *bmp = bench_bitmap(8, w.width, w.height);
    std::mt19937 rng(world_seed);
    std::vector<light> lights;
    for (int i = 0; i < 64; i++) {
        const light l = w.lights[size_t(i) % w.lights.size()];
        lights.push_back({l.x + int(rng() % 2000) - 1000, l.y + int(rng() % 1000) - 500});
    }
    double cast = 0, clears = 0;
    size_t next = 0;
    for (auto _ : state) {
        const light l = lights[next++ % lights.size()];
        const side_by_side taken = time_side_by_side(
            next % 2 == 0, [] {}, [&] { cast_shrouder_set(bmp, w.set, l.x, l.y); },
            [&] { clear_to_color(bmp, 0); });
        cast += taken.a;
        clears += taken.b;
        state.SetIterationTime(taken.a);
    }
    state.counters["clears"] = cast / clears;
}
BENCHMARK(world_sized_cast)->UseManualTime()->Iterations(64)->Unit(benchmark::kMicrosecond);
