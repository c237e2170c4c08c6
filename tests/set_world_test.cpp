/* Shrouder sets in worlds larger than the bitmap: casts through a view against the immediate
 * calls on the moved members, sets changed by moves against sets built afresh, memory under
 * churn counted through the allocator, the edges listed near a box, and casts that run at the
 * same time in several threads. */
#include "headless.h"
#include "set_casting.h"
#include "set_edges.h"
#include "set_level.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <malloc.h>
#include <map>
#include <new>
#include <set>
#include <thread>

/* The heap in use, probed through the allocator: the sanitizer's own under Address- or
 * ThreadSanitizer, elsewhere every byte handed out by operator new, as malloc sizes it. */
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define HEAP_FROM_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HEAP_FROM_SANITIZER 1
#endif

#ifdef HEAP_FROM_SANITIZER
#include <sanitizer/allocator_interface.h>

static long long heap_in_use() {
    return (long long)__sanitizer_get_current_allocated_bytes();
}
#else
static std::atomic<long long> live_bytes{0}, allocations{0};

static long long heap_in_use() {
    return live_bytes;
}

void *operator new(size_t size) {
    void *p = malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    live_bytes += (long long)malloc_usable_size(p);
    allocations++;
    return p;
}

/* Allocated by malloc above, so freed by free. */
void operator delete(void *p) noexcept {
    if (p)
        live_bytes -= (long long)malloc_usable_size(p);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
    free(p);
#pragma GCC diagnostic pop
}

void operator delete(void *p, size_t) noexcept {
    operator delete(p);
}
#endif

