/* libFuzzer target for the three shadow operations: fuzzer-chosen bitmap sizes and depths,
 * lights, endpoints and outline counts, extreme coordinates included. Beyond what the
 * sanitizers see, it draws into a sub-bitmap framed by a margin of its parent and checks that
 * the margin is untouched (nothing written outside the bitmap), that only black is painted,
 * and that the same calls in reverse order, without those the module refuses, give the same
 * bytes; the same occluders in a shrouder set, some moved, cast through a view, must paint what
 * the immediate calls paint for them moved into the view. A failed check aborts, so libFuzzer
 * keeps the input. Inputs whose last byte is odd drive the light maps instead
 * (light_fuzz.cpp). */
#include "shrouder_set.h"
#include "tenebrant.h"

#include "fuzzed_int.h"
#include "light_fuzz.h"

#include <algorithm>
#include <allegro.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

namespace {

const int max_side = 2048, near_reach = 64, margin = 16, max_calls = 8, max_outline_points = 12;
/* The wide strips: from where polygon()'s 32-bit x would wrap, a few rows high. */
const int wide_from = 8192, wide_to = 20000, strip_rows = 6;
const int depths[] = {8, 15, 16, 24, 32};
/* The module draws nothing for a light or a segment with a coordinate beyond this. */
const int coord_limit = 1 << 19;
const int extremes[] = {INT_MIN,     INT_MAX, -(1 << 30), 1 << 30, -coord_limit,
                        coord_limit, -32767,  32767,      0};

/* Near the bitmap, next to an extreme, or any int. */
int coordinate(FuzzedDataProvider &in) {
    return fuzzed_int(in, -near_reach, max_side + near_reach, extremes);
}

bool beyond_limit(int v) {
    return v < -coord_limit || v > coord_limit;
}

enum { one_way, two_way, outline };

struct call {
    int kind, lx, ly;
    /* Two endpoints, or exactly `count` outline points: a read past them is an overflow that
     * the sanitizer reports. */
    std::vector<int> points;
    int count;

