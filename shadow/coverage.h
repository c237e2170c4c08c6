/* Internal to the shadow module: the pixels that the shadows cast so far cover, row by row, as
 * sorted runs that neither overlap nor touch. Shadows are united here and each covered pixel is
 * filled once at the end, or the runs are kept as the cast's result. Only pixels known to be
 * painted are ever held, so asking whether a pixel is covered can err only towards "no". */
#ifndef COVERAGE_H
#define COVERAGE_H

#include "polygon_spans.h"

struct BITMAP;

enum { coverage_max_rows = 4096, coverage_max_runs = 8, coverage_band_rows = 16 };

struct coverage_run {
    int lo, hi;
};

struct coverage {
    span_clip clip;
    int light_x, light_y;
    int counts[coverage_max_rows];
    coverage_run runs[coverage_max_rows][coverage_max_runs];
    /* The pixels of a row left uncovered all lie within open[row], kept up to date; those of a
     * band of rows within band_open[band], as of the last refresh and still true since coverage
     * only grows. An empty range when none is left. */
    coverage_run open[coverage_max_rows];
    coverage_run band_open[coverage_max_rows / coverage_band_rows];
    /* The smallest rectangle holding every uncovered pixel, as of the last refresh; empty
     * once all is covered. */
    span_clip open_box;
    BITMAP *bmp;
    int color;
    /* Whether runs were added since the last refresh, and the radius it found. */
    bool changed;
    int radius;
    bool always_solid;
    /* Keeping the runs: the level of a row's pixels before its shadow is painted (-1 when
     * painting all), and the rows that ran out of room and were painted. */
    int background;
    bool spilled[coverage_max_rows];

    /* Empty, for the rows of `clip` (at most coverage_max_rows of them), painted on `bmp` in
     * the global drawing mode, or as solid mode paints when `solid` (a bitmap other than a
     * memory bitmap must then be in solid mode). With a `keep` level of 0 or more the runs are
     * the result instead: only a row that runs out of room is painted, on `bmp`, an 8 bpp
     * memory bitmap, its pixels of the clip set to `keep` first. */
    void begin(BITMAP *target, int black, const span_clip &rect, int lx, int ly, bool solid,
               int keep = -1);

    /* Takes all but the columns wanted[row] of each row (an empty range for none) as covered
     * already, right after begin: shadows are then united only where they are wanted. */
    void want_only(const coverage_run *wanted);

    bool holds(int y, int x1, int x2) const {
        const int row = y - clip.top;
        const coverage_run *r = runs[row];
        for (int i = 0, n = counts[row]; i < n && r[i].lo <= x1; i++)
            if (r[i].hi >= x2)
                return true;
        return false;
    }

    /* Unites [x1, x2] with row y. A row that has no room left is painted and emptied first: the
     * pixels stay painted, only the knowledge of them is dropped. */
    void add(int y, int x1, int x2);

    /* Brings the open ranges up to date and returns a radius: every pixel of the clip whose
     * Chebyshev distance from the light is at least that is covered. */
    int refresh();

    /* Paints every covered pixel once; when keeping runs, those of the spilled rows only. */
    void fill() const;

  private:
    void paint_row(int row) const;
    void make_room(int row);
    void reopen(int row);
};

/* Inline, as the union is fed a run per row of every shadow it keeps. The uncovered pixels of a row
 * lie between the run that starts at the clip's left edge, if any, and the run that ends at its
 * right edge, if any. */
inline void coverage::reopen(int row) {
    const int n = counts[row];
    const coverage_run *r = runs[row];
    const int from = n > 0 && r[0].lo <= clip.left ? r[0].hi + 1 : clip.left;
    const int to = n > 0 && r[n - 1].hi >= clip.right - 1 ? r[n - 1].lo - 1 : clip.right - 1;
    open[row] = coverage_run{from, to};
}

inline void coverage::add(int y, int x1, int x2) {
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
        reopen(row);
        return;
    }
    if (n == coverage_max_runs) {
        make_room(row);
        n = first = 0;
    }
    for (int i = n; i > first; i--)
        r[i] = r[i - 1];
    r[first] = coverage_run{x1, x2};
    counts[row] = n + 1;
    reopen(row);
}

#endif
