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

} // namespace
