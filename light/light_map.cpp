#include "light_map.h"

#include "shrouder_set.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <cstring>
#include <new>
#include <stdint.h>

/* Shadows are drawn on bitmaps up to this side; a map (4 bytes a pixel) stays within 1 GiB. */
static const int max_side = 1 << 19;
static const int64_t max_pixels = int64_t(1) << 28;
static const int channels = 3;
/* A falloff weight of full_weight is the light's whole colour. */
static const float full_weight = 65535.0f;

struct light_map {
    int w, h;
    uint8_t *levels;   /* red, green and blue planes of w x h levels, one after the other */
    uint16_t *weights; /* falloff weights of a run of columns, reused by every row and light */
    BITMAP *shadow;    /* 8 bpp: the current light's shadows, cast inside its disc's box */
};

static uint8_t *plane(const light_map *map, int channel) {
    return map->levels + size_t(channel) * size_t(map->w) * size_t(map->h);
}

static int clamp_level(int v) {
    return std::min(std::max(v, 0), 255);
}

light_map *create_light_map(int w, int h) {
    if (w < 1 || h < 1 || w > max_side || h > max_side || int64_t(w) * h > max_pixels)
        return NULL;
    light_map *map = new (std::nothrow) light_map;
    if (!map)
        return NULL;
    map->w = w;
    map->h = h;
    map->levels = new (std::nothrow) uint8_t[size_t(channels) * size_t(w) * size_t(h)]();
    map->weights = new (std::nothrow) uint16_t[size_t(w)];
    map->shadow = create_bitmap_ex(8, w, h);
    if (!map->levels || !map->weights || !map->shadow) {
        destroy_light_map(map);
        return NULL;
    }
    return map;
}

void destroy_light_map(light_map *map) {
    if (!map)
        return;
    delete[] map->levels;
    delete[] map->weights;
    if (map->shadow)
        destroy_bitmap(map->shadow);
    delete map;
}

void clear_light_map(light_map *map, int r, int g, int b) {
    if (!map)
        return;
    const int level[channels] = {clamp_level(r), clamp_level(g), clamp_level(b)};
    for (int c = 0; c < channels; c++)
        memset(plane(map, c), level[c], size_t(map->w) * size_t(map->h));
}

namespace {

/* The inclusive range of pixels a light covers along one axis of the map, empty when first >
 * last. Computed in 64 bits: the light and its radius may be anywhere in int. */
struct span {
    int64_t first, last;
};

/* One light being added: where it is, the part of the map its disc's box covers, and what it
 * adds. */
struct light {
    int64_t x, y, radius;
    span columns, rows;
    uint16_t twice_colour[channels];
    uint8_t black;
};

} // namespace

static span covered(int64_t centre, int64_t radius, int size) {
    return {std::max<int64_t>(centre - radius, 0), std::min<int64_t>(centre + radius, size - 1)};
}

/* The largest h with h * h <= v, for 0 <= v < 2^62. */
static int64_t floor_sqrt(int64_t v) {
    int64_t h = int64_t(std::sqrt(double(v)));
    while (h * h > v)
        h--;
    while ((h + 1) * (h + 1) <= v)
        h++;
    return h;
}

/* Falloff weights of the n pixels from dx0 along a row dy from the light: full_weight x
 * (1 - d / radius). Every pixel lies within the disc, so the float stays in int's range. The
 * float's relative error is below 1e-6 of the radius whatever the distances. */
static void fill_weights(uint16_t *weights, int n, float dx0, float dy, float per_px) {
    const float dy2 = dy * dy;
    for (int i = 0; i < n; i++) {
        const float dx = dx0 + float(i);
        const int w = int(full_weight + 0.5f - std::sqrt(dx * dx + dy2) * per_px);
        weights[i] = uint16_t(w < 0 ? 0 : w);
    }
}

static void copy_reversed(uint16_t *__restrict to, const uint16_t *__restrict from, int n) {
    for (int i = 0; i < n; i++)
        to[i] = from[n - 1 - i];
}

/* The weights of the columns first + i, i < n, on the row dy from the light. Columns on both
 * sides of the light's own mirror each other: the longer side is computed, the other copied. */
