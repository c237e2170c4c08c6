/* Internal to the library: casting a shrouder set with working memory of the caller's own, for
 * the light maps and for threads that cast at the same time. */
#ifndef SET_CASTING_H
#define SET_CASTING_H

#include "coverage.h"

struct BITMAP;
struct shrouder_set;

struct cast_scratch;
cast_scratch *create_cast_scratch(void);          /* NULL when memory runs out */
void destroy_cast_scratch(cast_scratch *scratch); /* NULL is fine */
/* The pixels cast_shrouder_set_in_view paints on bmp when bmp's clipping rectangle is columns
 * clip_left .. clip_right - 1 and rows clip_top .. clip_bottom - 1, painted as Allegro's solid
 * drawing mode paints them whatever the global drawing mode, without reading or changing bmp's
 * clip, and with no working memory but `scratch`: calls with different scratches may run at
 * once on different bitmaps, or on disjoint row ranges of one memory bitmap. */
void cast_shrouder_set_with(cast_scratch *scratch, BITMAP *bmp, int clip_left, int clip_top,
                            int clip_right, int clip_bottom, const shrouder_set *set, int lx,
                            int ly, int view_x, int view_y);

/* The same cast on rows clip_top .. clip_bottom - 1 of an 8 bpp memory bitmap, at most
 * coverage_max_rows of them, kept in the scratch as each row's runs of shadow rather than
 * painted: see cast_row_runs. A row whose shadow breaks into more runs than the scratch holds
 * is painted instead, its pixels of the clip first set to `background` (0 .. 255, not the
 * black index). With `wanted` (one range of columns a row of the clip, from clip_top), only
 * those columns are cast: the rest of a row counts as shadow. Returns false, with nothing
 * cast, when the clip has too many rows or none within bmp. */
bool cast_shrouder_set_runs(cast_scratch *scratch, BITMAP *bmp, int background,
                            const coverage_run *wanted, int clip_left, int clip_top, int clip_right,
                            int clip_bottom, const shrouder_set *set, int lx, int ly, int view_x,
                            int view_y);

/* Row y's shadow from the scratch's last cast_shrouder_set_runs, y among its rows: *count runs
 * of columns, in order, neither overlapping nor touching, within the clip; or NULL when the row
 * was painted on the bitmap. */
const coverage_run *cast_row_runs(const cast_scratch *scratch, int y, int *count);

#endif
