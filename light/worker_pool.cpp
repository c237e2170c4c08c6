#include "worker_pool.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

struct worker_pool {
    std::vector<std::thread> threads;
    std::mutex turn; /* held by the job running */
    std::mutex lock;
    std::condition_variable started, finished;
    /* Each job has a new generation: a thread runs its part once per generation. */
    unsigned generation = 0;
    int running = 0;
    bool stopping = false;
    void (*job)(void *, int) = nullptr;
    void *context = nullptr;
};

static void serve(worker_pool *pool, int part) {
    unsigned seen = 0;
    for (;;) {
        std::unique_lock<std::mutex> hold(pool->lock);
        pool->started.wait(hold, [&] { return pool->stopping || pool->generation != seen; });
        if (pool->stopping)
            return;
        seen = pool->generation;
        void (*job)(void *, int) = pool->job;
        void *context = pool->context;
        hold.unlock();
        job(context, part);
        hold.lock();
        if (--pool->running == 0)
            pool->finished.notify_one();
    }
}

worker_pool *create_worker_pool(int threads) {
    if (threads < 1)
        return nullptr;
    worker_pool *pool = new (std::nothrow) worker_pool;
    if (!pool)
        return nullptr;
    try {
        pool->threads.reserve(size_t(threads - 1));
        for (int part = 1; part < threads; part++)
            pool->threads.emplace_back(serve, pool, part);
    } catch (const std::exception &) {
        destroy_worker_pool(pool);
        return nullptr;
    }
    return pool;
}

void destroy_worker_pool(worker_pool *pool) {
    if (!pool)
        return;
    {
        std::lock_guard<std::mutex> hold(pool->lock);
        pool->stopping = true;
    }
    pool->started.notify_all();
    for (std::thread &t : pool->threads)
        t.join();
    delete pool;
}

int worker_threads(const worker_pool *pool) {
    return int(pool->threads.size()) + 1;
}

/* Runs the job; the caller holds the pool's turn. */
static void run_job(worker_pool *pool, void (*job)(void *, int), void *context) {
    if (!pool->threads.empty()) {
        std::lock_guard<std::mutex> hold(pool->lock);
        pool->job = job;
        pool->context = context;
        pool->running = int(pool->threads.size());
        pool->generation++;
    }
    pool->started.notify_all();
    job(context, 0);
    std::unique_lock<std::mutex> hold(pool->lock);
    pool->finished.wait(hold, [&] { return pool->running == 0; });
}

void run_on_workers(worker_pool *pool, void (*job)(void *, int), void *context) {
    std::lock_guard<std::mutex> turn(pool->turn);
    run_job(pool, job, context);
}

bool try_run_on_workers(worker_pool *pool, void (*job)(void *, int), void *context) {
    std::unique_lock<std::mutex> turn(pool->turn, std::try_to_lock);
    if (!turn.owns_lock())
        return false;
    run_job(pool, job, context);
    return true;
}