static void fill_weight_row(uint16_t *weights, int64_t first, int n, int64_t x, int64_t dy,
                            float per_px) {
    const int64_t left = x - first, right = first + n - 1 - x; /* columns on each side of x */
    if (left <= 0 || right <= 0) {
        fill_weights(weights, n, float(first - x), float(dy), per_px);
        return;
    }
    uint16_t *const centre = weights + left;
    if (right >= left) {
        fill_weights(centre, int(right + 1), 0.0f, float(dy), per_px);
        copy_reversed(weights, centre + 1, int(left));
    } else {
        fill_weights(weights, int(left + 1), float(-left), float(dy), per_px);
        copy_reversed(centre + 1, centre - right, int(right));
    }
}

/* a + b, at most 255: b is first cut to what a leaves, which vectorises to a byte minimum. */
static uint8_t add_saturated(uint8_t a, uint8_t b) {
    return uint8_t(a + std::min(b, uint8_t(~a)));
}

/* weight x colour / full_weight, rounded: the high half of weight x (2 x colour), halved. */
static uint8_t share(uint16_t weight, uint16_t twice_colour) {
    const uint16_t twice = uint16_t((weight * twice_colour) >> 16);
    return uint8_t((twice + 1u) >> 1);
}

/* Adds the light to n pixels of one row, except those its shadow covers. */
static void light_row(uint8_t *__restrict r, uint8_t *__restrict g, uint8_t *__restrict b,
                      const uint16_t *__restrict weights, const uint8_t *__restrict shadow,
                      uint8_t black, int n, const uint16_t twice_colour[channels]) {
    const uint16_t cr = twice_colour[0], cg = twice_colour[1], cb = twice_colour[2];
    for (int i = 0; i < n; i++) {
        const uint16_t weight = weights[i] & uint16_t(-uint16_t(shadow[i] != black));
        r[i] = add_saturated(r[i], share(weight, cr));
        g[i] = add_saturated(g[i], share(weight, cg));
        b[i] = add_saturated(b[i], share(weight, cb));
    }
}

/* Casts the set's shadows inside the light's box only: the rest of the map is never read. */
static void cast_shadows(light_map *map, const shrouder_set *set, const light &l) {
    BITMAP *shadow = map->shadow;
    const int x1 = int(l.columns.first), y1 = int(l.rows.first);
    const int x2 = int(l.columns.last), y2 = int(l.rows.last);
    set_clip_rect(shadow, x1, y1, x2, y2);
    rectfill(shadow, x1, y1, x2, y2, l.black ^ 1);
    if (set)
        cast_shrouder_set(shadow, set, int(l.x), int(l.y));
}

/* Shadow rows are read a chunk of columns at a time: the falloff is computed over runs of
 * chunks with a lit pixel on either row of a pair, each row is lit over its own runs, and
 * chunks in shadow are skipped. Over a crowded level most of a disc is in shadow. */
static const int chunk = 32;

/* Whether one of n shadow pixels is lit. Eight pixels are compared at a time as one 64-bit
 * word against eight blacks: no reduction across vector lanes, which costs more than the
 * comparisons for so few pixels. */
static bool any_lit(const uint8_t *shadow, uint8_t black, int n) {
    const uint64_t blacks = UINT64_C(0x0101010101010101) * black;
    uint64_t differs = 0;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t eight;
        memcpy(&eight, shadow + i, sizeof eight);
        differs |= eight ^ blacks;
    }
    for (; i < n; i++)
        differs |= uint8_t(shadow[i] ^ black);
    return differs != 0;
}

/* The end (exclusive) of the chunk of columns from `from`, within the chord ending at last. */
static int64_t chunk_end(int64_t from, int64_t last) {
    return std::min(from + chunk, last + 1);
}

/* Whether a pixel of the chunk from `from` is lit on either row (NULL for a row off the box). */
static bool chunk_lit(const uint8_t *above, const uint8_t *below, uint8_t black, int64_t from,
                      int64_t last) {
    const int n = int(chunk_end(from, last) - from);
    return (above && any_lit(above + from, black, n)) || (below && any_lit(below + from, black, n));
}

