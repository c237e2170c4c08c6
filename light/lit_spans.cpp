/* A point lamp's hard shadows as the set casts them, runs of shadow row by row, and the gaps
 * between them lit directly: no mask is painted and read again, and the falloff is worked out
 * only where a pixel of a pair of rows is lit. */
#include "lamp_rows.h"
#include "light_map.h"
#include "set_casting.h"

#include <algorithm>
#include <allegro.h>

using namespace lamp_rows;

/* A row's lit stretches: at most one more than the runs of shadow a cast keeps. */
static const int most_lit = coverage_max_runs + 1;

/* The gaps of [first, last] between a row's runs of shadow, in order; returns their count. */
static int lit_gaps(const coverage_run *runs, int count, int64_t first, int64_t last, span *lit) {
    int n = 0;
    int64_t from = first;
    for (int i = 0; i < count && runs[i].lo <= last; i++) {
        if (runs[i].lo > from)
            lit[n++] = span{from, runs[i].lo - 1};
        from = std::max<int64_t>(from, runs[i].hi + 1);
    }
    if (from <= last)
        lit[n++] = span{from, last};
    return n;
}

/* The stretches of either of two rows' lit stretches, in order, touching ones joined. */
static int unite(const span *a, int na, const span *b, int nb, span *out) {
    int n = 0;
    for (int i = 0, j = 0; i < na || j < nb;) {
        const span next = j >= nb || (i < na && a[i].first <= b[j].first) ? a[i++] : b[j++];
        if (n > 0 && next.first <= out[n - 1].last + 1)
            out[n - 1].last = std::max(out[n - 1].last, next.last);
        else
            out[n++] = next;
    }
    return n;
}

/* The lit stretches of row y among the columns it wants; none when the row is not worked on,
 * or when the cast painted it on the mask, from which it is then lit at once. */
static int row_lit(light_map *map, const lamp &l, int64_t y, int64_t dy, span *lit) {
    if (y < l.rows.first || y > l.rows.last)
        return 0;
    const coverage_run &wanted = l.s->wanted[y - l.rows.first];
    if (wanted.lo > wanted.hi)
        return 0;
    int count;
    const coverage_run *runs = cast_row_runs(l.s->cast, int(y), &count);
    if (runs)
        return lit_gaps(runs, count, wanted.lo, wanted.hi, lit);
    fill_weight_row(l, l.s->weights, wanted.lo, wanted.hi - wanted.lo + 1, dy);
    light_lit_runs(map, l, y, l.s->shadow->line[y], wanted.lo, wanted.hi + 1);
    return 0;
}

/* The weights of the column x are at the scratch's weights[x - from]. */
static void light_stretches(light_map *map, const lamp &l, int64_t y, const span *lit, int n,
                            int64_t from) {
    for (int i = 0; i < n; i++)
        light_span(map, l, y, lit[i].first, int(lit[i].last - lit[i].first + 1),
                   l.s->weights + (lit[i].first - from), NULL);
}

/* Rows dy above and below the lamp share their falloff, worked out where either is lit. */
static void light_pair(light_map *map, const lamp &l, int64_t dy) {
    span above[most_lit], below[most_lit], both[2 * most_lit];
    const int na = row_lit(map, l, l.y - dy, dy, above);
    const int nb = dy != 0 ? row_lit(map, l, l.y + dy, dy, below) : 0;
    const int n = unite(above, na, below, nb, both);
    const int64_t from = l.columns.first;
    for (int i = 0; i < n; i++)
        fill_weights(l, l.s->weights + (both[i].first - from),
                     int(both[i].last - both[i].first + 1), both[i].first - l.x, dy);
    light_stretches(map, l, l.y - dy, above, na, from);
    light_stretches(map, l, l.y + dy, below, nb, from);
}

/* The columns of each row worked on that the lamp can light: its chord, cut by its cone. */
static void wanted_columns(const lamp &l, coverage_run *wanted) {
    for (int64_t y = l.rows.first; y <= l.rows.last; y++) {
        const int64_t dy = y - l.y, half_chord = floor_sqrt(l.radius * l.radius - dy * dy);
        int64_t first = std::max(l.columns.first, l.x - half_chord);
        int64_t last = std::min(l.columns.last, l.x + half_chord);
        if (!l.k.round)
            cone_columns(l.k, l.x, dy, &first, &last);
        wanted[y - l.rows.first] =
            first <= last ? coverage_run{int(first), int(last)} : coverage_run{1, 0};
    }
}

bool lamp_rows::light_lit_spans(light_map *map, const shrouder_set *set, const light_source &source,
                                const lamp &l) {
    if (l.rows.last - l.rows.first >= coverage_max_rows)
        return false;
    wanted_columns(l, l.s->wanted);
    const int background = l.black ^ 1;
    if (!cast_shrouder_set_runs(l.s->cast, l.s->shadow, background, l.s->wanted,
                                int(l.columns.first), int(l.rows.first), int(l.columns.last) + 1,
                                int(l.rows.last) + 1, set, source.x, source.y, map->view_x,
                                map->view_y))
        return false;
    int64_t nearest, farthest;
    row_distances(l, &nearest, &farthest);
    for (int64_t dy = nearest; dy <= farthest; dy++)
        light_pair(map, l, dy);
    return true;
}
