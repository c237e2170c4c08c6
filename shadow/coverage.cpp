#include "coverage.h"

#include <algorithm>
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <limits.h>
#include <string.h>

void coverage::begin(BITMAP *target, int black, const span_clip &rect, int lx, int ly) {
    bmp = target;
    color = black;
    clip = rect;
    light_x = lx;
    light_y = ly;
    memset(counts, 0, sizeof counts[0] * size_t(rect.bottom - rect.top));
    open_box = rect;
    changed = true;
}

/* The byte that every byte of a pixel of this colour holds, or -1 when they differ. Black is
 * all zero bytes in every true-colour depth and one palette index at 8 bits. */
static int uniform_byte(int color, int bytes_per_pixel) {
    const int byte = color & 0xff;
    for (int i = 1; i < bytes_per_pixel; i++)
        if (((color >> (8 * i)) & 0xff) != byte)
            return -1;
    return byte;
}

void coverage::paint_row(int row) const {
    const int y = clip.top + row;
    const coverage_run *r = runs[row];
    const int bytes = (bitmap_color_depth(bmp) + 7) / 8;
    /* In a memory bitmap, solid runs of such a colour are plain byte fills of its rows; the
     * library's own line routine does everything else (other drawing modes, video or system
     * bitmaps). */
    const int byte = uniform_byte(color, bytes);
    const bool direct = byte >= 0 && is_memory_bitmap(bmp) && _drawing_mode == DRAW_MODE_SOLID;
    for (int i = 0; i < counts[row]; i++) {
        if (direct)
            memset(bmp->line[y] + size_t(r[i].lo) * bytes, byte,
                   size_t(r[i].hi - r[i].lo + 1) * bytes);
        else
            bmp->vtable->hfill(bmp, r[i].lo, y, r[i].hi, color);
    }
}

void coverage::add(int y, int x1, int x2) {
    const int row = y - clip.top;
    changed = true;
    coverage_run *r = runs[row];
    int n = counts[row];
    /* Runs wholly left of the new one, not touching it, stay; so do those wholly right. */
    int first = 0;
    while (first < n && r[first].hi + 1 < x1)
        first++;
    int last = first;
    while (last < n && r[last].lo - 1 <= x2)
        last++;
    /* The few runs of a row move by plain loops: a call to memmove costs more than they do. */
    if (last > first) {
        const int lo = r[first].lo < x1 ? r[first].lo : x1;
        const int hi = r[last - 1].hi > x2 ? r[last - 1].hi : x2;
        r[first] = coverage_run{lo, hi};
        const int gone = last - first - 1;
        for (int i = last; i < n; i++)
            r[i - gone] = r[i];
        counts[row] = n - gone;
        return;
    }
    if (n == coverage_max_runs) {
        paint_row(row);
        n = first = 0;
    }
    for (int i = n; i > first; i--)
        r[i] = r[i - 1];
    r[first] = coverage_run{x1, x2};
    counts[row] = n + 1;
}

static int larger(int a, int b) {
    return a > b ? a : b;
}

int coverage::refresh() {
    if (!changed)
        return radius;
    changed = false;
    /* Rows outside the last open box were wholly covered then and still are. */
    const int first = open_box.top - clip.top, end = open_box.bottom - clip.top;
    radius = 0;
    open_box = span_clip{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int row = first; row < end; row++) {
        const int n = counts[row];
        const coverage_run *r = runs[row];
        /* The uncovered pixels of the row lie between the run that starts at the clip's left
         * edge, if any, and the run that ends at its right edge, if any. */
        const int from = n > 0 && r[0].lo <= clip.left ? r[0].hi + 1 : clip.left;
        const int to = n > 0 && r[n - 1].hi >= clip.right - 1 ? r[n - 1].lo - 1 : clip.right - 1;
        open[row] = coverage_run{from, to};
        if (from > to)
            continue;
        open_box.left = std::min(open_box.left, from);
        open_box.right = std::max(open_box.right, to + 1);
        open_box.top = std::min(open_box.top, clip.top + row);
        open_box.bottom = clip.top + row + 1;
        const int dy = clip.top + row - light_y;
        const int reach = larger(larger(dy, -dy), larger(light_x - from, to - light_x));
        radius = larger(radius, reach + 1);
    }
    if (open_box.left > open_box.right)
        open_box = span_clip{clip.left, clip.top, clip.left, clip.top};
    for (int band = first / coverage_band_rows; band * coverage_band_rows < end; band++) {
        coverage_run joined{INT_MAX, INT_MIN};
        const int band_end = std::min(end, (band + 1) * coverage_band_rows);
        for (int row = std::max(first, band * coverage_band_rows); row < band_end; row++)
            if (open[row].lo <= open[row].hi) {
                joined.lo = std::min(joined.lo, open[row].lo);
                joined.hi = std::max(joined.hi, open[row].hi);
            }
        band_open[band] = joined;
    }
    return radius;
}

void coverage::fill() const {
    for (int row = 0; row < clip.bottom - clip.top; row++)
        paint_row(row);
}
