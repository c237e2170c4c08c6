/*
 * tenebrant: exact 2D hard shadows from a point light, drawn into an Allegro 4 bitmap.
 *
 * Coordinates are integer pixels: x grows to the right, y grows downward, (0, 0) is the
 * top-left pixel of the target bitmap.
 *
 * Every call paints, in solid black (the bitmap's own colour depth), the region that one
 * occluder hides from the light at (lx, ly), out to the border of the bitmap. The shadow of a
 * segment is a polygon: the two rays from the light through its endpoints are carried to the
 * border, and the border corners between the two hits close it. Nothing is returned, nothing
 * is allocated, and the bitmap is neither kept nor freed. Shadows of separate calls overlap
 * freely; the order of the calls does not change the result.
 *
 * "Right of a segment" means its right as seen on screen: walking from (x1, y1) to (x2, y2)
 * with y downward, the right hand points to the right-hand side. A segment from (0, 0) to
 * (10, 0) has the point (5, 5) on its right. A light on the segment's line, on one of its
 * endpoints, or any light for a segment whose endpoints coincide, is on neither side.
 *
 * Outlines are closed rings of one-way segments from each point to the next and from the last
 * back to the first. Listed clockwise on screen, an outline has its interior on the right of
 * every edge: lit from outside, only the edges facing away from the light cast and the shape
 * itself stays lit; with the light inside, everything outside the outline turns black.
 * Listed counter-clockwise, the edges facing the light cast and cover the shape itself; with
 * the light inside, nothing is drawn.
 *
 * The light and the occluders may lie anywhere, inside the bitmap or outside it, with every
 * coordinate within -524288 .. 524288 (2^19), on bitmaps up to 524288 pixels a side: the
 * shadow is exact there, up to the rounding of its vertices to whole pixels: a pixel whose
 * centre lies more than 2.5 px from the segment and from the rays that bound its shadow is
 * black exactly when the segment hides its centre from the light. Outside that range nothing
 * is drawn: not for a light or a segment with a coordinate beyond it, not for an outline's edge
 * with an endpoint beyond it (the outline's other edges still cast), and not on a bitmap with a
 * side beyond it. Whatever the input, every vertex handed to the fill lies within the bitmap,
 * so a call costs no more than filling the bitmap once. The fill is Allegro's polygon(); on
 * bitmaps 8192 pixels wide or more, where polygon()'s 32-bit fixed point would wrap, it is the
 * same filler step for step in 64 bits, each run drawn by the bitmap's own line routine (so
 * the drawing mode applies as it does to polygon()).
 *
 * With the light and the segment inside the border (x from 0 to w - 1, y from 0 to h), the
 * shadow is the polygon described above. Otherwise the border hits are no longer the shadow's
 * corners (a ray from a light outside can cross the bitmap on its way to the segment), and the
 * shadow is cut out of the bitmap's rectangle by the segment's line and the two rays instead.
 *
 * These calls share one fixed buffer of the module's and are not re-entrant: call them from
 * one thread at a time. Shrouder sets (shrouder_set.h) do not use that buffer.
 */
#ifndef TENEBRANT_H
#define TENEBRANT_H

struct BITMAP;

/* One-way segment from (x1, y1) to (x2, y2). It casts only when the light is strictly on its
 * right; its shadow then falls on its left-hand side. */
void add_shrouder(BITMAP *bmp, int lx, int ly, int x1, int y1, int x2, int y2);

/* Two-way segment: blocks the light from whichever side it is lit. A light on the segment's
 * line casts nothing. */
void add_2_way_shrouder(BITMAP *bmp, int lx, int ly, int x1, int y1, int x2, int y2);

/* Closed outline of `count` points, given as x0, y0, x1, y1, ... (the layout Allegro's polygon
 * takes): the one-way segments from each point to the next, then from the last to the first.
 * A count below 2 draws nothing; below 1 the list is not read. */
void add_shrouder(BITMAP *bmp, int lx, int ly, int count, const int *points);

#endif
