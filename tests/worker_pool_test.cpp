/* The light maps' threads: every part of every job runs once, on its own thread, and the job is
 * over when the call returns. Runs under ThreadSanitizer in scripts/test. */
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "worker_pool.h"

namespace {

struct tally {
    std::vector<int> runs; /* runs of each part, written by that part only */
    std::vector<std::thread::id> ids;
};

void count_part(void *context, int part) {
    tally *t = static_cast<tally *>(context);
    t->runs[size_t(part)]++;
    t->ids[size_t(part)] = std::this_thread::get_id();
}

TEST(WorkerPool, RunsEachPartOnceAJobOnItsOwnThread) {
    for (int threads : {1, 2, 3, 8}) {
        worker_pool *pool = create_worker_pool(threads);
        ASSERT_NE(pool, nullptr);
        ASSERT_EQ(worker_threads(pool), threads);
        tally t{std::vector<int>(size_t(threads), 0),
                std::vector<std::thread::id>(size_t(threads))};
        const int jobs = 500;
        for (int job = 0; job < jobs; job++)
            run_on_workers(pool, count_part, &t);
        for (int part = 0; part < threads; part++)
            EXPECT_EQ(t.runs[size_t(part)], jobs) << threads << " threads, part " << part;
        EXPECT_EQ(t.ids[0], std::this_thread::get_id());
        EXPECT_EQ(std::set<std::thread::id>(t.ids.begin(), t.ids.end()).size(), size_t(threads));
        destroy_worker_pool(pool);
    }
}

/* A part that holds its job until told to let go. */
struct gate {
    std::atomic<bool> entered{false}, release{false};
};

void wait_at_gate(void *context, int part) {
    gate *g = static_cast<gate *>(context);
    if (part != 0)
        return;
    g->entered = true;
    while (!g->release)
        std::this_thread::yield();
}

/* While one job holds the pool, trying another from a second thread runs nothing; once the
 * pool is free, it runs every part, and a blocking start from a second thread waits its turn. */
TEST(WorkerPool, TryingWhileAJobRunsRunsNothing) {
    worker_pool *pool = create_worker_pool(2);
    ASSERT_NE(pool, nullptr);
    gate g;
    std::thread holder([&] { run_on_workers(pool, wait_at_gate, &g); });
    while (!g.entered)
        std::this_thread::yield();
    tally t{std::vector<int>(2, 0), std::vector<std::thread::id>(2)};
    EXPECT_FALSE(try_run_on_workers(pool, count_part, &t));
    EXPECT_EQ(t.runs, std::vector<int>({0, 0}));
    std::thread waiter([&] { run_on_workers(pool, count_part, &t); });
    g.release = true;
    holder.join();
    waiter.join();
    EXPECT_EQ(t.runs, std::vector<int>({1, 1}));
    EXPECT_TRUE(try_run_on_workers(pool, count_part, &t));
    EXPECT_EQ(t.runs, std::vector<int>({2, 2}));
    destroy_worker_pool(pool);
}

} // namespace