/* Adds the light to n pixels of the map's row y from the column `first`. */
static void light_span(light_map *map, const light &l, int64_t y, int64_t first, int n,
                       const uint16_t *weights) {
    const size_t at = size_t(y) * size_t(map->w) + size_t(first);
    light_row(plane(map, 0) + at, plane(map, 1) + at, plane(map, 2) + at, weights,
              map->shadow->line[y] + first, l.black, n, l.twice_colour);
}

/* Adds the light to the runs of lit chunks of the map's row y among the columns [from, end),
 * whose weights start the map's weight row: the two rows of a pair are seldom lit in the same
 * places. */
static void light_lit_runs(light_map *map, const light &l, int64_t y, const uint8_t *shadow,
                           int64_t from, int64_t end) {
    for (int64_t start = from; start < end;) {
        int64_t stop = start;
        while (stop < end && any_lit(shadow + stop, l.black, int(chunk_end(stop, end - 1) - stop)))
            stop = chunk_end(stop, end - 1);
        if (stop > start)
            light_span(map, l, y, start, int(stop - start), map->weights + (start - from));
        start = chunk_end(stop, end - 1);
    }
}

/* The shadow row y of the map, or NULL when the light's box leaves it out. */
static const uint8_t *shadow_row(const light_map *map, const light &l, int64_t y) {
    return y >= l.rows.first && y <= l.rows.last ? map->shadow->line[y] : NULL;
}

/* Rows dy above and below the light share their falloff: both are lit from one computation. */
static void light_row_pair(light_map *map, const light &l, int64_t dy) {
    const int64_t half_chord = floor_sqrt(l.radius * l.radius - dy * dy);
    const int64_t first = std::max(l.columns.first, l.x - half_chord);
    const int64_t last = std::min(l.columns.last, l.x + half_chord);
    const uint8_t *above = shadow_row(map, l, l.y - dy);
    const uint8_t *below = dy != 0 ? shadow_row(map, l, l.y + dy) : NULL;
    const float per_px = full_weight / float(l.radius);
    for (int64_t from = first; from <= last;) {
        int64_t end = from;
        while (end <= last && chunk_lit(above, below, l.black, end, last))
            end = chunk_end(end, last);
        if (end == from) {
            from = chunk_end(from, last);
            continue;
        }
        const int n = int(end - from);
        fill_weight_row(map->weights, from, n, l.x, dy, per_px);
        if (above)
            light_lit_runs(map, l, l.y - dy, above, from, end);
        if (below)
            light_lit_runs(map, l, l.y + dy, below, from, end);
        from = end;
    }
}

void add_point_light(light_map *map, const shrouder_set *set, int x, int y, int radius, int r,
                     int g, int b) {
    if (!map || radius < 1)
        return;
    light l;
    l.x = x;
    l.y = y;
    l.radius = radius;
    l.columns = covered(x, radius, map->w);
    l.rows = covered(y, radius, map->h);
    if (l.columns.first > l.columns.last || l.rows.first > l.rows.last)
        return;
    const int level[channels] = {clamp_level(r), clamp_level(g), clamp_level(b)};
    for (int c = 0; c < channels; c++)
        l.twice_colour[c] = uint16_t(2 * level[c]);
    /* The palette decides which index is black at 8 bpp: ask at each light, as casting does. */
    l.black = uint8_t(makecol_depth(8, 0, 0, 0));
    cast_shadows(map, set, l);
    /* Distances from the light's row to the map's rows, both sides taken together. */
    const int64_t above = l.y - l.rows.first, below = l.rows.last - l.y;
    const int64_t nearest =
        above >= 0 && below >= 0 ? 0 : std::min(std::abs(above), std::abs(below));
    const int64_t farthest = std::max(std::abs(above), std::abs(below));
    for (int64_t dy = nearest; dy <= farthest; dy++)
        light_row_pair(map, l, dy);
}

/* c x level / 255 rounded to nearest: (t + t / 256) / 256 with t = c x level + 128, taken as
 * the high half of t x 257. Every step fits 16 bits, which lets the compiler work on eight
 * channels at a time with a multiply-high. */
