/* The light maps under fuzzer-chosen sizes, sets, lamps, views and colours, extreme ints
 * included (positions, radii and views up to INT_MIN and INT_MAX, channels far outside
 * 0 .. 255, lamp sizes and angles of any value, NaN and infinities too), cleared now and then
 * from a baked map, applied to a bitmap of any depth framed by a margin of its parent. Beyond
 * what the sanitizers see, it checks that creating refuses exactly the sizes out of range, that
 * applying writes nothing outside the overlap of bitmap and map, refuses 8 bpp with the bitmap
 * unchanged, and never raises a channel (the levels are at most 255), and that a lamp's share
 * seen lies in 0 .. 1. A failed check aborts. */
#include "light_fuzz.h"

#include "fuzzed_int.h"

#include "light_map.h"
#include "shrouder_set.h"

#include <algorithm>
#include <allegro.h>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

const int max_side = 1024, margin = 8, max_members = 8, max_calls = 8;
/* Lamps with a size work out their penumbrae pixel by pixel: on maps up to this many pixels. */
const int64_t soft_pixels = 256 * 256;
const double odd_angles[] = {0,
                             -0.0,
                             180,
                             360,
                             -720,
                             1e300,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
const int depths[] = {8, 15, 16, 24, 32};
const int extremes[] = {INT_MIN, INT_MAX, -(1 << 19), 1 << 19, -(1 << 20), 1 << 20, 0, -1};
/* What create_light_map takes: sides from 1 to 2^19 and at most 2^28 pixels. */
const int side_limit = 1 << 19;
const int64_t pixel_limit = int64_t(1) << 28;

/* Near the map, next to an extreme, or any int. */
int any_int(FuzzedDataProvider &in, int near) {
    return fuzzed_int(in, -near, 2 * near, extremes);
}

int side(FuzzedDataProvider &in) {
    return in.ConsumeIntegralInRange(1, max_side >> in.ConsumeIntegralInRange(0, 5));
}

/* Sizes out of range must be refused, and nothing is allocated for them. */
void check_refused_size(FuzzedDataProvider &in) {
    const int w = any_int(in, max_side), h = any_int(in, max_side);
    const bool valid =
        w >= 1 && h >= 1 && w <= side_limit && h <= side_limit && int64_t(w) * h <= pixel_limit;
    if (valid)
        return;
    if (light_map *map = create_light_map(w, h)) {
        destroy_light_map(map);
        abort();
    }
}

using Set = std::unique_ptr<shrouder_set, decltype(&destroy_shrouder_set)>;

Set random_set(FuzzedDataProvider &in, int near) {
    Set set(create_shrouder_set(), destroy_shrouder_set);
    for (int n = in.ConsumeIntegralInRange(0, max_members); n > 0; n--) {
        int p[8];
        for (int &v : p)
            v = any_int(in, near);
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0:
            add_shrouder_to_set(set.get(), p[0], p[1], p[2], p[3]);
            break;
        case 1:
            add_2_way_shrouder_to_set(set.get(), p[0], p[1], p[2], p[3]);
            break;
        default:
            add_outline_to_set(set.get(), 4, p);
        }
    }
    return set;
}

/* A bitmap inside a margin of its parent, both filled with one seeded pattern. */
struct framed {
    BITMAP *parent, *target;
    framed(int depth, int w, int h) {
        parent = create_bitmap_ex(depth, w + 2 * margin, h + 2 * margin);
        for (int y = 0; y < parent->h; y++)
            for (int x = 0; x < parent->w; x++)
                putpixel(parent, x, y, makecol_depth(depth, x * 37 % 256, y * 59 % 256, 200));
        target = create_sub_bitmap(parent, margin, margin, w, h);
    }
    ~framed() {
        destroy_bitmap(target);
        destroy_bitmap(parent);
    }
};

#define UNTRACED __attribute__((no_sanitize("coverage", "address")))

/* Every pixel outside the overlap (margin included) as it was; inside, no channel raised. */
UNTRACED void check_applied(const framed &before, const framed &after, int map_w, int map_h) {
    const int depth = bitmap_color_depth(after.parent);
    for (int y = 0; y < after.parent->h; y++)
        for (int x = 0; x < after.parent->w; x++) {
            const int was = getpixel(before.parent, x, y), now = getpixel(after.parent, x, y);
            const bool inside = x >= margin && x < margin + std::min(after.target->w, map_w) &&
                                y >= margin && y < margin + std::min(after.target->h, map_h);
            if (!inside && now != was)
                abort();
            if (getr_depth(depth, now) > getr_depth(depth, was) ||
                getg_depth(depth, now) > getg_depth(depth, was) ||
                getb_depth(depth, now) > getb_depth(depth, was))
                abort();
        }
}

