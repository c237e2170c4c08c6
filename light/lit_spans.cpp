/* A lamp's hard shadows as the set casts them, runs of shadow row by row, and the gaps between
 * them lit directly: no mask is painted and read again, and the falloff is worked out only where
 * a pixel of a pair of rows is lit. A disc lamp's exact runs are taken out of the gaps and lit
 * with the share of the disc each pixel sees. */
#include "lamp_rows.h"
#include "light_map.h"
#include "set_casting.h"

#include <algorithm>
#include <allegro.h>
#include <cstring>

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

/* The columns of row y the lamp can light, or NULL for a row not worked on. */
static const coverage_run *wanted_of_row(const lamp &l, int64_t y) {
    if (y < l.rows.first || y > l.rows.last)
        return NULL;
    const coverage_run *wanted = &l.s->wanted[y - l.rows.first];
    return wanted->lo <= wanted->hi ? wanted : NULL;
}

/* The exact runs of row y of a disc lamp, in column order: *first up to *end (none for a point
 * lamp or a row off the lamp's box). */
static void exact_runs_of_row(const lamp &l, int64_t y, const exact_run **first,
                              const exact_run **end) {
    const penumbra_scratch &p = exact_of(l);
    const int64_t row = y - p.top;
    if (!l.soft || row < 0 || row + 1 >= int64_t(p.row_start.size())) {
        *first = *end = NULL;
        return;
    }
    *first = p.runs.data() + p.row_start[size_t(row)];
    *end = p.runs.data() + p.row_start[size_t(row) + 1];
}

/* Row y's exact run *e within the columns it wants; false when none of it is. */
static bool wanted_part(const coverage_run &wanted, const exact_run &e, span *part) {
    part->first = std::max<int64_t>(e.x0, wanted.lo);
    part->last = std::min<int64_t>(e.x1, wanted.hi);
    return part->first <= part->last;
}

/* The exact runs of row y are blackened on its painted mask row, left to their share. */
static void mask_out_exact(const lamp &l, int64_t y, const coverage_run &wanted) {
    const exact_run *e, *end;
    exact_runs_of_row(l, y, &e, &end);
    span part;
    for (; e < end; e++)
        if (wanted_part(wanted, *e, &part))
            memset(l.s->shadow->line[y] + part.first, l.black, size_t(part.last - part.first + 1));
}

/* The lit stretches of row y among the columns it wants; none when the row is not worked on,
 * or when the cast painted it on the mask, from which it is then lit at once. */
static int row_lit(light_map *map, const lamp &l, int64_t y, int64_t dy, span *lit) {
    const coverage_run *wanted = wanted_of_row(l, y);
    if (!wanted)
        return 0;
    int count;
    const coverage_run *runs = cast_row_runs(l.s->cast, int(y), &count);
    if (runs)
        return lit_gaps(runs, count, wanted->lo, wanted->hi, lit);
    mask_out_exact(l, y, *wanted);
    fill_weight_row(l, l.s->weights, wanted->lo, wanted->hi - wanted->lo + 1, dy);
    light_lit_runs(map, l, y, l.s->shadow->line[y], wanted->lo, wanted->hi + 1);
    return 0;
}

/* Row y's stretches to light: its n lit gaps and its exact runs within the columns it wants, in
 * order, touching ones joined. */
static int row_stretches(const lamp &l, int64_t y, const span *lit, int n, span *out) {
    const coverage_run *wanted = wanted_of_row(l, y);
    const exact_run *e = NULL, *end = NULL;
    if (wanted)
        exact_runs_of_row(l, y, &e, &end);
    int count = 0;
    for (int i = 0; i < n || e < end;) {
        span next;
        if (e < end && (i >= n || e->x0 < lit[i].first)) {
            if (!wanted_part(*wanted, *e++, &next))
                continue;
        } else {
            next = lit[i++];
        }
        if (count > 0 && next.first <= out[count - 1].last + 1)
            out[count - 1].last = std::max(out[count - 1].last, next.last);
        else
            out[count++] = next;
    }
    return count;
}

/* Cuts the weights of the stretch from `first` down by the share of the disc each pixel of its
 * exact runs sees, from e on, passing those that end before it. */
static void cut_by_shares(const lamp &l, int64_t y, const span &stretch, uint16_t *weights,
                          const exact_run **e, const exact_run *end) {
    const coverage_run &wanted = *wanted_of_row(l, y);
    const exact_run *runs = exact_of(l).runs.data();
    for (; *e < end && (*e)->x0 <= stretch.last; ++*e) {
        span part;
        if (!wanted_part(wanted, **e, &part))
            continue;
        const int n = int(part.last - part.first + 1);
        const float *shares = shares_of_run(l, size_t(*e - runs), part.first, y, n);
        uint16_t *w = weights + (part.first - stretch.first);
        for (int i = 0; i < n; i++)
            w[i] = uint16_t(float(w[i]) * shares[i] + 0.5f);
    }
}

/* Lights row y's stretches; the weights of the column x are at the scratch's weights[x - from].
 * A stretch holding exact runs is lit from a copy of its weights cut down by their shares. */
static void light_stretches(light_map *map, const lamp &l, int64_t y, const span *stretches, int n,
                            int64_t from) {
    const exact_run *e, *end;
    exact_runs_of_row(l, y, &e, &end);
    for (int i = 0; i < n; i++) {
        const span &st = stretches[i];
        const int count = int(st.last - st.first + 1);
        const uint16_t *weights = l.s->weights + (st.first - from);
        if (e < end && e->x0 <= st.last) {
            std::copy(weights, weights + count, l.s->row_weights);
            cut_by_shares(l, y, st, l.s->row_weights, &e, end);
            weights = l.s->row_weights;
        }
        light_span(map, l, y, st.first, count, weights, NULL);
    }
}

/* Rows dy above and below the lamp share their falloff, worked out where either is lit. */
static void light_pair(light_map *map, const lamp &l, int64_t dy) {
    span gaps[most_lit];
    span *above = l.s->stretches[0], *below = l.s->stretches[1], *both = l.s->stretches[2];
    const int na = row_stretches(l, l.y - dy, gaps, row_lit(map, l, l.y - dy, dy, gaps), above);
    const int nb =
        dy != 0 ? row_stretches(l, l.y + dy, gaps, row_lit(map, l, l.y + dy, dy, gaps), below) : 0;
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
        int64_t first, last;
        lit_columns(l, y - l.y, &first, &last);
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
