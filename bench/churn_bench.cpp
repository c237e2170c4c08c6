/* Occluders that move: the time of a move and of a remove + add pair on sets of 1,000 and
 * 100,000 boxes, the time of the last tenth of the operations against the first tenth, and
 * the heap the set holds afterwards against a fresh set of the same boxes. */
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <random>
#include <vector>

#include "shrouder_set.h"
#include "side_by_side.h"

/* Every byte malloc hands out, small blocks and mapped ones alike. */
static size_t heap_in_use() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

static int add_box(shrouder_set *set, int x, int y) {
    const int box[] = {x, y, x + 24, y, x + 24, y + 24, x, y + 24};
    return add_outline_to_set(set, 4, box);
}

struct boxes {
    std::vector<int> ids, xs, ys;
};

static shrouder_set *grid_of_boxes(int count, boxes *b) {
    const int cols = int(sqrt(double(count)) * 1.8);
    shrouder_set *set = create_shrouder_set();
    for (int i = 0; i < count; i++)
        b->ids[i] = add_box(set, b->xs[i] = i % cols * 48, b->ys[i] = i / cols * 48);
    return set;
}

/* Each phase is timed in this many equal chunks. */
static const int chunks = 20;

/* `moves` moves (a box by 5 pixels to and fro), then `pairs` remove + add pairs, each on a box
 * drawn at random: 4 moves to a pair, so that with a remove and an add counted as two
 * operations the first tenth of all operations is the first 3 chunks of moves, and the last
 * tenth the last 6 chunks of pairs. */
static void churn(benchmark::State &state) {
    const int members = int(state.range(0));
    const long moves = members == 1000 ? 2000000 : 400000, pairs = moves / 4;
    for (auto _ : state) {
        boxes b{std::vector<int>(size_t(members)), std::vector<int>(size_t(members)),
                std::vector<int>(size_t(members))};
        const size_t heap_before = heap_in_use();
        shrouder_set *set = grid_of_boxes(members, &b);
        std::mt19937 rng(5);
        std::vector<double> move_chunks, pair_chunks;
        for (int c = 0; c < chunks; c++)
            move_chunks.push_back(seconds_taken([&] {
                for (long k = 0; k < moves / chunks; k++) {
                    const int i = int(rng() % unsigned(members)), d = k % 2 ? 5 : -5;
                    move_in_shrouder_set(set, b.ids[i], d, 0);
                    b.xs[i] += d;
                }
            }));
        for (int c = 0; c < chunks; c++)
            pair_chunks.push_back(seconds_taken([&] {
                for (long k = 0; k < pairs / chunks; k++) {
                    const int i = int(rng() % unsigned(members));
                    remove_from_shrouder_set(set, b.ids[i]);
                    b.ids[i] = add_box(set, b.xs[i], b.ys[i]);
                }
            }));
        const size_t churned = heap_in_use() - heap_before;
        shrouder_set *fresh = create_shrouder_set();
        const size_t fresh_before = heap_in_use();
        for (int i = 0; i < members; i++)
            add_box(fresh, b.xs[i], b.ys[i]);
        const size_t fresh_bytes = heap_in_use() - fresh_before;
        destroy_shrouder_set(fresh);
        destroy_shrouder_set(set);
        auto sum = [](const std::vector<double> &v, int from, int to) {
            double total = 0;
            for (int i = from; i < to; i++)
                total += v[size_t(i)];
            return total;
        };
        const double move_time = sum(move_chunks, 0, chunks);
        const double pair_time = sum(pair_chunks, 0, chunks);
        state.SetIterationTime(move_time + pair_time);
        state.counters["us_per_move"] = move_time / double(moves) * 1e6;
        state.counters["us_per_remove_add"] = pair_time / double(pairs) * 1e6;
        state.counters["last_vs_first_tenth"] =
            sum(pair_chunks, chunks - 6, chunks) / sum(move_chunks, 0, 3);
        /* Within each phase: its last tenth against its first. */
        state.counters["moves_drift"] =
            sum(move_chunks, chunks - 2, chunks) / sum(move_chunks, 0, 2);
        state.counters["pairs_drift"] =
            sum(pair_chunks, chunks - 2, chunks) / sum(pair_chunks, 0, 2);
        state.counters["memory_vs_fresh"] = double(churned) / double(fresh_bytes);
    }
}

BENCHMARK(churn)
    ->ArgNames({"members"})
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