namespace {

/* Outside the range the module draws in: an edge with such a coordinate casts nothing. */
int clamped(int64_t v) {
    return int(std::clamp<int64_t>(v, -limit - 1, limit + 1));
}

/* The level's members moved by (-vx, -vy), cast by the immediate calls from the moved light. */
void cast_moved(const level &l, BITMAP *bmp, int lx, int ly, int vx, int vy) {
    level moved_level;
    destroy_shrouder_set(moved_level.set);
    moved_level.set = nullptr;
    for (member m : l.members) {
        for (size_t i = 0; i < m.points.size(); i++)
            m.points[i] = clamped(int64_t(m.points[i]) - (i % 2 ? vy : vx));
        moved_level.members.push_back(m);
    }
    moved_level.cast_immediately(bmp, clamped(int64_t(lx) - vx), clamped(int64_t(ly) - vy));
}

/* Cleared to the background, then clipped to the rectangle when it is not the whole bitmap. */
void clear_and_clip(BITMAP *b, int left, int top, int right, int bottom) {
    set_clip_rect(b, 0, 0, b->w - 1, b->h - 1);
    clear_to_color(b, makecol(0, 127, 0));
    set_clip_rect(b, left, top, right, bottom);
}

struct view_case {
    const char *name;
    int depth, w, h;
    int wx, wy; /* the world's top-left corner */
    int vx, vy; /* the view */
    int spread; /* how far the lights stray from the view */
    bool clipped;
    bool shadows; /* whether anything is in range to cast */
};

// clang-format off
const view_case view_cases[] = {
    {"view inside the world", 8, 160, 120, 100, 50, 300, 200, 40, false, true},
    {"view at a negative corner", 15, 120, 90, -900, -650, -700, -500, 300, true, true},
    {"lights far off the view", 16, 100, 100, 50, 100, 250, 250, 2000, false, true},
    {"clipped view", 24, 140, 100, 220, -90, 420, 60, 80, true, true},
    {"part of the world beyond the range", 32, 64, 48, -100, -100, 100, 50, 200, false, true},
    {"all of it beyond the range", 16, 64, 48, limit - 800, -limit + 10, -limit, limit, 50, false,
     false},
    {"view beyond any int's reach", 16, 64, 48, 0, 0, INT_MIN + 7, INT_MAX - 100, 50, false, false},
};
// clang-format on

class view_matches_moved_members : public ::testing::TestWithParam<view_case> {};

TEST_P(view_matches_moved_members, byte_for_byte) {
    const view_case &c = GetParam();
    std::mt19937 rng(99);
    level l;
    tile_map(l, rng, c.wx, c.wy, 30, 20, 24, 4);
    segment_soup(l, rng, c.wx, c.wy, 600, 400, 40);
    /* Long walls from the world to near the range's edge: with the view moved right, their far
     * ends leave the range and they cast nothing. */
    for (int y : {40, 90, 130})
        l.add(two_way, {-limit + 10, c.wy + y, c.wx + 150, c.wy + y + 20});
    set_color_depth(c.depth);
    BITMAP *expected = create_bitmap(c.w, c.h), *actual = create_bitmap(c.w, c.h);
    BITMAP *blank = create_bitmap(c.w, c.h);
    clear_to_color(blank, makecol(0, 127, 0));
    int painted = 0;
    for (int i = 0; i < 24; i++) {
        const int lx =
            clamped(int64_t(c.vx) + int(rng() % unsigned(c.w + 2 * c.spread)) - c.spread);
        const int ly =
            clamped(int64_t(c.vy) + int(rng() % unsigned(c.h + 2 * c.spread)) - c.spread);
        const int left = c.clipped ? int(rng() % unsigned(c.w / 2)) : 0;
        const int top = c.clipped ? int(rng() % unsigned(c.h / 2)) : 0;
        for (BITMAP *b : {expected, actual})
            clear_and_clip(b, left, top, c.w - 1 - left / 2, c.h - 1);
        cast_moved(l, expected, lx, ly, c.vx, c.vy);
        cast_shrouder_set_in_view(actual, l.set, lx, ly, c.vx, c.vy);
        ASSERT_TRUE(same_pixels(expected, actual)) << c.name << ", light " << lx << ", " << ly;
        painted += !same_pixels(actual, blank);
    }
    EXPECT_EQ(painted > 0, c.shadows) << c.name;
    clear_and_clip(actual, 0, 0, c.w - 1, c.h - 1);
    cast_shrouder_set_in_view(actual, nullptr, c.vx, c.vy, c.vx, c.vy);
    EXPECT_TRUE(same_pixels(actual, blank));
    destroy_bitmap(blank);
    destroy_bitmap(expected);
    destroy_bitmap(actual);
}

INSTANTIATE_TEST_SUITE_P(views, view_matches_moved_members, ::testing::ValuesIn(view_cases));

/* Adds, moves and removes at random; every so often the set is cast against a set built
 * afresh from the live members where they now are. */
TEST(shrouder_set, moves_match_a_rebuilt_set) {
    std::mt19937 rng(7);
    level l;
    tile_map(l, rng, 0, 0, 12, 9, 24, 3);
    segment_soup(l, rng, 0, 0, 300, 220, 20);
    set_color_depth(16);
    BITMAP *expected = create_bitmap(300, 220), *actual = create_bitmap(300, 220);
    std::set<int> ids_seen;
    for (const member &m : l.members)
        ids_seen.insert(m.id);
    for (int round = 0; round < 30; round++) {
        for (int op = 0; op < 40; op++) {
            member &m = l.members[rng() % l.members.size()];
            const int dx = int(rng() % 41) - 20, dy = int(rng() % 41) - 20;
            switch (rng() % 4) {
            case 0: { /* remove and add again elsewhere: a new id */
                remove_from_shrouder_set(l.set, m.id);
                ASSERT_EQ(move_in_shrouder_set(l.set, m.id, 1, 1), -1);
                const member again = m;
                l.members.erase(l.members.begin() + (&m - l.members.data()));
                l.add(again.k, again.points);
                ASSERT_TRUE(ids_seen.insert(l.members.back().id).second);
                break;
            }
            default:
                ASSERT_EQ(move_in_shrouder_set(l.set, m.id, dx, dy), 0);
                for (size_t i = 0; i < m.points.size(); i++)
                    m.points[i] += i % 2 ? dy : dx;
            }
        }
        level fresh;
        for (const member &m : l.members)
            fresh.add(m.k, m.points);
        for (int i = 0; i < 6; i++) {
            const int lx = int(rng() % 340) - 20, ly = int(rng() % 260) - 20;
            for (BITMAP *b : {expected, actual})
                clear_and_clip(b, 0, 0, b->w - 1, b->h - 1);
            cast_shrouder_set(expected, fresh.set, lx, ly);
            cast_shrouder_set(actual, l.set, lx, ly);
            ASSERT_TRUE(same_pixels(expected, actual))
                << "round " << round << ", light " << lx << ", " << ly;
            const int x = int(rng() % 300), y = int(rng() % 220);
            ASSERT_EQ(is_lit_by(l.set, lx, ly, x, y), is_lit_by(fresh.set, lx, ly, x, y));
        }
    }
    destroy_bitmap(expected);
    destroy_bitmap(actual);
}

TEST(shrouder_set, refused_moves_leave_the_set_as_it_was) {
    level l;
    l.add(outline, {0, 0, 10, 0, 10, 10, 0, 10});
    l.add(one_way, {limit - 5, 0, limit, 3});
    const int id = l.members[0].id, edge = l.members[1].id;
    const struct {
        int id, dx, dy;
    } refused[] = {{edge, 1, 0},      {edge, INT_MAX, 0}, {id, INT_MIN, 0}, {id, 0, limit},
                   {id + 1000, 1, 1}, {-1, 0, 0},         {INT_MAX, 0, 0}};
    for (const auto &r : refused)
        EXPECT_EQ(move_in_shrouder_set(l.set, r.id, r.dx, r.dy), -1) << r.id << " by " << r.dx;
    EXPECT_EQ(move_in_shrouder_set(l.set, edge, -1, 0), 0);
    EXPECT_EQ(move_in_shrouder_set(l.set, id, 0, 0), 0);
    /* The box is where it was: it still hides (5, 20) from a light above it. */
    EXPECT_FALSE(is_lit_by(l.set, 5, -20, 5, 20));
    EXPECT_TRUE(is_lit_by(l.set, 50, -20, 50, 20));
}

long long heap_of(const std::function<void()> &work) {
    const long long before = heap_in_use();
    work();
    return heap_in_use() - before;
}

int add_box(shrouder_set *set, int x, int y) {
    const int box[] = {x, y, x + 24, y, x + 24, y + 24, x, y + 24};
    return add_outline_to_set(set, 4, box);
}

/* Moves and remove + add pairs on a set of 1000 boxes leave it within twice the memory of a
 * fresh set of the same boxes. */
TEST(shrouder_set, memory_follows_the_live_members_under_churn) {
    const int boxes = 1000, cols = 40;
    std::vector<int> ids(boxes), xs(boxes), ys(boxes);
    shrouder_set *churned = nullptr, *fresh = nullptr;
    heap_of([&] {
        churned = create_shrouder_set();
        for (int i = 0; i < boxes; i++)
            ids[i] = add_box(churned, xs[i] = i % cols * 48, ys[i] = i / cols * 48);
    });
    std::mt19937 rng(3);
    const long long grown = heap_of([&] {
        for (int op = 0; op < 200000; op++) {
            const int i = int(rng() % boxes);
            if (op % 5 == 4) {
                remove_from_shrouder_set(churned, ids[i]);
                const int id = add_box(churned, xs[i], ys[i]);
                ASSERT_GT(id, ids[i]);
                ids[i] = id;
            } else {
                const int d = op % 2 ? 5 : -5;
                ASSERT_EQ(move_in_shrouder_set(churned, ids[i], d, 0), 0);
                xs[i] += d;
            }
        }
    });
    const long long fresh_bytes = heap_of([&] {
        fresh = create_shrouder_set();
        for (int i = 0; i < boxes; i++)
            add_box(fresh, xs[i], ys[i]);
    });
    const long long churned_bytes = heap_of([&] { destroy_shrouder_set(churned); });
    EXPECT_GT(fresh_bytes, 100 * boxes);
    EXPECT_LE(-churned_bytes, 2 * fresh_bytes) << "grew by " << grown;
    destroy_shrouder_set(fresh);
}

/* A door sliding to and fro among 1000 boxes, a move a frame, allocates now and then (when
 * the set drops its dead edges), not at every move. */
TEST(shrouder_set, moving_to_and_fro_seldom_allocates) {
#ifdef HEAP_FROM_SANITIZER
    GTEST_SKIP() << "the sanitizer's allocator counts no calls";
#else
    const int boxes = 1000, cols = 40, moves = 4000;
    shrouder_set *set = create_shrouder_set();
    for (int i = 0; i < boxes; i++)
        add_box(set, i % cols * 48, i / cols * 48);
    const int door = add_box(set, 20, 20);
    const auto slide = [&](int count) {
        for (int i = 0; i < count; i++)
            ASSERT_EQ(move_in_shrouder_set(set, door, i % 2 ? 3 : -3, 0), 0);
    };
    slide(moves);
    const long long before = allocations;
    slide(moves);
    EXPECT_LE(allocations - before, moves / 50);
    destroy_shrouder_set(set);
#endif
}

/* Whether the closed segment meets the closed box: an end inside, or a crossing of a side. */
bool segment_meets_box(const int *a, const int *b, int left, int top, int right, int bottom) {
    auto inside = [&](const int *p) {
        return p[0] >= left && p[0] <= right && p[1] >= top && p[1] <= bottom;
    };
    const int sides[4][4] = {{left, top, right, top},
                             {right, top, right, bottom},
                             {right, bottom, left, bottom},
                             {left, bottom, left, top}};
    bool crosses = false;
    for (const int *s : sides)
        crosses = crosses || meets(a[0], a[1], b[0], b[1], s[0], s[1], s[2], s[3]);
    return inside(a) || inside(b) || crosses;
}

TEST(set_edges_in_box, lists_each_live_edge_meeting_the_box_once) {
    level l;
    std::mt19937 rng(11);
    segment_soup(l, rng, 0, 0, 400, 300, 60);
    tile_map(l, rng, 0, 0, 16, 12, 24, 3);
    l.remove_every(4);
    for (size_t i = 0; i < l.members.size(); i += 3) {
        ASSERT_EQ(move_in_shrouder_set(l.set, l.members[i].id, 7, -3), 0);
        for (size_t j = 0; j < l.members[i].points.size(); j++)
            l.members[i].points[j] += j % 2 ? -3 : 7;
    }
    std::vector<set_edge_copy> listed;
    for (int trial = 0; trial < 60; trial++) {
        const int left = int(rng() % 420) - 10, top = int(rng() % 320) - 10;
        const int right = left + int(rng() % 120), bottom = top + int(rng() % 90);
        /* Each live edge: how many times it must be listed at least, and may be at most. */
        std::map<std::vector<int>, std::pair<int, int>> edges;
        for (const member &m : l.members) {
            const int n = int(m.points.size()) / 2, count = m.k == one_way ? 1 : n;
            for (int e = 0; e < count; e++) {
                const int *a = &m.points[2 * e], *b = &m.points[2 * ((e + 1) % n)];
                const bool box_meets =
                    std::max(a[0], b[0]) >= left && std::min(a[0], b[0]) <= right &&
                    std::max(a[1], b[1]) >= top && std::min(a[1], b[1]) <= bottom;
                auto &bounds = edges[{a[0], a[1], b[0], b[1]}];
                bounds.first += segment_meets_box(a, b, left, top, right, bottom);
                bounds.second += box_meets;
            }
        }
        set_edges_in_box(l.set, left, top, right, bottom, &listed);
        std::map<std::vector<int>, int> times;
        std::set<int> indices;
        for (const set_edge_copy &e : listed) {
            times[{e.x1, e.y1, e.x2, e.y2}]++;
            ASSERT_TRUE(indices.insert(e.index).second);
        }
        for (const auto &[edge, bounds] : edges) {
            const int n = times.count(edge) ? times[edge] : 0;
            ASSERT_GE(n, bounds.first) << "box " << left << ", " << top << " - " << right << ", "
                                       << bottom << " misses " << edge[0] << ", " << edge[1];
            ASSERT_LE(n, bounds.second) << "box " << left << ", " << top;
        }
        ASSERT_LE(times.size(), edges.size()); /* nothing but live edges */
        for (const auto &[edge, n] : times)
            ASSERT_TRUE(edges.count(edge)) << "a dead edge at " << edge[0] << ", " << edge[1];
    }
    set_edges_in_box(nullptr, 0, 0, 10, 10, &listed);
    EXPECT_TRUE(listed.empty());
}

/* Threads casting one set at once, each with its own scratch or through the public call, paint
 * what one thread paints alone; the solid fill ignores the drawing mode left on. */
TEST(shrouder_set, casts_from_several_threads_match_one_thread) {
    std::mt19937 rng(21);
    level l;
    tile_map(l, rng, -100, -100, 30, 24, 24, 3);
    set_color_depth(32);
    const int w = 400, h = 300, threads = 4, lights = 12;
    std::vector<std::pair<int, int>> at;
    for (int i = 0; i < lights; i++)
        at.push_back({int(rng() % w), int(rng() % h)});
    auto fresh = [&] {
        BITMAP *b = create_bitmap(w, h);
        clear_to_color(b, makecol(0, 127, 0));
        return b;
    };
    std::vector<BITMAP *> alone, with, in_view;
    for (int i = 0; i < lights; i++) {
        alone.push_back(fresh());
        with.push_back(fresh());
        in_view.push_back(fresh());
        cast_shrouder_set_in_view(alone[i], l.set, at[i].first + 50, at[i].second, 50, 0);
    }
    xor_mode(TRUE);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; t++)
        running.emplace_back([&, t] {
            cast_scratch *scratch = create_cast_scratch();
            for (int i = t; i < lights; i += threads) {
                cast_shrouder_set_with(scratch, with[i], 0, 0, w, h, l.set, at[i].first + 50,
                                       at[i].second, 50, 0);
                is_lit_by(l.set, at[i].first, at[i].second, 0, 0);
            }
            destroy_cast_scratch(scratch);
        });
    for (std::thread &t : running)
        t.join();
    solid_mode();
    running.clear();
    for (int t = 0; t < threads; t++)
        running.emplace_back([&, t] {
            for (int i = t; i < lights; i += threads)
                cast_shrouder_set_in_view(in_view[i], l.set, at[i].first + 50, at[i].second, 50, 0);
        });
    for (std::thread &t : running)
        t.join();
    for (int i = 0; i < lights; i++) {
        EXPECT_TRUE(same_pixels(alone[i], with[i])) << "light " << i;
        EXPECT_TRUE(same_pixels(alone[i], in_view[i])) << "light " << i;
        destroy_bitmap(alone[i]);
        destroy_bitmap(with[i]);
        destroy_bitmap(in_view[i]);
    }
}

