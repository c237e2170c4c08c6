/* The row work a lamp's two ways of taking its hard shadows share (lamp_rows.h): falloff weights,
 * the cone, and lighting a row's pixels, from the gaps between runs of shadow or from a mask. */
#include "lamp_rows.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <cstring>

using namespace lamp_rows;

int64_t lamp_rows::floor_sqrt(int64_t v) {
    int64_t h = int64_t(std::sqrt(double(v)));
    while (h * h > v)
        h--;
    while ((h + 1) * (h + 1) <= v)
        h++;
    return h;
}

/* K at the offset (dx, dy) from the centre. */
float lamp_rows::cone_share(const cone &k, double dx, double dy) {
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0)
        return 1;
    const double cosine = (dx * k.ax + dy * k.ay) / length;
    if (cosine >= k.cos_inner)
        return 1;
    const double angle = std::atan2(std::fabs(dx * k.ay - dy * k.ax), dx * k.ax + dy * k.ay);
    const double degrees = angle * 180 / pi;
    if (degrees >= k.outer)
        return 0;
    if (degrees <= k.inner)
        return 1;
    return float((k.outer - degrees) / (k.outer - k.inner));
}

/* The cone's two sides' half-planes when it is narrower than a half-plane, else the whole row. */
void lamp_rows::cone_columns(const cone &k, int64_t x, int64_t dy, int64_t *first, int64_t *last) {
    if (k.round || k.outer >= 90)
        return;
    double lo = -HUGE_VAL, hi = HUGE_VAL;
    const double r = k.outer * pi / 180;
    for (int side = -1; side <= 1; side += 2) {
        /* The side's ray, and the half-plane on its inner side: side x cross(ray, v) >= 0. */
        const double rx = k.ax * std::cos(r) - side * k.ay * std::sin(r);
        const double ry = k.ay * std::cos(r) + side * k.ax * std::sin(r);
        /* side x (rx dy - ry dx) <= 0 keeps the axis in: a dx + b <= 0, a bound on dx. */
        const double a = -side * ry, b = side * rx * double(dy);
        if (a > 0)
            hi = std::min(hi, -b / a);
        else if (a < 0)
            lo = std::max(lo, -b / a);
        else if (b > 0)
            lo = HUGE_VAL;
    }
    /* The bounds may lie anywhere, infinities included: only those within the columns asked
     * about are turned into columns. */
    const double from = double(*first - x), to = double(*last - x);
    if (lo > hi || lo > to + 2 || hi < from - 2) {
        *first = *last + 1;
        return;
    }
    if (lo > from)
        *first = std::max(*first, x + int64_t(std::floor(lo)) - 1);
    if (hi < to)
        *last = std::min(*last, x + int64_t(std::ceil(hi)) + 1);
}

/* Falloff weights of the n pixels from dx0 along a row dy from the lamp, full_weight x F.
 * Every pixel lies within the disc, so the float stays in int's range; its relative error is
 * below 1e-6 of the radius whatever the distances. */
static void fill_linear(uint16_t *weights, int n, float dx0, float dy, float per_px) {
    const float dy2 = dy * dy;
    for (int i = 0; i < n; i++) {
        const float dx = dx0 + float(i);
        const int w = int(full_weight + 0.5f - std::sqrt(dx * dx + dy2) * per_px);
        weights[i] = uint16_t(w < 0 ? 0 : w);
    }
}

static void fill_smooth(uint16_t *weights, int n, float dx0, float dy, float per_r2) {
    const float dy2 = dy * dy;
    for (int i = 0; i < n; i++) {
        const float dx = dx0 + float(i);
        const float f = std::max(0.0f, 1.0f - (dx * dx + dy2) * per_r2);
        weights[i] = uint16_t(int(full_weight * f * f + 0.5f));
    }
}

void lamp_rows::fill_weights(const lamp &l, uint16_t *weights, int n, int64_t dx0, int64_t dy) {
    const float r = float(l.radius);
    if (l.smooth)
        fill_smooth(weights, n, float(dx0), float(dy), 1.0f / (r * r));
    else
        fill_linear(weights, n, float(dx0), float(dy), full_weight / r);
}

