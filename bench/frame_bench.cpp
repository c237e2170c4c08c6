/* The demo's whole frame (scene, shadows, readout, cursor, text) into a memory bitmap of the
 * screen's size, from the next light of the grid at each iteration. */
#include <benchmark/benchmark.h>

#include "bitmaps.h"
#include "frame.h"
#include "frame_rate.h"
#include "lights.h"

static void demo_frame(benchmark::State &state) {
    BITMAP *bmp = bench_bitmap(int(state.range(0)), demo_width, demo_height);
    const std::vector<light> lights = light_grid();
    frame_rate counter;
    size_t next = 0;
    for (auto _ : state) {
        const light l = lights[next++ % lights.size()];
        draw_frame(bmp, l.x, l.y, &counter);
    }
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(demo_frame)->ArgName("bpp")->Arg(16)->Arg(32)->UseRealTime();
