#include "coverage.h"

#include <algorithm>
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <limits.h>
#include <string.h>

void coverage::begin(BITMAP *target, int black, const span_clip &rect, int lx, int ly, bool solid,
                     int keep) {
    bmp = target;
    always_solid = solid || keep >= 0;
    background = keep;
    color = black;
    clip = rect;
    light_x = lx;
    light_y = ly;
    const int rows = rect.bottom - rect.top;
    memset(counts, 0, sizeof counts[0] * size_t(rows));
    if (keep >= 0)
        memset(spilled, 0, sizeof spilled[0] * size_t(rows));
    for (int row = 0; row < rows; row++)
        open[row] = coverage_run{rect.left, rect.right - 1};
    open_box = rect;
    changed = true;
}

void coverage::want_only(const coverage_run *wanted) {
    for (int row = 0; row < clip.bottom - clip.top; row++) {
        const int lo = std::max(wanted[row].lo, clip.left);
        const int hi = std::min(wanted[row].hi, clip.right - 1);
        coverage_run *r = runs[row];
        int n = 0;
        if (lo > hi)
            r[n++] = coverage_run{clip.left, clip.right - 1};
        if (lo <= hi && lo > clip.left)
            r[n++] = coverage_run{clip.left, lo - 1};
        if (lo <= hi && hi < clip.right - 1)
            r[n++] = coverage_run{hi + 1, clip.right - 1};
        counts[row] = n;
        reopen(row);
    }
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
    const bool direct =
        byte >= 0 && is_memory_bitmap(bmp) && (always_solid || _drawing_mode == DRAW_MODE_SOLID);
    for (int i = 0; i < counts[row]; i++) {
        if (direct)
            memset(bmp->line[y] + size_t(r[i].lo) * bytes, byte,
                   size_t(r[i].hi - r[i].lo + 1) * bytes);
        else
            bmp->vtable->hfill(bmp, r[i].lo, y, r[i].hi, color);
    }
}

/* A row with no room left is painted and emptied; when runs are kept, its pixels of the clip
 * are set to the background first, and it is marked so that the rest of it is painted too. */
void coverage::make_room(int row) {
    if (background >= 0 && !spilled[row]) {
        memset(bmp->line[clip.top + row] + clip.left, background, size_t(clip.right - clip.left));
        spilled[row] = true;
    }
    paint_row(row);
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
    for (int band = first / coverage_band_rows; band * coverage_band_rows < end; band++)
        band_open[band] = coverage_run{INT_MAX, INT_MIN};
    for (int row = first; row < end; row++) {
        const int from = open[row].lo, to = open[row].hi;
        if (from > to)
            continue;
        coverage_run &band = band_open[row / coverage_band_rows];
        band.lo = std::min(band.lo, from);
        band.hi = std::max(band.hi, to);
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
    return radius;
}

void coverage::fill() const {
    for (int row = 0; row < clip.bottom - clip.top; row++)
        if (background < 0 || spilled[row])
            paint_row(row);
}
