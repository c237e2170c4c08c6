/* The demo scene's shadows through the module against two floors, timed side by side in each
 * iteration: the same polygons filled by polygon() directly (recorded as the module fills
 * them), and clearing the bitmap, scaled to the pixels the shadows must cover. One iteration
 * casts from one light, the next light of the set each time. */
#include <benchmark/benchmark.h>

#include "area.h"
#include "bitmaps.h"
#include "recorder.h"
#include "scene_shadows.h"
#include "side_by_side.h"

static void clear_bitmap(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), int(state.range(1)), int(state.range(2)));
    const int background = makecol(0, 127, 0);
    for (auto _ : state) {
        clear_to_color(bmp, background);
        benchmark::ClobberMemory();
    }
    const double pixels_in_ns = double(bmp->w) * bmp->h * 1e-9;
    state.counters["px_per_ns"] =
        benchmark::Counter(pixels_in_ns, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(clear_bitmap)
    ->ArgNames({"bpp", "w", "h"})
    ->Args({16, demo_width, demo_height})
    ->Args({32, demo_width, demo_height})
    ->Args({16, 1920, 1080})
    ->Args({32, 1920, 1080})
    ->UseRealTime();

/* What the module fills from one light. */
struct recorded_light {
    std::vector<recorded_polygon> polygons;
    fill_area area;
};

static std::vector<recorded_light> record_lights(BITMAP *bmp, const std::vector<light> &lights) {
    std::vector<recorded_light> recorded;
    for (light l : lights) {
        std::vector<recorded_polygon> polygons =
            record_polygons(bmp, [l](BITMAP *target) { cast_scene_shadows(target, l); });
        const fill_area area = measure_area(polygons, bmp->w, bmp->h);
        recorded.push_back({std::move(polygons), area});
    }
    return recorded;
}

/* The module and its floors from each light of `lights` in turn, one light an iteration;
 * every full round of the lights swaps which of the two fills goes first. */
static void scene_shadows(benchmark::State &state, const std::vector<light> &lights) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), demo_width, demo_height);
    const std::vector<recorded_light> recorded = record_lights(bmp, lights);
    const int background = makecol(0, 127, 0);

    double module = 0, direct = 0, clear = 0;
    double polygons = 0, total_px = 0, covered_px = 0;
    size_t next = 0;
    for (auto _ : state) {
        const size_t i = next % lights.size();
        const bool module_first = next / lights.size() % 2 == 0;
        next++;
        const side_by_side taken = time_side_by_side(
            module_first, [&] { clear_to_color(bmp, background); },
            [&] { cast_scene_shadows(bmp, lights[i]); },
            [&] { fill_polygons(bmp, recorded[i].polygons); });
        module += taken.a;
        direct += taken.b;
        clear += taken.resets;
        state.SetIterationTime(taken.a);
        polygons += double(recorded[i].polygons.size());
        total_px += double(recorded[i].area.total);
        covered_px += double(recorded[i].area.covered);
    }
    /* Clearing writes every pixel once: the least that covering the shadows' pixels can
     * cost. Two clears an iteration. */
    const double clear_per_px = clear / (2.0 * double(state.iterations()) * bmp->w * bmp->h);
    const double memory_floor = clear_per_px * covered_px;
    state.counters["polygons"] = benchmark::Counter(polygons, benchmark::Counter::kAvgIterations);
    state.counters["covered_px"] =
        benchmark::Counter(covered_px, benchmark::Counter::kAvgIterations);
    state.counters["overdraw"] = total_px / covered_px;
    state.counters["vs_direct"] = module / direct;
    state.counters["vs_memory"] = module / memory_floor;
}
BENCHMARK_CAPTURE(scene_shadows, grid64, light_grid())
    ->ArgName("bpp")
    ->Arg(16)
    ->Arg(32)
    ->UseManualTime();
/* Above the scene, inside the triangle (all but the triangle dark), near a corner, and off the
 * screen to the left, where every shadow is clipped to the bitmap. */
BENCHMARK_CAPTURE(scene_shadows, above, std::vector<light>{{320, 100}})
    ->ArgName("bpp")
    ->Arg(16)
    ->Arg(32)
    ->UseManualTime();
BENCHMARK_CAPTURE(scene_shadows, inside, std::vector<light>{{300, 320}})
    ->ArgName("bpp")
    ->Arg(16)
    ->Arg(32)
    ->UseManualTime();
BENCHMARK_CAPTURE(scene_shadows, corner, std::vector<light>{{5, 5}})
    ->ArgName("bpp")
    ->Arg(16)
    ->Arg(32)
    ->UseManualTime();
BENCHMARK_CAPTURE(scene_shadows, outside, std::vector<light>{{-200, 240}})
    ->ArgName("bpp")
    ->Arg(16)
    ->Arg(32)
    ->UseManualTime();
