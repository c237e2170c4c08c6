/* The dungeon's whole frame (stone, light map with the torch and ten wandering lights, guards,
 * lamps, cursor, status line) into a memory bitmap at 1280x720, timed beside one
 * clear_to_color of the same bitmap in the same iteration: the frame in clears. The torch
 * visits the level's floor tiles in turn and the lights walk on by a 60 Hz frame's time. */
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <vector>

#include "bitmaps.h"
#include "dungeon_frame.h"
#include "frame_rate.h"
#include "light_map.h"
#include "side_by_side.h"
#include "wanderers.h"

static const uint32_t dungeon_seed = 5;
static const int wanderer_count = 10, wanderer_radius = 170;
static const lamp torch{0, 0, 280, 255, 196, 120};
static const double frame_ms = 1000.0 / 60;

static std::vector<tile_spot> floor_tiles(const dungeon &level) {
    std::vector<tile_spot> found;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++)
            if (tile_at(&level, column, row) == floor_tile)
                found.push_back({column, row});
    return found;
}

static void dungeon_frame(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), level_width, level_height);
    BITMAP *stone = create_bitmap(level_width, level_height);
    light_map *map = create_light_map(level_width, level_height);
    static dungeon level;
    if (!stone || !map || !generate_dungeon(&level, dungeon_seed))
        abort();
    draw_stone(stone, &level);
    wanderer wanderers[wanderer_count];
    lamp lamps[wanderer_count];
    place_wanderers(&level, wanderers, wanderer_count);
    for (int i = 0; i < wanderer_count; i++)
        lamps[i] = lamp{0, 0, wanderer_radius, 255, 120 + 12 * i, 60};
    const std::vector<tile_spot> torch_places = floor_tiles(level);
    frame_rate counter;
    dungeon_view view{&level,
                      stone,
                      map,
                      torch,
                      lamps,
                      wanderer_count,
                      0,
                      false,
                      &counter,
                      0,
                      frame_timings{0, 0, 0}};

    double frames = 0, clears = 0;
    size_t next = 0;
    for (auto _ : state) {
        const tile_spot at = torch_places[next++ % torch_places.size()];
        view.torch.x = tile_centre(at.column);
        view.torch.y = tile_centre(at.row);
        move_wanderers(&level, wanderers, wanderer_count, frame_ms);
        for (int i = 0; i < wanderer_count; i++) {
            lamps[i].x = int(wanderers[i].x);
            lamps[i].y = int(wanderers[i].y);
        }
        const double clear = seconds_taken([&] { clear_to_color(bmp, makecol(0, 0, 0)); });
        const double frame = seconds_taken([&] { draw_dungeon_frame(bmp, &view); });
        clears += clear;
        frames += frame;
        state.SetIterationTime(frame);
    }
    state.counters["clears"] = frames / clears;
    state.counters["wall_tiles"] = level.wall_tiles;
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    destroy_light_map(map);
    destroy_bitmap(stone);
}
BENCHMARK(dungeon_frame)->ArgName("bpp")->Arg(32)->UseManualTime();