static uint16_t scale(uint16_t c, uint8_t level) {
    const uint16_t t = uint16_t(c * level + 128);
    return uint16_t((uint32_t(t) * 257) >> 16);
}

namespace {

/* Where the channels sit in a packed pixel: their shifts, and the masks of their bits once
 * shifted down. */
struct packing {
    int rs, gs, bs;
    unsigned rm, gm, bm;
};

/* One of Allegro's usual packings, known when compiling: the row loop then keeps every channel
 * in 16-bit lanes, several times faster than with shifts read at run time. Allegro starts with
 * red in the low bits; a graphics driver may put it in the high bits. (32 bpp has its own.) */
template <int rs_, int gs_, int bs_, unsigned rm_, unsigned gm_, unsigned bm_>
struct usual_packing {
    static constexpr int rs = rs_, gs = gs_, bs = bs_;
    static constexpr unsigned rm = rm_, gm = gm_, bm = bm_;
    static bool matches(const packing &p) {
        return p.rs == rs && p.gs == gs && p.bs == bs && p.rm == rm && p.gm == gm && p.bm == bm;
    }
};
using red_low_15 = usual_packing<0, 5, 10, 31, 31, 31>;
using red_high_15 = usual_packing<10, 5, 0, 31, 31, 31>;
using red_low_16 = usual_packing<0, 5, 11, 31, 63, 31>;
using red_high_16 = usual_packing<11, 5, 0, 31, 63, 31>;

} // namespace

/* Scales the n packed pixels of a 15, 16 or 32 bpp row; bits outside the channels (the alpha
 * byte at 32 bpp) stay as they are. */
template <class pixel, class layout>
static void apply_packed_row(pixel *row, const uint8_t *__restrict r, const uint8_t *__restrict g,
                             const uint8_t *__restrict b, int n, const layout &p) {
    const unsigned others = ~((p.rm << p.rs) | (p.gm << p.gs) | (p.bm << p.bs));
    for (int i = 0; i < n; i++) {
        const unsigned v = row[i];
        const unsigned sr = scale(uint16_t((v >> p.rs) & p.rm), r[i]);
        const unsigned sg = scale(uint16_t((v >> p.gs) & p.gm), g[i]);
        const unsigned sb = scale(uint16_t((v >> p.bs) & p.bm), b[i]);
        row[i] = pixel((v & others) | (sr << p.rs) | (sg << p.gs) | (sb << p.bs));
    }
}

/* Scales the n three-byte pixels of a 24 bpp row, each channel a whole byte. */
static void apply_24_row(uint8_t *row, const uint8_t *__restrict r, const uint8_t *__restrict g,
                         const uint8_t *__restrict b, int n, const packing &p) {
    const int rb = p.rs / 8, gb = p.gs / 8, bb = p.bs / 8;
    for (int i = 0; i < n; i++) {
        uint8_t *v = row + 3 * i;
        v[rb] = uint8_t(scale(v[rb], r[i]));
        v[gb] = uint8_t(scale(v[gb], g[i]));
        v[bb] = uint8_t(scale(v[bb], b[i]));
    }
}

/* The channels' places at a colour depth, from Allegro's current pixel formats; false for a
 * depth without three packed channels. */
static bool packing_of_depth(int depth, packing *p) {
    switch (depth) {
    case 15:
        *p = {_rgb_r_shift_15, _rgb_g_shift_15, _rgb_b_shift_15, 31, 31, 31};
        return true;
    case 16:
        *p = {_rgb_r_shift_16, _rgb_g_shift_16, _rgb_b_shift_16, 31, 63, 31};
        return true;
    case 24:
        *p = {_rgb_r_shift_24, _rgb_g_shift_24, _rgb_b_shift_24, 255, 255, 255};
        return true;
    case 32:
        *p = {_rgb_r_shift_32, _rgb_g_shift_32, _rgb_b_shift_32, 255, 255, 255};
        return true;
    default:
        return false;
    }
}

/* Where a row of the map's levels starts, for one channel. */
static const uint8_t *levels_row(const light_map *map, int channel, int y) {
    return plane(map, channel) + size_t(y) * size_t(map->w);
}

