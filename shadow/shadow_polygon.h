/* Internal to the shadow module: the polygon that one casting segment fills, shared by the
 * immediate calls and the shrouder sets so that both fill the very same shape. */
#ifndef SHADOW_POLYGON_H
#define SHADOW_POLYGON_H

/* The shadow of the one-way segment (x1, y1) -> (x2, y2) from the light at (lx, ly) on a bitmap
 * of w by h pixels: returns its vertex count and points *points at its vertices (x, y pairs,
 * every one inside the bitmap), or returns 0 when the segment casts nothing there. The vertices
 * live in the module's scratch buffer until the next call. */
int shadow_polygon(int w, int h, int lx, int ly, int x1, int y1, int x2, int y2,
                   const int **points);

/* Coordinates beyond this magnitude cast nothing. */
enum { shadow_coord_limit = 1 << 19 };

#endif
