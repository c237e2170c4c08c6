/* Cost of shadowing on a 640x480 16-bit memory bitmap, the demo's back buffer: one casting
 * segment at its largest (three corners) and the demo's whole scene. The demo's budget is a
 * frame at 60 Hz, 16.7 ms, for the scene plus its blit. */
#include "scene.h"
#include "tenebrant.h"

#include <allegro.h>
#include <benchmark/benchmark.h>

namespace {

BITMAP *back_buffer() {
    static BITMAP *bmp = [] {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        set_color_depth(16);
        return create_bitmap(640, 480);
    }();
    return bmp;
}

void largest_segment(benchmark::State &state) {
    BITMAP *bmp = back_buffer();
    for (auto _ : state)
        add_shrouder(bmp, 5, 5, 10, 4, 4, 10);
}
BENCHMARK(largest_segment);

void whole_scene(benchmark::State &state) {
    BITMAP *bmp = back_buffer();
    const int lx = int(state.range(0)), ly = int(state.range(1));
    for (auto _ : state) {
        add_2_way_shrouder(bmp, lx, ly, 100, 140, 100, 220);
        add_shrouder(bmp, lx, ly, 460, 280, 460, 360);
        add_shrouder(bmp, lx, ly, foo2_count, foo2);
        add_shrouder(bmp, lx, ly, foo_count, foo);
        add_shrouder(bmp, lx, ly, spiral_maze_count, spiral_maze);
    }
}
/* Above the scene, inside the triangle (everything outside it dark), and in a corner. */
BENCHMARK(whole_scene)->Args({320, 100})->Args({300, 320})->Args({5, 5});

} // namespace