/* Casting with a scratch takes its clip rectangle as given, paints solid whatever the mode,
 * and leaves the bitmap's own clip as it was. */
TEST(shrouder_set, casting_with_a_scratch_keeps_to_its_rectangle) {
    std::mt19937 rng(41);
    level l;
    tile_map(l, rng, -50, -50, 20, 14, 24, 3);
    set_color_depth(16);
    const int w = 300, h = 200;
    BITMAP *expected = create_bitmap(w, h), *actual = create_bitmap(w, h);
    cast_scratch *scratch = create_cast_scratch();
    ASSERT_NE(scratch, nullptr);
    const struct {
        int left, top, right, bottom; /* right and bottom exclusive, as the call takes them */
    } rects[] = {{0, 0, w, h}, {40, 30, 200, 90}, {-20, -20, 50, 400}, {299, 0, 300, 200}};
    for (const auto &r : rects) {
        const int lx = 80 + int(rng() % 100), ly = 60 + int(rng() % 80);
        clear_and_clip(expected, std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, w) - 1,
                       std::min(r.bottom, h) - 1);
        cast_shrouder_set_in_view(expected, l.set, lx + 7, ly - 3, 7, -3);
        clear_and_clip(actual, 10, 10, 20, 20);
        xor_mode(TRUE);
        cast_shrouder_set_with(scratch, actual, r.left, r.top, r.right, r.bottom, l.set, lx + 7,
                               ly - 3, 7, -3);
        solid_mode();
        EXPECT_TRUE(same_pixels(expected, actual)) << "rectangle " << r.left << ", " << r.top;
        const int clip[] = {actual->cl, actual->ct, actual->cr, actual->cb};
        EXPECT_EQ(std::vector<int>(clip, clip + 4), std::vector<int>({10, 10, 21, 21}));
    }
    cast_shrouder_set_with(nullptr, actual, 0, 0, w, h, l.set, 10, 10, 0, 0);
    destroy_cast_scratch(scratch);
    destroy_bitmap(expected);
    destroy_bitmap(actual);
}