    explicit call(FuzzedDataProvider &in)
        : kind(in.ConsumeIntegralInRange(0, 2)), lx(coordinate(in)), ly(coordinate(in)),
          count(kind == outline ? in.ConsumeIntegralInRange(-2, max_outline_points) : 2) {
        for (int i = 0; i < 2 * count; i++)
            points.push_back(coordinate(in));
    }
    void cast(BITMAP *bmp) const {
        const int *p = points.data();
        if (kind == one_way)
            add_shrouder(bmp, lx, ly, p[0], p[1], p[2], p[3]);
        else if (kind == two_way)
            add_2_way_shrouder(bmp, lx, ly, p[0], p[1], p[2], p[3]);
        else
            add_shrouder(bmp, lx, ly, count, p);
    }
    /* An outline still casts from the edges whose points are all within the limit. */
    bool refused() const {
        return beyond_limit(lx) || beyond_limit(ly) ||
               (kind != outline && std::any_of(points.begin(), points.end(), beyond_limit));
    }
};

/* A target bitmap inside a margin of its parent, both cleared to the background. */
struct framed {
    BITMAP *parent, *target;
    framed(int depth, int w, int h) {
        set_color_depth(depth);
        parent = create_bitmap(w + 2 * margin, h + 2 * margin);
        clear_to_color(parent, makecol_depth(depth, 0, 127, 0));
        target = create_sub_bitmap(parent, margin, margin, w, h);
    }
    ~framed() {
        destroy_bitmap(target);
        destroy_bitmap(parent);
    }
};

/* The pixel checks visit every pixel: kept out of the coverage feedback and the address checks,
 * they run many times faster. */
#define UNTRACED __attribute__((no_sanitize("coverage", "address")))

/* A pixel of `bytes` bytes read with a fixed-size copy, which compiles to a plain load: a copy
 * of variable size goes through the sanitizer's interceptor and costs many times more. */
template <int bytes> UNTRACED void check_pixels(const framed &f, uint32_t lit, uint32_t black) {
    for (int y = 0; y < f.parent->h; y++)
        for (int x = 0; x < f.parent->w; x++) {
            uint32_t pixel = 0;
            memcpy(&pixel, f.parent->line[y] + x * bytes, bytes);
            const bool inside =
                x >= margin && x < margin + f.target->w && y >= margin && y < margin + f.target->h;
            if (pixel != lit && !(inside && pixel == black))
                abort();
        }
}

void check_only_black_inside(const framed &f) {
    const int depth = bitmap_color_depth(f.parent);
    const uint32_t lit = makecol_depth(depth, 0, 127, 0), black = makecol_depth(depth, 0, 0, 0);
    void (*const check[])(const framed &, uint32_t, uint32_t) = {check_pixels<1>, check_pixels<2>,
                                                                 check_pixels<3>, check_pixels<4>};
    check[(depth + 7) / 8 - 1](f, lit, black);
}

/* The calls' occluders in a set, with those whose light's x is odd removed again; abort
 * unless the set refuses exactly what it must. Returns each call's id in the set, or -1 for
 * those it does not hold. */
std::vector<int> fill_set(shrouder_set *set, const std::vector<call> &calls) {
    std::vector<int> held;
    for (const call &c : calls) {
        const int *p = c.points.data();
        int id = -1;
        if (c.kind == one_way)
            id = add_shrouder_to_set(set, p[0], p[1], p[2], p[3]);
        else if (c.kind == two_way)
            id = add_2_way_shrouder_to_set(set, p[0], p[1], p[2], p[3]);
        else if (c.count >= 0)
            id = add_outline_to_set(set, c.count, p);
        const bool refusable = (c.kind == outline && c.count < 2) ||
                               std::any_of(c.points.begin(), c.points.end(), beyond_limit);
        if ((id < 0) != refusable)
            abort();
        const bool removed = id >= 0 && c.lx % 2 != 0;
        if (removed)
            remove_from_shrouder_set(set, id);
        held.push_back(removed ? -1 : id);
    }
    return held;
}

/* Moves the members the data picks by fuzzer-chosen steps, their points with them; abort
 * unless the set refuses exactly the moves that would leave the range. */
void move_some(shrouder_set *set, std::vector<call> &calls, const std::vector<int> &ids,
               FuzzedDataProvider &in) {
    for (size_t i = 0; i < calls.size(); i++) {
        if (ids[i] < 0 || !in.ConsumeBool())
            continue;
        const int dx = fuzzed_int(in, -near_reach, near_reach, extremes);
        const int dy = fuzzed_int(in, -near_reach, near_reach, extremes);
        bool fits = true;
        for (int j = 0; j < 2 * calls[i].count; j++)
            fits = fits && !beyond_limit(int(std::clamp<int64_t>(
                               int64_t(calls[i].points[j]) + (j % 2 ? dy : dx), INT_MIN, INT_MAX)));
        if ((move_in_shrouder_set(set, ids[i], dx, dy) == 0) != fits)
            abort();
        for (int j = 0; fits && j < 2 * calls[i].count; j++)
            calls[i].points[j] += j % 2 ? dy : dx;
    }
}

/* A world coordinate seen through the view: beyond the range, a value the module refuses. */
int viewed(int v, int view) {
    return int(std::clamp<int64_t>(int64_t(v) - view, -coord_limit - 1, coord_limit + 1));
}

UNTRACED void check_same(const framed &a, const framed &b) {
    const size_t row = size_t(a.parent->w) * ((bitmap_color_depth(a.parent) + 7) / 8);
    for (int y = 0; y < a.parent->h; y++)
        if (memcmp(a.parent->line[y], b.parent->line[y], row) != 0)
            abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        abort();
    /* Headless, the palette starts all black: 8-bit colours need a real one. */
    select_palette(default_palette);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    /* The input's last byte picks the part it drives: the shadow calls or the light maps. */
    if (in.ConsumeBool()) {
        fuzz_lights(in);
        return 0;
    }
    /* Mostly small bitmaps, so that more inputs run a second; every side can still come up,
     * and now and then a strip wider than polygon()'s fixed point reaches. */
    const bool strip = in.ConsumeIntegralInRange(0, 15) == 0;
    const int w = strip ? in.ConsumeIntegralInRange(wide_from, wide_to)
                        : in.ConsumeIntegralInRange(1, max_side >> in.ConsumeIntegralInRange(0, 5));
    const int h = in.ConsumeIntegralInRange(1, strip ? strip_rows
                                                     : max_side >> in.ConsumeIntegralInRange(0, 5));
    const int depth = in.PickValueInArray(depths);
    std::vector<call> calls;
    while (in.remaining_bytes() > 0 && int(calls.size()) < max_calls)
        calls.emplace_back(in);
    if (calls.empty())
        return 0;

    framed forward(depth, w, h), backward(depth, w, h);
    for (const call &c : calls)
        c.cast(forward.target);
    for (auto c = calls.rbegin(); c != calls.rend(); ++c)
        if (!c->refused())
            c->cast(backward.target);

    check_only_black_inside(forward);
    check_same(forward, backward);

    /* The same occluders in a set, some of them moved, cast from the first and the last light
     * through a view and a clip rectangle that the data picks, against one immediate call per
     * member held, moved into the view. */
    shrouder_set *set = create_shrouder_set();
    const std::vector<int> ids = fill_set(set, calls);
    std::vector<call> members = calls;
    move_some(set, members, ids, in);
    const int view_x = in.ConsumeBool() ? 0 : fuzzed_int(in, -max_side, max_side, extremes);
    const int view_y = in.ConsumeBool() ? 0 : fuzzed_int(in, -max_side, max_side, extremes);
    for (const call *light : {&calls.front(), &calls.back()}) {
        framed immediate(depth, w, h), cast(depth, w, h);
        for (const framed *f : {&immediate, &cast})
            set_clip_rect(f->target, light->ly % w, light->lx % h, w - 1 - calls.size() % 3, h - 1);
        for (size_t i = 0; i < members.size(); i++)
            if (ids[i] >= 0) {
                call member = members[i];
                member.lx = viewed(light->lx, view_x);
                member.ly = viewed(light->ly, view_y);
                for (int j = 0; j < 2 * member.count; j++)
                    member.points[j] = viewed(member.points[j], j % 2 ? view_y : view_x);
                member.cast(immediate.target);
            }
        cast_shrouder_set_in_view(cast.target, set, light->lx, light->ly, view_x, view_y);
        check_same(immediate, cast);
        is_lit_by(set, light->lx, light->ly,
                  calls.back().points.empty() ? 0 : calls.back().points[0], light->ly);
    }
    destroy_shrouder_set(set);
    return 0;
}
