/* Adding many lamps at once on several threads: the map's rows are cut into one band a thread,
 * each band carrying about the same work, and every thread adds every lamp to its own band in
 * order. A pixel sees the same additions in the same order as with add_light one lamp at a
 * time, so the levels are the same to the byte. The threads are started once, at a map's first
 * add_lights, and kept.
 *
 * Disc lamps' penumbrae cost most and unevenly, where a band cannot foresee it: they are worked
 * out first, a lamp at a time on whichever thread is free, for the bands to read. */
#include "light_map.h"
#include "map_parts.h"
#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <new>
#include <thread>

/* More threads than this are never started, whatever is asked. */
static const int most_threads = 64;
/* What a row of a lamp's box costs beyond its pixels (casting, the row's set-up), in pixels. */
static const double row_overhead = 16;

void set_light_map_threads(light_map *map, int threads) {
    if (!map)
        return;
    stop_light_threads(map);
    map->threads = std::max(0, std::min(threads, most_threads));
}

void stop_light_threads(light_map *map) {
    destroy_worker_pool(map->pool);
    map->pool = NULL;
    for (lamp_scratch &s : map->band_scratch)
        destroy_lamp_scratch(&s);
    map->band_scratch.clear();
}

static int threads_wanted(const light_map *map) {
    if (map->threads > 0)
        return map->threads;
    const int cores = int(std::thread::hardware_concurrency());
    return std::max(1, std::min(cores, most_threads));
}

/* Starts the pool and its threads' scratch; false, with none of it, when that fails. */
static bool start_light_threads(light_map *map, int threads) {
    try {
        map->row_work.resize(size_t(map->h));
        map->band_scratch.resize(size_t(threads - 1));
    } catch (const std::bad_alloc &) {
        return false;
    }
    bool made = true;
    for (lamp_scratch &s : map->band_scratch)
        made = create_lamp_scratch(&s, map->w, map->h, map->scratch.shadow) && made;
    map->pool = made ? create_worker_pool(threads) : NULL;
    if (!map->pool)
        stop_light_threads(map);
    return map->pool != NULL;
}

/* Each row's share of the lamps' work: the chord of every disc across it, plus a little. */
static void estimate_row_work(light_map *map, const light_source *lights, int count) {
    std::fill(map->row_work.begin(), map->row_work.end(), 0.0);
    for (int i = 0; i < count; i++) {
        const light_source &l = lights[i];
        if (l.radius < 1)
            continue;
        const int64_t x = int64_t(l.x) - map->view_x, y = int64_t(l.y) - map->view_y;
        const int64_t r = l.radius;
        const int64_t first = std::max<int64_t>(y - r, 0),
                      last = std::min<int64_t>(y + r, map->h - 1);
        if (x + r < 0 || x - r >= map->w)
            continue;
        for (int64_t row = first; row <= last; row++) {
            const double dy = double(row - y);
            const double half = std::sqrt(std::max(0.0, double(r) * double(r) - dy * dy));
            const double left = std::max(double(x) - half, 0.0);
            const double right = std::min(double(x) + half, double(map->w - 1));
            map->row_work[size_t(row)] += std::max(right - left + 1, 0.0) + row_overhead;
        }
    }
}

namespace {

/* One frame's lamps and where each thread's band of rows starts; band t is the rows
 * starts[t] .. starts[t + 1] - 1. */
struct band_job {
    light_map *map;
    const shrouder_set *set;
    const light_source *lights;
    int count;
    int starts[most_threads + 1];
    std::atomic<int> next_lamp; /* the next lamp whose penumbrae a thread takes on */
    bool ahead;                 /* whether they were worked out for the bands to read */
};

} // namespace

/* Each thread takes on the next lamp left until none is. */
static void find_penumbrae(void *context, int) {
    band_job *job = static_cast<band_job *>(context);
    light_map *map = job->map;
    for (int i = job->next_lamp++; i < job->count; i = job->next_lamp++)
        find_lamp_penumbrae(&map->lamp_penumbrae[size_t(i)], map, job->set, &job->lights[i]);
}

/* The same for the shares, the lamps with the most exact pixels first: what is left to share
 * out at the end is small. */
static void work_out_all_shares(void *context, int) {
    band_job *job = static_cast<band_job *>(context);
    light_map *map = job->map;
    const int count = int(map->share_order.size());
    for (int k = job->next_lamp++; k < count; k = job->next_lamp++) {
        const int i = map->share_order[size_t(k)].second;
        work_out_shares(&map->lamp_penumbrae[size_t(i)], map, &job->lights[i]);
    }
}

