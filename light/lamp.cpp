/* Adding a lamp to a light map: its falloff and cone, its hard shadows, and the exact share of a
 * disc lamp in its penumbrae (penumbra.cpp). A point lamp lights the gaps between the runs of
 * shadow the set casts (lit_spans.cpp); a disc lamp, whose exact runs are taken out of its hard
 * shadows, reads them from a mask the set paints. */
#include "lamp_rows.h"
#include "light_map.h"

#include "set_casting.h"
#include "shrouder_set.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <cstring>
#include <new>

/* A falloff weight of full_weight is the lamp's whole colour. */
static const float full_weight = 65535.0f;
/* Shadows are cast from centres within this range (shrouder_set.h). */
static const int64_t cast_limit = int64_t(1) << 19;
static const double pi = 3.14159265358979323846;

static int clamp_level(int v) {
    return std::min(std::max(v, 0), 255);
}

using namespace lamp_rows;

static span covered(int64_t centre, int64_t radius, int64_t first, int64_t last) {
    return {std::max(centre - radius, first), std::min(centre + radius, last)};
}

int64_t lamp_rows::floor_sqrt(int64_t v) {
    int64_t h = int64_t(std::sqrt(double(v)));
    while (h * h > v)
        h--;
    while ((h + 1) * (h + 1) <= v)
        h++;
    return h;
}

static cone cone_of(const light_source &l) {
    cone k = {true, 1, 0, 0, 0, 1};
    if (!std::isfinite(l.direction) || !std::isfinite(l.half_angle) || !std::isfinite(l.edge) ||
        l.half_angle <= 0 || l.half_angle >= 180)
        return k;
    const double radians = std::fmod(l.direction, 360.0) * pi / 180;
    k.round = false;
    k.ax = std::cos(radians);
    k.ay = std::sin(radians);
    k.inner = l.half_angle;
    k.outer = l.half_angle + std::max(l.edge, 0.0);
    k.cos_inner = std::cos(l.half_angle * pi / 180);
    return k;
}