static void copy_reversed(uint16_t *__restrict to, const uint16_t *__restrict from, int n) {
    for (int i = 0; i < n; i++)
        to[i] = from[n - 1 - i];
}

/* Columns on both sides of the lamp's own mirror each other: the longer side is computed, the
 * other copied. */
void lamp_rows::fill_weight_row(const lamp &l, uint16_t *weights, int64_t first, int n,
                                int64_t dy) {
    const int64_t left = l.x - first, right = first + n - 1 - l.x; /* columns on each side */
    if (left <= 0 || right <= 0) {
        fill_weights(l, weights, n, first - l.x, dy);
        return;
    }
    uint16_t *const centre = weights + left;
    if (right >= left) {
        fill_weights(l, centre, int(right + 1), 0, dy);
        copy_reversed(weights, centre + 1, int(left));
    } else {
        fill_weights(l, weights, int(left + 1), -left, dy);
        copy_reversed(centre + 1, centre - right, int(right));
    }
}

/* Adds the lamp to n pixels of one row, except those its shadow covers. */
static void light_masked_row(uint8_t *__restrict r, uint8_t *__restrict g, uint8_t *__restrict b,
                             const uint16_t *__restrict weights, const uint8_t *__restrict shadow,
                             uint8_t black, int n, const uint16_t twice_colour[light_channels]) {
    const uint16_t cr = twice_colour[0], cg = twice_colour[1], cb = twice_colour[2];
    for (int i = 0; i < n; i++) {
        const uint16_t weight = weights[i] & uint16_t(-uint16_t(shadow[i] != black));
        r[i] = add_saturated(r[i], share(weight, cr));
        g[i] = add_saturated(g[i], share(weight, cg));
        b[i] = add_saturated(b[i], share(weight, cb));
    }
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

/* Adds the lamp to n pixels of one row. */
static void light_row(uint8_t *__restrict r, uint8_t *__restrict g, uint8_t *__restrict b,
                      const uint16_t *__restrict weights, int n,
                      const uint16_t twice_colour[light_channels]) {
    const uint16_t cr = twice_colour[0], cg = twice_colour[1], cb = twice_colour[2];
    for (int i = 0; i < n; i++) {
        r[i] = add_saturated(r[i], share(weights[i], cr));
        g[i] = add_saturated(g[i], share(weights[i], cg));
        b[i] = add_saturated(b[i], share(weights[i], cb));
    }
}

/* The cone cuts the weights down on its own columns of the row. */
void lamp_rows::light_span(light_map *map, const lamp &l, int64_t y, int64_t first, int n,
                           const uint16_t *weights, const uint8_t *shadow) {
    if (!l.k.round) {
        int64_t from = first, to = first + n - 1;
        cone_columns(l.k, l.x, y - l.y, &from, &to);
        if (from > to)
            return;
        if (shadow)
            shadow += from - first;
        uint16_t *cut = l.s->cone;
        for (int64_t x = from; x <= to; x++)
            cut[x - from] = uint16_t(float(weights[x - first]) *
                                         cone_share(l.k, double(x - l.x), double(y - l.y)) +
                                     0.5f);
        weights = cut;
        first = from;
        n = int(to - from + 1);
    }
    const size_t at = size_t(y) * size_t(map->w) + size_t(first);
    uint8_t *r = map_plane(map, 0) + at, *g = map_plane(map, 1) + at, *b = map_plane(map, 2) + at;
    if (shadow)
        light_masked_row(r, g, b, weights, shadow, l.black, n, l.twice_colour);
    else
        light_row(r, g, b, weights, n, l.twice_colour);
}

/* Lit chunks are taken row by row: the two rows of a pair are seldom lit in the same places. */
void lamp_rows::light_lit_runs(light_map *map, const lamp &l, int64_t y, const uint8_t *shadow,
                               int64_t from, int64_t end) {
    for (int64_t start = from; start < end;) {
        int64_t stop = start;
        while (stop < end && any_lit(shadow + stop, l.black, int(chunk_end(stop, end - 1) - stop)))
            stop = chunk_end(stop, end - 1);
        if (stop > start)
            light_span(map, l, y, start, int(stop - start), l.s->weights + (start - from),
                       shadow + start);
        start = chunk_end(stop, end - 1);
    }
}

/* The shadow row y of the mask, or NULL when the lamp's rows leave it out. */
static const uint8_t *shadow_row(const lamp &l, int64_t y) {
    return y >= l.rows.first && y <= l.rows.last ? l.s->shadow->line[y] : NULL;
}

/* The columns of the rows dy above and below the lamp that its cone can light, within [*first,
 * *last]. */
static void cone_cut(const lamp &l, int64_t dy, int64_t *first, int64_t *last) {
    int64_t a_first = *first, a_last = *last, b_first = *first, b_last = *last;
    cone_columns(l.k, l.x, -dy, &a_first, &a_last);
    cone_columns(l.k, l.x, dy, &b_first, &b_last);
    const bool a = a_first <= a_last && shadow_row(l, l.y - dy);
    const bool b = b_first <= b_last && dy != 0 && shadow_row(l, l.y + dy);
    if (!a && !b) {
        *first = *last + 1;
        return;
    }
    *first = std::min(a ? a_first : b_first, b ? b_first : a_first);
    *last = std::max(a ? a_last : b_last, b ? b_last : a_last);
}

/* Rows dy above and below the lamp share their falloff: both are lit from one computation. */
void lamp_rows::light_row_pair(light_map *map, const lamp &l, int64_t dy) {
    const int64_t half_chord = floor_sqrt(l.radius * l.radius - dy * dy);
    int64_t first = std::max(l.columns.first, l.x - half_chord);
    int64_t last = std::min(l.columns.last, l.x + half_chord);
    if (!l.k.round)
        cone_cut(l, dy, &first, &last);
    const uint8_t *above = shadow_row(l, l.y - dy);
    const uint8_t *below = dy != 0 ? shadow_row(l, l.y + dy) : NULL;
    for (int64_t from = first; from <= last;) {
        int64_t end = from;
        while (end <= last && chunk_lit(above, below, l.black, end, last))
            end = chunk_end(end, last);
        if (end == from) {
            from = chunk_end(from, last);
            continue;
        }
        const int n = int(end - from);
        fill_weight_row(l, l.s->weights, from, n, dy);
        if (above)
            light_lit_runs(map, l, l.y - dy, above, from, end);
        if (below)
            light_lit_runs(map, l, l.y + dy, below, from, end);
        from = end;
    }
}

void lamp_rows::lit_columns(const lamp &l, int64_t dy, int64_t *first, int64_t *last) {
    const int64_t half_chord =
        floor_sqrt(l.radius * l.radius - std::min(l.radius * l.radius, dy * dy));
    *first = std::max(l.columns.first, l.x - half_chord);
    *last = std::min(l.columns.last, l.x + half_chord);
    if (!l.k.round)
        cone_columns(l.k, l.x, dy, first, last);
}

const float *lamp_rows::shares_of_run(const lamp &l, size_t run, int64_t x0, int64_t y, int n) {
    if (l.found) {
        const size_t from = l.found->share_start[run];
        return l.found->shares.data() + from + (x0 - l.found->penumbra.runs[run].x0);
    }
    seen_shares_of_row(&l.s->penumbra, x0 - l.x, y - l.y, n, l.s->shares);
    return l.s->shares;
}

/* Both sides of the lamp's row are taken together. */
void lamp_rows::row_distances(const lamp &l, int64_t *nearest, int64_t *farthest) {
    const int64_t above = l.y - l.rows.first, below = l.rows.last - l.y;
    *nearest = above >= 0 && below >= 0 ? 0 : std::min(std::abs(above), std::abs(below));
    *farthest = std::max(std::abs(above), std::abs(below));
}
