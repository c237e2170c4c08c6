/* Adding a lamp to a light map: its falloff and cone, its hard shadows, and the exact share of a
 * disc lamp in its penumbrae (penumbra.cpp). A lamp lights the gaps between the runs of shadow
 * the set casts (lit_spans.cpp), or, when its rows are more than a cast holds, reads its hard
 * shadows from a mask the set paints; a disc lamp's exact runs are taken out of either. */
#include "lamp_rows.h"
#include "light_map.h"

#include "set_casting.h"
#include "shrouder_set.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <cstring>
#include <new>

/* Shadows are cast from centres within this range (shrouder_set.h). */
static const int64_t cast_limit = int64_t(1) << 19;

static int clamp_level(int v) {
    return std::min(std::max(v, 0), 255);
}

using namespace lamp_rows;

static span covered(int64_t centre, int64_t radius, int64_t first, int64_t last) {
    return {std::max(centre - radius, first), std::min(centre + radius, last)};
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

/* Whether an exact run lies on the rows worked on: the runs cover the lamp's whole box. */
static bool in_rows(const exact_run &r, const lamp &l) {
    return r.row >= l.rows.first && r.row <= l.rows.last;
}

/* The runs where the share is worked out exactly are taken out of the mask first, so that the
 * hard path leaves them alone. */
static void mask_out_exact_runs(lamp_scratch *s, const lamp &l) {
    for (const exact_run &r : exact_of(l).runs)
        if (in_rows(r, l))
            memset(s->shadow->line[r.row] + r.x0, l.black, size_t(r.x1 - r.x0 + 1));
}

/* The columns of the exact run that the lamp lights: the runs may be padded past its reach
 * and cone. False when it lights none of them. */
static bool lit_part(const lamp &l, const exact_run &r, int64_t *first, int64_t *last) {
    lit_columns(l, r.row - l.y, first, last);
    *first = std::max<int64_t>(*first, r.x0);
    *last = std::min<int64_t>(*last, r.x1);
    return *first <= *last;
}

/* Adds the lamp to the pixels x0 .. x1 of its exact run of that index with the share of its disc
 * each sees: full_weight x F x K x V. */
static void light_exact_run(light_map *map, const lamp &l, size_t run, int64_t x0, int64_t x1) {
    const int n = int(x1 - x0 + 1);
    const int64_t y = exact_of(l).runs[run].row;
    uint16_t *weights = l.s->weights;
    fill_weights(l, weights, n, x0 - l.x, y - l.y);
    const float *shares = shares_of_run(l, run, x0, y, n);
    for (int i = 0; i < n; i++)
        weights[i] = uint16_t(float(weights[i]) * shares[i] + 0.5f);
    light_span(map, l, y, x0, n, weights, NULL);
}

static void light_exact_runs(light_map *map, const lamp &l) {
    const std::vector<exact_run> &runs = exact_of(l).runs;
    for (size_t i = 0; i < runs.size(); i++) {
        int64_t first, last;
        if (in_rows(runs[i], l) && lit_part(l, runs[i], &first, &last))
            light_exact_run(map, l, i, first, last);
    }
}

/* Whether a lamp at this centre less the view is shadowed: the set casts nothing beyond. */
static bool castable(int64_t x, int64_t y) {
    return x >= -cast_limit && x <= cast_limit && y >= -cast_limit && y <= cast_limit;
}

/* The lamp as the map sees it, but its colour, falloff and cone; false when it adds nothing. */
static bool place_lamp(const light_map *map, const shrouder_set *set, const light_source *light,
                       int first, int last, lamp *l, const shrouder_set **shading) {
    if (!map || !light || light->radius < 1)
        return false;
    l->x = int64_t(light->x) - map->view_x;
    l->y = int64_t(light->y) - map->view_y;
    l->radius = light->radius;
    l->columns = covered(l->x, l->radius, 0, map->w - 1);
    l->rows = covered(l->y, l->radius, std::max(first, 0), std::min(last, map->h - 1));
    *shading = castable(l->x, l->y) ? set : NULL;
    l->soft = light->size > 0 && *shading;
    return l->columns.first <= l->columns.last && l->rows.first <= l->rows.last;
}

/* Gathers the blockers of a disc lamp and finds its exact runs. Where the share is worked out
 * depends on the blockers of the lamp's whole box, not only of the rows worked on: a pixel's
 * level is then the same whichever rows a call adds the lamp to. */
static void find_penumbrae(penumbra_scratch *p, const light_map *map, const shrouder_set *set,
                           const light_source *light, const lamp &l) {
    const span box_rows = covered(l.y, l.radius, 0, map->h - 1);
    gather_blockers(p, set, light->x, light->y, light->size, l.columns.first + map->view_x,
                    box_rows.first + map->view_y, l.columns.last + map->view_x,
                    box_rows.last + map->view_y);
    find_exact_runs(
        p, {l.x, l.y, l.radius, l.columns.first, box_rows.first, l.columns.last, box_rows.last});
}

void find_lamp_penumbrae(found_penumbrae *f, const light_map *map, const shrouder_set *set,
                         const light_source *light) {
    lamp l;
    const shrouder_set *shading;
    f->found = place_lamp(map, set, light, 0, map->h - 1, &l, &shading) && l.soft;
    if (f->found)
        find_penumbrae(&f->penumbra, map, shading, light, l);
}

bool work_out_shares(found_penumbrae *f, const light_map *map, const light_source *light) {
    lamp l;
    const shrouder_set *shading;
    if (!f->found || !place_lamp(map, NULL, light, 0, map->h - 1, &l, &shading))
        return false;
    l.k = cone_of(*light);
    const std::vector<exact_run> &runs = f->penumbra.runs;
    try {
        f->share_start.resize(runs.size());
        size_t total = 0;
        for (size_t i = 0; i < runs.size(); i++) {
            f->share_start[i] = total;
            total += size_t(runs[i].x1 - runs[i].x0 + 1);
        }
        f->shares.resize(total);
    } catch (const std::bad_alloc &) {
        f->found = false;
        return false;
    }
    for (size_t i = 0; i < runs.size(); i++) {
        int64_t first, last;
        if (lit_part(l, runs[i], &first, &last))
            seen_shares_of_row(&f->penumbra, first - l.x, runs[i].row - l.y, int(last - first + 1),
                               f->shares.data() + f->share_start[i] + (first - runs[i].x0));
    }
    return true;
}

void add_light_to_rows(light_map *map, lamp_scratch *s, const shrouder_set *set,
                       const light_source *light, int first, int last,
                       const found_penumbrae *found) {
    lamp l;
    const shrouder_set *shading;
    if (!place_lamp(map, set, light, first, last, &l, &shading))
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
    l.found = l.soft && found && found->found ? found : NULL;
    if (l.soft && !l.found)
        find_penumbrae(&s->penumbra, map, shading, light, l);
    if (light_lit_spans(map, shading, *light, l))
        return;
    cast_shadows(s, shading, *light, map->view_x, map->view_y, l);
    if (l.soft)
        mask_out_exact_runs(s, l);
    int64_t nearest, farthest;
    row_distances(l, &nearest, &farthest);
    for (int64_t dy = nearest; dy <= farthest; dy++)
        light_row_pair(map, l, dy);
    if (l.soft)
        light_exact_runs(map, l);
}

void add_light(light_map *map, const shrouder_set *set, const light_source *light) {
    if (map)
        add_light_to_rows(map, &map->scratch, set, light, 0, map->h - 1, NULL);
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
    s->row_weights = new (std::nothrow) uint16_t[size_t(w)];
    bool stretches = true;
    for (column_span *&each : s->stretches) {
        each = new (std::nothrow) column_span[size_t(w) / 2 + 1];
        stretches = stretches && each;
    }
    s->wanted = new (std::nothrow) coverage_run[size_t(std::min(h, int(coverage_max_rows)))];
    s->cast = create_cast_scratch();
    s->owns_shadow = !shared_shadow;
    s->shadow = shared_shadow ? shared_shadow : create_bitmap_ex(8, w, h);
    return s->weights && s->cone && s->shares && s->row_weights && stretches && s->wanted &&
           s->cast && s->shadow;
}

void destroy_lamp_scratch(lamp_scratch *s) {
    delete[] s->weights;
    delete[] s->cone;
    delete[] s->shares;
    delete[] s->row_weights;
    for (column_span *each : s->stretches)
        delete[] each;
    delete[] s->wanted;
    destroy_cast_scratch(s->cast);
    if (s->shadow && s->owns_shadow)
        destroy_bitmap(s->shadow);
}