UNTRACED bool same(const framed &a, const framed &b) {
    const size_t row = size_t(a.parent->w) * ((bitmap_color_depth(a.parent) + 7) / 8);
    for (int y = 0; y < a.parent->h; y++)
        if (memcmp(a.parent->line[y], b.parent->line[y], row) != 0)
            return false;
    return true;
}

double angle(FuzzedDataProvider &in) {
    return in.ConsumeBool() ? in.PickValueInArray(odd_angles)
                            : in.ConsumeFloatingPointInRange(-400.0, 400.0);
}

light_source lamp(FuzzedDataProvider &in, int x, int y, int radius, int r, int g, int b) {
    light_source l = {};
    l.x = x, l.y = y, l.radius = radius, l.r = r, l.g = g, l.b = b;
    l.size = in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 40) : any_int(in, 40);
    l.falloff = in.ConsumeBool() ? FALLOFF_SMOOTH : FALLOFF_LINEAR;
    l.direction = angle(in);
    l.half_angle = angle(in);
    l.edge = angle(in);
    return l;
}

/* The share seen of the lamp from a point near it lies in 0 .. 1. */
void check_share(FuzzedDataProvider &in, const shrouder_set *set, const light_source &l) {
    const int x = any_int(in, 64), y = any_int(in, 64);
    const int size = std::min(l.size, 1 << 20);
    const double v = share_of_light_seen(set, l.x, l.y, size, x, y);
    if (!(v >= 0 && v <= 1))
        abort();
}

/* Clears the map from a small baked map with its own view and a lamp or two. */
void clear_from_baked(FuzzedDataProvider &in, light_map *map, const shrouder_set *set) {
    light_map *baked =
        create_light_map(in.ConsumeIntegralInRange(1, 64), in.ConsumeIntegralInRange(1, 64));
    if (!baked)
        abort();
    set_light_map_view(baked, any_int(in, 64), any_int(in, 64));
    clear_light_map(baked, any_int(in, 255), any_int(in, 255), any_int(in, 255));
    for (int n = in.ConsumeIntegralInRange(0, 2); n > 0; n--) {
        const light_source l =
            lamp(in, any_int(in, 64), any_int(in, 64), any_int(in, 64), 255, any_int(in, 255), 90);
        add_light(baked, set, &l);
    }
    clear_light_map_from(map, in.ConsumeBool() ? baked : map);
    destroy_light_map(baked);
}

} // namespace

void fuzz_lights(FuzzedDataProvider &in) {
    check_refused_size(in);
    const int map_w = side(in), map_h = side(in);
    light_map *map = create_light_map(map_w, map_h);
    if (!map)
        abort();
    const Set walls = random_set(in, map_w), crates = random_set(in, map_w);
    const shrouder_set *layers[] = {nullptr, walls.get(), crates.get()};
    clear_light_map(map, any_int(in, 255), any_int(in, 255), any_int(in, 255));
    for (int n = in.ConsumeIntegralInRange(0, max_calls); n > 0; n--) {
        const shrouder_set *set = in.PickValueInArray(layers);
        const int x = any_int(in, map_w), y = any_int(in, map_h), radius = any_int(in, map_w);
        const int r = any_int(in, 255), g = any_int(in, 255), b = any_int(in, 255);
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
            clear_light_map(map, r, g, b);
            break;
        case 1:
            set_light_map_view(map, any_int(in, map_w), any_int(in, map_h));
            break;
        case 2:
            clear_from_baked(in, map, set);
            break;
        case 3:
        case 4:
            if (int64_t(map_w) * map_h <= soft_pixels) {
                const light_source l = lamp(in, x, y, radius, r, g, b);
                add_light(map, set, &l);
                check_share(in, set, l);
                break;
            }
            [[fallthrough]];
        default:
            add_point_light(map, set, x, y, radius, r, g, b);
        }
    }

    const int depth = in.PickValueInArray(depths);
    const int bmp_w = side(in), bmp_h = side(in);
    framed before(depth, bmp_w, bmp_h), after(depth, bmp_w, bmp_h);
    const int result = apply_light_map(after.target, map);
    destroy_light_map(map);
    if (result != (depth == 8 ? -1 : 0))
        abort();
    if (depth == 8 && !same(before, after))
        abort();
    if (depth != 8)
        check_applied(before, after, map_w, map_h);
}
