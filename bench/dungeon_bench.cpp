/* The dungeon's whole frame (stone and doors at the view, the light map started from the baked
 * wall lamps with the lantern, the glow, the guards' cones and sixteen wandering lights added,
 * flames, guards, player, pointer, status line) into a memory bitmap at 1280x720, timed beside
 * one clear_to_color of the same bitmap in the same iteration: the frame in clears, with the
 * lamps soft (S) and hard. The
 * player stands on the level's floor tiles in turn, the world moves on by a 60 Hz frame's time.
 * Also the time to make a world. */
#include <benchmark/benchmark.h>

#include <math.h>
#include <stdlib.h>

#include <vector>

#include "bitmaps.h"
#include "dungeon_frame.h"
#include "frame_rate.h"
#include "light_map.h"
#include "motion.h"
#include "side_by_side.h"
#include "stone.h"

static const uint32_t dungeon_seed = 5;
static const int wanderer_count = 16, wanderer_radius = 170;
static const double frame_ms = 1000.0 / 60;
/* Every this many floor tiles the player stands on one: the frames sample the whole world. */
static const int tile_stride = 7;

static std::vector<tile_spot> floor_tiles(const dungeon &level) {
    std::vector<tile_spot> found;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++)
            if (tile_at(&level, column, row) == floor_tile &&
                body_fits(&level, tile_centre(column), tile_centre(row)))
                found.push_back({column, row});
    return found;
}

static void dungeon_frame(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), screen_width, screen_height);
    static dungeon level;
    static fog_map fog;
    frame_rate counter;
    scene s;
    if (!make_scene(&s, &level, &fog, &counter) || !generate_dungeon(&level, dungeon_seed))
        abort();
    s.soft = state.range(1) != 0;
    draw_stone(s.stone, &level);
    bake_wall_lamps(s.baked, &level, s.soft);
    wanderer wanderers[wanderer_count];
    lamp lamps[wanderer_count];
    door_opener openers[wanderer_count + 1];
    place_wanderers(&level, wanderers, wanderer_count);
    for (int i = 0; i < wanderer_count; i++)
        lamps[i] = lamp{0, 0, wanderer_radius, 255, 120 + 8 * i, 60};
    const std::vector<tile_spot> places = floor_tiles(level);
    s.lamps = lamps;
    s.lamp_count = wanderer_count;

    double frames = 0, clears = 0, lights = 0;
    size_t next = 0;
    for (auto _ : state) {
        const tile_spot at = places[(next++ * tile_stride) % places.size()];
        s.you = player{double(tile_centre(at.column)), double(tile_centre(at.row))};
        s.at = view_on(s.you);
        s.aim_x = int(next * 37 % screen_width);
        s.aim_y = int(next * 23 % screen_height);
        const double clear = seconds_taken([&] { clear_to_color(bmp, makecol(0, 0, 0)); });
        const double frame = seconds_taken([&] {
            move_level(&level, wanderers, wanderer_count, openers, s.you.x, s.you.y, frame_ms);
            for (int i = 0; i < wanderer_count; i++) {
                lamps[i].x = int(wanderers[i].x);
                lamps[i].y = int(wanderers[i].y);
            }
            draw_dungeon_frame(bmp, &s);
        });
        clears += clear;
        frames += frame;
        lights += s.lights_in_view;
        state.SetIterationTime(frame);
    }
    state.counters["clears"] = frames / clears;
    state.counters["lights_in_view"] = lights / double(state.iterations());
    state.counters["wall_tiles"] = level.wall_tiles;
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    free_dungeon(&level);
    free_scene(&s);
}
BENCHMARK(dungeon_frame)->ArgNames({"bpp", "soft"})->Args({32, 1})->Args({32, 0})->UseManualTime();

/* Making a world: the tiles, the wall set, doors, guards and lamps; required under a second.
 * `of_a_second` is the time over one second. */
static void dungeon_generate(benchmark::State &state) {
    dungeon level;
    uint32_t seed = 0;
    for (auto _ : state)
        if (!generate_dungeon(&level, seed++))
            abort();
    state.counters["wall_tiles"] = level.wall_tiles;
    state.counters["of_a_second"] = benchmark::Counter(
        double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    free_dungeon(&level);
}
BENCHMARK(dungeon_generate)->Unit(benchmark::kMillisecond);
