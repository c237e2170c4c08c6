/* Internal to the shadow module: the polygon that one casting segment fills, shared by the
 * immediate calls and the shrouder sets so that both fill the very same shape. */
#ifndef SHADOW_POLYGON_H
#define SHADOW_POLYGON_H

#include <stdint.h>

enum { shadow_max_vertices = 8 };

/* A vertex at (x / d, y / d), d > 0, and the line that the polygon's edge from it follows. */
struct exact_vertex {
    int64_t x, y, d;
    int edge;
};

/* The working state of one shadow_polygon call: callers that may run at the same time each
 * pass their own. */
struct shadow_work {
    int points[2 * shadow_max_vertices];
    int count;
    int light_x, light_y;
    /* One row below the last row, and the last column: the shadow reaches exactly to the edge. */
    int border_south, border_east;
    /* The bitmap's last row, where the cut keeps to the bitmap's own pixels. */
    int last_row;
    int start_side, end_side;
    int64_t corner_points[3][2];
    exact_vertex cut[2][shadow_max_vertices];
};

/* The shadow of the one-way segment (x1, y1) -> (x2, y2) from the light at (lx, ly) on a bitmap
 * of w by h pixels: returns its vertex count and points *points at its vertices (x, y pairs,
 * every one inside the bitmap), or returns 0 when the segment casts nothing there. The vertices
 * live in `work` until its next use. */
int shadow_polygon(shadow_work *work, int w, int h, int lx, int ly, int x1, int y1, int x2, int y2,
                   const int **points);

/* Coordinates beyond this magnitude cast nothing. */
enum { shadow_coord_limit = 1 << 19 };

#endif
