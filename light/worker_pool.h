/* Internal to the light maps: threads started once and kept, each running its share of a job
 * when asked, so that a frame starts no thread. */
#ifndef WORKER_POOL_H
#define WORKER_POOL_H

struct worker_pool;

/* A pool that runs jobs on `threads` threads: the caller's own and threads - 1 of its own.
 * NULL when threads is below 1 or a thread cannot be started. */
worker_pool *create_worker_pool(int threads);

/* Stops and joins the pool's threads. NULL is fine. */
void destroy_worker_pool(worker_pool *pool);

/* The threads a job runs on, the caller's included. */
int worker_threads(const worker_pool *pool);

/* Runs job(context, i) for every i from 0 to worker_threads - 1 at once, part 0 on the calling
 * thread, and returns when every part has returned. A job started meanwhile from another
 * thread waits its turn. */
void run_on_workers(worker_pool *pool, void (*job)(void *context, int part), void *context);

/* run_on_workers, unless another job holds the pool: then nothing runs and false comes back.
 * Every part runs, however many threads the job needs: parts with nothing to do return. */
bool try_run_on_workers(worker_pool *pool, void (*job)(void *context, int part), void *context);

#endif
