/* Internal to the shadow module: the pixels that the shadows cast so far cover, row by row, as
 * sorted runs that neither overlap nor touch. Shadows are united here and each covered pixel is
 * filled once at the end. Only pixels known to be painted are ever held, so asking whether a
 * pixel is covered can err only towards "no". */
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
    /* As of the last refresh, and still true since coverage only grows: the pixels of a row
     * (of a band of rows) left uncovered all lie within open[row] (band_open[band]); an
     * empty range when none is left. */
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

    /* Empty, for the rows of `clip` (at most coverage_max_rows of them), painted on `bmp`. */
    void begin(BITMAP *target, int black, const span_clip &rect, int lx, int ly);

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

    /* Paints every covered pixel once. */
    void fill() const;

  private:
    void paint_row(int row) const;
};

#endif