static void add_to_band(void *context, int part) {
    band_job *job = static_cast<band_job *>(context);
    light_map *map = job->map;
    lamp_scratch *s = part == 0 ? &map->scratch : &map->band_scratch[size_t(part - 1)];
    const int first = job->starts[part], last = job->starts[part + 1] - 1;
    if (first > last)
        return;
    for (int i = 0; i < job->count; i++)
        add_light_to_rows(map, s, job->set, &job->lights[i], first, last,
                          job->ahead ? &map->lamp_penumbrae[size_t(i)] : NULL);
}

/* The exact pixels of a lamp whose penumbrae were found. */
static size_t exact_pixels(const found_penumbrae &f) {
    size_t n = 0;
    for (const exact_run &r : f.penumbra.runs)
        n += size_t(r.x1 - r.x0 + 1);
    return n;
}

/* Lists the lamps whose penumbrae were found, the most exact pixels first. */
static void order_by_work(light_map *map, int count) {
    map->share_order.clear();
    for (int i = 0; i < count; i++)
        if (map->lamp_penumbrae[size_t(i)].found)
            map->share_order.push_back({exact_pixels(map->lamp_penumbrae[size_t(i)]), i});
    std::sort(map->share_order.begin(), map->share_order.end(),
              std::greater<std::pair<size_t, int>>());
}

/* Disc lamps' penumbrae and shares are worked out first, each lamp on one thread, for all the
 * bands to read; when there is no room for them, every band works out its own. */
static void work_out_penumbrae(band_job *job) {
    light_map *map = job->map;
    job->ahead = false;
    bool discs = false;
    for (int i = 0; i < job->count; i++)
        discs = discs || job->lights[i].size > 0;
    if (!discs)
        return;
    try {
        if (map->lamp_penumbrae.size() < size_t(job->count))
            map->lamp_penumbrae.resize(size_t(job->count));
        map->share_order.reserve(size_t(job->count));
    } catch (const std::bad_alloc &) {
        return;
    }
    run_on_workers(map->pool, find_penumbrae, job);
    order_by_work(map, job->count);
    job->next_lamp = 0;
    run_on_workers(map->pool, work_out_all_shares, job);
    job->ahead = true;
}

/* Lighting a pixel of an exact run from its share costs about this many pixels lit plainly. */
static const double exact_cost = 1;

/* Adds to each row the work of lighting the exact runs found on it. */
static void add_exact_work(light_map *map, const band_job &job) {
    if (!job.ahead)
        return;
    for (int i = 0; i < job.count; i++) {
        const found_penumbrae &f = map->lamp_penumbrae[size_t(i)];
        if (!f.found)
            continue;
        for (const exact_run &r : f.penumbra.runs)
            if (r.row >= 0 && r.row < map->h)
                map->row_work[size_t(r.row)] += exact_cost * (r.x1 - r.x0 + 1);
    }
}

/* Cuts the rows into bands of about equal estimated work. */
static void cut_bands(const light_map *map, int threads, int *starts) {
    double total = 0;
    for (double w : map->row_work)
        total += w;
    starts[0] = 0;
    double done = 0;
    int row = 0;
    for (int t = 1; t < threads; t++) {
        const double goal = total * t / threads;
        while (row < map->h && done + map->row_work[size_t(row)] / 2 < goal)
            done += map->row_work[size_t(row++)];
        starts[t] = row;
    }
    starts[threads] = map->h;
}

void add_lights(light_map *map, const shrouder_set *set, const light_source *lights, int count) {
    if (!map || !lights || count < 1)
        return;
    const int threads = std::min(threads_wanted(map), map->h);
    if (threads > 1 && !map->pool && !start_light_threads(map, threads_wanted(map)))
        map->threads = 1;
    if (threads < 2 || !map->pool) {
        for (int i = 0; i < count; i++)
            add_light(map, set, &lights[i]);
        return;
    }
    band_job job{map, set, lights, count, {}, {0}, false};
    work_out_penumbrae(&job);
    estimate_row_work(map, lights, count);
    add_exact_work(map, job);
    const int parts = worker_threads(map->pool);
    cut_bands(map, std::min(threads, parts), job.starts);
    for (int t = std::min(threads, parts); t < parts; t++)
        job.starts[t + 1] = map->h;
    run_on_workers(map->pool, add_to_band, &job);
}