/* K at the offset (dx, dy) from the centre. */
static float cone_share(const cone &k, double dx, double dy) {
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
    if (lo > hi) {
        *first = *last + 1;
        return;
    }
    if (lo > -1e18)
        *first = std::max(*first, x + int64_t(std::floor(lo)) - 1);
    if (hi < 1e18)
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

/* a + b, at most 255: b is first cut to what a leaves, which vectorises to a byte minimum. */
static uint8_t add_saturated(uint8_t a, uint8_t b) {
    return uint8_t(a + std::min(b, uint8_t(~a)));
}

/* weight x colour / full_weight, rounded: the high half of weight x (2 x colour), halved. */
static uint8_t share(uint16_t weight, uint16_t twice_colour) {
    const uint16_t twice = uint16_t((weight * twice_colour) >> 16);
    return uint8_t((twice + 1u) >> 1);
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

/* Casts the set's shadows inside the lamp's box only, with the scratch's own working memory:
 * no global state (drawing mode, clip) is read or changed, and the rest of the mask is never
 * read. */
static void cast_shadows(lamp_scratch *s, const shrouder_set *set, const light_source &source,
                         int view_x, int view_y, const lamp &l) {
    BITMAP *shadow = s->shadow;
    const int x1 = int(l.columns.first), y1 = int(l.rows.first);
    const int x2 = int(l.columns.last), y2 = int(l.rows.last);
    for (int y = y1; y <= y2; y++)
        memset(shadow->line[y] + x1, l.black ^ 1, size_t(x2 - x1 + 1));
    if (set)
        cast_shrouder_set_with(s->cast, shadow, x1, y1, x2 + 1, y2 + 1, set, source.x, source.y,
                               view_x, view_y);
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
static void light_row_pair(light_map *map, const lamp &l, int64_t dy) {
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

/* Whether an exact run lies on the rows worked on: the runs cover the lamp's whole box. */
static bool in_rows(const exact_run &r, const lamp &l) {
    return r.row >= l.rows.first && r.row <= l.rows.last;
}

/* The runs where the share is worked out exactly are taken out of the mask first, so that the
 * hard path leaves them alone. */
static void mask_out_exact_runs(lamp_scratch *s, const lamp &l) {
    for (const exact_run &r : s->penumbra.runs)
        if (in_rows(r, l))
            memset(s->shadow->line[r.row] + r.x0, l.black, size_t(r.x1 - r.x0 + 1));
}

/* Adds the lamp to an exact run: full_weight x F x K x V at each pixel. */
static void light_exact_run(light_map *map, lamp_scratch *s, const lamp &l, const exact_run &r) {
    const int64_t dy = r.row - l.y;
    const int n = r.x1 - r.x0 + 1;
    fill_weights(l, s->weights, n, r.x0 - l.x, dy);
    seen_shares_of_row(&s->penumbra, r.x0 - l.x, dy, n, s->shares);
    if (!l.k.round)
        for (int i = 0; i < n; i++)
            s->shares[i] *= cone_share(l.k, double(r.x0 + i - l.x), double(dy));
    const size_t at = size_t(r.row) * size_t(map->w) + size_t(r.x0);
    for (int i = 0; i < n; i++)
        s->weights[i] = uint16_t(float(s->weights[i]) * s->shares[i] + 0.5f);
    uint8_t *planes[light_channels];
    for (int c = 0; c < light_channels; c++)
        planes[c] = map_plane(map, c) + at;
    for (int c = 0; c < light_channels; c++)
        for (int i = 0; i < n; i++)
            planes[c][i] = add_saturated(planes[c][i], share(s->weights[i], l.twice_colour[c]));
}

static void light_exact_runs(light_map *map, lamp_scratch *s, const lamp &l) {
    const int64_t r2 = l.radius * l.radius;
    for (exact_run r : s->penumbra.runs) {
        if (!in_rows(r, l))
            continue;
        /* Only the columns within reach and the cone: the runs may be padded past them. */
        const int64_t dy = r.row - l.y, half = floor_sqrt(r2 - std::min(r2, dy * dy));
        int64_t first = std::max<int64_t>(r.x0, l.x - half);
        int64_t last = std::min<int64_t>(r.x1, l.x + half);
        if (!l.k.round)
            cone_columns(l.k, l.x, dy, &first, &last);
        r.x0 = int(first);
        r.x1 = int(last);
        if (r.x0 <= r.x1)
            light_exact_run(map, s, l, r);
    }
}

/* Both sides of the lamp's row are taken together. */
void lamp_rows::row_distances(const lamp &l, int64_t *nearest, int64_t *farthest) {
    const int64_t above = l.y - l.rows.first, below = l.rows.last - l.y;
    *nearest = above >= 0 && below >= 0 ? 0 : std::min(std::abs(above), std::abs(below));
    *farthest = std::max(std::abs(above), std::abs(below));
}

/* Whether a lamp at this centre less the view is shadowed: the set casts nothing beyond. */
static bool castable(int64_t x, int64_t y) {
    return x >= -cast_limit && x <= cast_limit && y >= -cast_limit && y <= cast_limit;
}

void add_light_to_rows(light_map *map, lamp_scratch *s, const shrouder_set *set,
                       const light_source *light, int first, int last) {
    if (!map || !light || light->radius < 1)
        return;
    lamp l;
    l.x = int64_t(light->x) - map->view_x;
    l.y = int64_t(light->y) - map->view_y;
    l.radius = light->radius;
    l.columns = covered(l.x, l.radius, 0, map->w - 1);
    l.rows = covered(l.y, l.radius, std::max(first, 0), std::min(last, map->h - 1));
    if (l.columns.first > l.columns.last || l.rows.first > l.rows.last)
        return;
    const int level[light_channels] = {clamp_level(light->r), clamp_level(light->g),
                                       clamp_level(light->b)};
    for (int c = 0; c < light_channels; c++)
        l.twice_colour[c] = uint16_t(2 * level[c]);
    /* The palette decides which index is black at 8 bpp: ask at each lamp, as casting does. */
    l.black = uint8_t(makecol_depth(8, 0, 0, 0));
    l.smooth = light->falloff == FALLOFF_SMOOTH;
    l.k = cone_of(*light);
    l.s = s;
    const shrouder_set *shading = castable(l.x, l.y) ? set : NULL;
    l.soft = light->size > 0 && shading;
    if (!l.soft && light_lit_spans(map, shading, *light, l))
        return;
    cast_shadows(s, shading, *light, map->view_x, map->view_y, l);
    if (l.soft) {
        /* Where the share is worked out depends on the blockers of the lamp's whole box, not
         * only of the rows worked on: a pixel's level is then the same whichever rows a call
         * adds the lamp to. */
        const span box_rows = covered(l.y, l.radius, 0, map->h - 1);
        gather_blockers(&s->penumbra, shading, light->x, light->y, light->size,
                        l.columns.first + map->view_x, box_rows.first + map->view_y,
                        l.columns.last + map->view_x, box_rows.last + map->view_y);
        find_exact_runs(&s->penumbra, {l.x, l.y, l.radius, l.columns.first, box_rows.first,
                                       l.columns.last, box_rows.last});
        mask_out_exact_runs(s, l);
    }
    int64_t nearest, farthest;
    row_distances(l, &nearest, &farthest);
    for (int64_t dy = nearest; dy <= farthest; dy++)
        light_row_pair(map, l, dy);
    if (l.soft)
        light_exact_runs(map, s, l);
}

void add_light(light_map *map, const shrouder_set *set, const light_source *light) {
    if (map)
        add_light_to_rows(map, &map->scratch, set, light, 0, map->h - 1);
}

void add_point_light(light_map *map, const shrouder_set *set, int x, int y, int radius, int r,
                     int g, int b) {
    light_source light = {};
    light.x = x;
    light.y = y;
    light.radius = radius;
    light.r = r;
    light.g = g;
    light.b = b;
    add_light(map, set, &light);
}

bool create_lamp_scratch(lamp_scratch *s, int w, int h, BITMAP *shared_shadow) {
    s->weights = new (std::nothrow) uint16_t[size_t(w)];
    s->cone = new (std::nothrow) uint16_t[size_t(w)];
    s->shares = new (std::nothrow) float[size_t(w)];
    s->wanted = new (std::nothrow) coverage_run[size_t(std::min(h, int(coverage_max_rows)))];
    s->cast = create_cast_scratch();
    s->owns_shadow = !shared_shadow;
    s->shadow = shared_shadow ? shared_shadow : create_bitmap_ex(8, w, h);
    return s->weights && s->cone && s->shares && s->wanted && s->cast && s->shadow;
}

void destroy_lamp_scratch(lamp_scratch *s) {
    delete[] s->weights;
    delete[] s->cone;
    delete[] s->shares;
    delete[] s->wanted;
    destroy_cast_scratch(s->cast);
    if (s->shadow && s->owns_shadow)
        destroy_bitmap(s->shadow);
}