static uint8_t *bitmap_row(BITMAP *bmp, int y) {
    return reinterpret_cast<uint8_t *>(bmp_write_line(bmp, y));
}

/* Applies the map to rows of packed pixels, through a loop compiled for the packing when it
 * is one of the two usual ones. */
template <class pixel, class red_low, class red_high>
static void apply_packed(BITMAP *bmp, const light_map *map, int w, int h, const packing &p) {
    const bool low = red_low::matches(p), high = red_high::matches(p);
    for (int y = 0; y < h; y++) {
        pixel *row = reinterpret_cast<pixel *>(bitmap_row(bmp, y));
        const uint8_t *r = levels_row(map, 0, y), *g = levels_row(map, 1, y);
        const uint8_t *b = levels_row(map, 2, y);
        if (low)
            apply_packed_row(row, r, g, b, w, red_low());
        else if (high)
            apply_packed_row(row, r, g, b, w, red_high());
        else
            apply_packed_row(row, r, g, b, w, p);
    }
}

/* Scales a 32 bpp row whose channels fill the low three bytes of each pixel, green in the
 * middle, as 16-bit halves: the low half holds the channel `low` and green, the high half the
 * channel `high` and the alpha byte, which stays. Without 32-bit lanes the compiler's code runs
 * about 1.7 times faster. */
static void apply_32_halves_row(uint16_t *row, const uint8_t *__restrict low,
                                const uint8_t *__restrict g, const uint8_t *__restrict high,
                                int n) {
    for (int i = 0; i < n; i++) {
        const uint16_t lo = row[2 * i], hi = row[2 * i + 1];
        row[2 * i] =
            uint16_t(scale(uint16_t(lo & 255), low[i]) | scale(uint16_t(lo >> 8), g[i]) << 8);
        row[2 * i + 1] = uint16_t(scale(uint16_t(hi & 255), high[i]) | (hi & 0xff00));
    }
}

/* Whether a 32 bpp packing suits apply_32_halves_row: green in the second byte, red and blue in
 * the first and third, on a processor that keeps the low half of a word first. */
static bool fits_halves(const packing &p) {
    const bool little_endian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    return little_endian && p.gs == 8 && ((p.rs == 0 && p.bs == 16) || (p.rs == 16 && p.bs == 0));
}

static void apply_32(BITMAP *bmp, const light_map *map, int w, int h, const packing &p) {
    const bool halves = fits_halves(p), red_low = p.rs == 0;
    for (int y = 0; y < h; y++) {
        uint8_t *row = bitmap_row(bmp, y);
        const uint8_t *r = levels_row(map, 0, y), *g = levels_row(map, 1, y);
        const uint8_t *b = levels_row(map, 2, y);
        if (halves)
            apply_32_halves_row(reinterpret_cast<uint16_t *>(row), red_low ? r : b, g,
                                red_low ? b : r, w);
        else
            apply_packed_row(reinterpret_cast<uint32_t *>(row), r, g, b, w, p);
    }
}

static void apply_24(BITMAP *bmp, const light_map *map, int w, int h, const packing &p) {
    for (int y = 0; y < h; y++)
        apply_24_row(bitmap_row(bmp, y), levels_row(map, 0, y), levels_row(map, 1, y),
                     levels_row(map, 2, y), w, p);
}

int apply_light_map(BITMAP *bmp, const light_map *map) {
    packing p;
    if (!bmp || !map || !is_linear_bitmap(bmp) || !packing_of_depth(bitmap_color_depth(bmp), &p))
        return -1;
    const int w = std::min(bmp->w, map->w), h = std::min(bmp->h, map->h);
    acquire_bitmap(bmp);
    switch (bitmap_color_depth(bmp)) {
    case 15:
        apply_packed<uint16_t, red_low_15, red_high_15>(bmp, map, w, h, p);
        break;
    case 16:
        apply_packed<uint16_t, red_low_16, red_high_16>(bmp, map, w, h, p);
        break;
    case 24:
        apply_24(bmp, map, w, h, p);
        break;
    default:
        apply_32(bmp, map, w, h, p);
    }
    bmp_unwrite_line(bmp);
    release_bitmap(bmp);
    return 0;
}