/* Threads that each cast every light onto their own band of rows of one memory bitmap, with
 * scratches of their own, paint what one cast of the whole bitmap paints. */
TEST(shrouder_set, row_bands_of_one_bitmap_cast_at_once) {
    std::mt19937 rng(31);
    level l;
    tile_map(l, rng, 0, 0, 20, 14, 24, 3);
    set_color_depth(8);
    const int w = 480, h = 330, bands = 3;
    BITMAP *whole = create_bitmap(w, h), *banded = create_bitmap(w, h);
    for (int i = 0; i < 6; i++) {
        const int lx = int(rng() % w), ly = int(rng() % h);
        clear_to_color(whole, 5);
        clear_to_color(banded, 5);
        cast_shrouder_set(whole, l.set, lx, ly);
        std::vector<std::thread> running;
        for (int b = 0; b < bands; b++)
            running.emplace_back([&, b] {
                cast_scratch *scratch = create_cast_scratch();
                cast_shrouder_set_with(scratch, banded, 0, h * b / bands, w, h * (b + 1) / bands,
                                       l.set, lx, ly, 0, 0);
                destroy_cast_scratch(scratch);
            });
        for (std::thread &t : running)
            t.join();
        EXPECT_TRUE(same_pixels(whole, banded)) << "light " << lx << ", " << ly;
    }
    destroy_bitmap(whole);
    destroy_bitmap(banded);
}

} // namespace
