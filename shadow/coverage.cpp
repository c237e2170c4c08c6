#include "coverage.h"

#include <allegro.h>
#include <string.h>

void coverage::begin(BITMAP *target, int black, const span_clip &rect, int lx, int ly) {
    bmp = target;
    color = black;
    clip = rect;
    light_x = lx;
    light_y = ly;
    memset(counts, 0, sizeof counts[0] * size_t(rect.bottom - rect.top));
}

void coverage::paint_row(int row) const {
    const int y = clip.top + row;
    for (int i = 0; i < counts[row]; i++)
        bmp->vtable->hfill(bmp, runs[row][i].lo, y, runs[row][i].hi, color);
}

void coverage::add(int y, int x1, int x2) {
    const int row = y - clip.top;
    coverage_run *r = runs[row];
    int n = counts[row];
    /* Runs wholly left of the new one, not touching it, stay; so do those wholly right. */
    int first = 0;
    while (first < n && r[first].hi + 1 < x1)
        first++;
    int last = first;
    while (last < n && r[last].lo - 1 <= x2)
        last++;
    if (last > first) {
        const int lo = r[first].lo < x1 ? r[first].lo : x1;
        const int hi = r[last - 1].hi > x2 ? r[last - 1].hi : x2;
        r[first] = coverage_run{lo, hi};
        memmove(r + first + 1, r + last, sizeof *r * size_t(n - last));
        counts[row] = n - (last - first - 1);
        return;
    }
    if (n == coverage_max_runs) {
        paint_row(row);
        n = first = 0;
    }
    memmove(r + first + 1, r + first, sizeof *r * size_t(n - first));
    r[first] = coverage_run{x1, x2};
    counts[row] = n + 1;
}

static int larger(int a, int b) {
    return a > b ? a : b;
}

int coverage::open_radius() const {
    int radius = 0;
    for (int row = 0; row < clip.bottom - clip.top; row++) {
        const int n = counts[row];
        const coverage_run *r = runs[row];
        /* The uncovered pixels of the row lie between the run that starts at the clip's left
         * edge, if any, and the run that ends at its right edge, if any. */
        const int from = n > 0 && r[0].lo <= clip.left ? r[0].hi + 1 : clip.left;
        const int to = n > 0 && r[n - 1].hi >= clip.right - 1 ? r[n - 1].lo - 1 : clip.right - 1;
        if (from > to)
            continue;
        const int dy = clip.top + row - light_y;
        const int reach = larger(larger(dy, -dy), larger(light_x - from, to - light_x));
        radius = larger(radius, reach + 1);
    }
    return radius;
}

void coverage::fill() const {
    for (int row = 0; row < clip.bottom - clip.top; row++)
        paint_row(row);
}
