/* Applying a light map: each channel of each pixel of a bitmap multiplied by the map's level,
 * at 15, 16, 24 and 32 bpp, through loops the compiler vectorises. */
#include "light_map.h"
#include "map_parts.h"
#include "worker_pool.h"

#include <algorithm>
#include <allegro.h>
#include <stdint.h>

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
    return map_plane(map, channel) + size_t(y) * size_t(map->w);
}

static uint8_t *bitmap_row(BITMAP *bmp, int y) {
    return reinterpret_cast<uint8_t *>(bmp_write_line(bmp, y));
}

/* Applies the map to rows of packed pixels, through a loop compiled for the packing when it
 * is one of the two usual ones. */
template <class pixel, class red_low, class red_high>
static void apply_packed(BITMAP *bmp, const light_map *map, int w, int top, int end,
                         const packing &p) {
    const bool low = red_low::matches(p), high = red_high::matches(p);
    for (int y = top; y < end; y++) {
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

static void apply_32(BITMAP *bmp, const light_map *map, int w, int top, int end, const packing &p) {
    const bool halves = fits_halves(p), red_low = p.rs == 0;
    for (int y = top; y < end; y++) {
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

static void apply_24(BITMAP *bmp, const light_map *map, int w, int top, int end, const packing &p) {
    for (int y = top; y < end; y++)
        apply_24_row(bitmap_row(bmp, y), levels_row(map, 0, y), levels_row(map, 1, y),
                     levels_row(map, 2, y), w, p);
}

namespace {
/* The map applied to the bitmap's rows, w pixels of each, in `parts` bands of the h rows. */
struct apply_job {
    BITMAP *bmp;
    const light_map *map;
    packing p;
    int w, h, parts;
};
} // namespace

static void apply_rows(const apply_job &job, int top, int end) {
    switch (bitmap_color_depth(job.bmp)) {
    case 15:
        apply_packed<uint16_t, red_low_15, red_high_15>(job.bmp, job.map, job.w, top, end, job.p);
        break;
    case 16:
        apply_packed<uint16_t, red_low_16, red_high_16>(job.bmp, job.map, job.w, top, end, job.p);
        break;
    case 24:
        apply_24(job.bmp, job.map, job.w, top, end, job.p);
        break;
    default:
        apply_32(job.bmp, job.map, job.w, top, end, job.p);
    }
}

/* One of the map's threads applies its band of rows; threads past the bands have none. */
static void apply_band(void *context, int part) {
    const apply_job &job = *static_cast<const apply_job *>(context);
    if (part < job.parts)
        apply_rows(job, job.h * part / job.parts, job.h * (part + 1) / job.parts);
}

/* Below this many rows a band's start costs more than it saves. */
static const int rows_worth_a_thread = 64;

int apply_light_map(BITMAP *bmp, const light_map *map) {
    packing p;
    if (!bmp || !map || !is_linear_bitmap(bmp) || !packing_of_depth(bitmap_color_depth(bmp), &p))
        return -1;
    apply_job job = {bmp, map, p, std::min(bmp->w, map->w), std::min(bmp->h, map->h), 1};
    /* A memory bitmap's rows are plain memory: the map's threads, once add_lights has started
     * them, apply a band each (unless another apply of the map holds them). Other bitmaps are
     * reached through Allegro's line switching, on the calling thread. */
    if (is_memory_bitmap(bmp) && map->pool && job.h >= 2 * rows_worth_a_thread) {
        job.parts = std::min(worker_threads(map->pool), job.h / rows_worth_a_thread);
        if (try_run_on_workers(map->pool, apply_band, &job))
            return 0;
        job.parts = 1;
    }
    acquire_bitmap(bmp);
    apply_rows(job, 0, job.h);
    bmp_unwrite_line(bmp);
    release_bitmap(bmp);
    return 0;
}
