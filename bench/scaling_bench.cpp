/* Many short one-way segments at random (fixed seed) on a 1920x1080 bitmap, light in the
 * middle: the cost should follow the number of segments that cast, each one a fill. The
 * module's pass is timed beside polygon() on the same recorded polygons. Time is per pass. */
#include <benchmark/benchmark.h>

#include <random>

#include "bitmaps.h"
#include "recorder.h"
#include "side_by_side.h"
#include "tenebrant.h"

static const int wide_width = 1920, wide_height = 1080;
static const int max_extent = 32; /* of a segment, along each axis */
static const unsigned seed = 20240531;

/* Segments as x1, y1, x2, y2, wholly on the bitmap, in every direction. */
static std::vector<int> random_segments(int count) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> x(max_extent, wide_width - 1 - max_extent);
    std::uniform_int_distribution<int> y(max_extent, wide_height - 1 - max_extent);
    std::uniform_int_distribution<int> extent(-max_extent, max_extent);
    std::vector<int> segments;
    for (int i = 0; i < count; i++) {
        const int x1 = x(rng), y1 = y(rng);
        const int x2 = x1 + extent(rng), y2 = y1 + extent(rng);
        segments.insert(segments.end(), {x1, y1, x2, y2});
    }
    return segments;
}

static void cast_segments(BITMAP *bmp, const std::vector<int> &segments) {
    const int lx = bmp->w / 2, ly = bmp->h / 2;
    for (size_t i = 0; i < segments.size(); i += 4)
        add_shrouder(bmp, lx, ly, segments[i], segments[i + 1], segments[i + 2], segments[i + 3]);
}

static void random_segments_shadows(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), wide_width, wide_height);
    const int count = int(state.range(1));
    const std::vector<int> segments = random_segments(count);
    const std::vector<recorded_polygon> polygons =
        record_polygons(bmp, [&](BITMAP *target) { cast_segments(target, segments); });
    const double casting = double(polygons.size());
    const int background = makecol(0, 127, 0);

    double module = 0, direct = 0;
    bool module_first = true;
    for (auto _ : state) {
        const side_by_side taken = time_side_by_side(
            module_first, [&] { clear_to_color(bmp, background); },
            [&] { cast_segments(bmp, segments); }, [&] { fill_polygons(bmp, polygons); });
        module_first = !module_first;
        module += taken.a;
        direct += taken.b;
        state.SetIterationTime(taken.a);
    }
    const double iterations = double(state.iterations());
    state.counters["casting"] = casting;
    state.counters["us_per_seg"] = module * 1e6 / (iterations * count);
    state.counters["us_per_cast"] = casting > 0 ? module * 1e6 / (iterations * casting) : 0;
    state.counters["vs_direct"] = module / direct;
}
BENCHMARK(random_segments_shadows)
    ->ArgNames({"bpp", "segments"})
    ->ArgsProduct({{16, 32}, {10, 100, 1000, 10000}})
    ->UseManualTime();
