/*
 * shrouder_set: a whole level of occluders, shadowed from one light in one call.
 *
 * Coordinates, "right of a segment" and the winding of outlines are those of tenebrant.h: x
 * grows to the right, y downward, (0, 0) is the bitmap's top-left pixel; a one-way segment from
 * (x1, y1) to (x2, y2) casts only when the light is strictly on its right as seen on screen;
 * an outline is the ring of one-way segments from each point to the next and from the last
 * back to the first (clockwise on screen: interior on the right of every edge).
 *
 * A set holds occluders of the three kinds and keeps them in a spatial index. Casting it paints
 * exactly the pixels, byte for byte, that one immediate call per member would paint on the same
 * bitmap from the same light (add_shrouder for a one-way segment or an outline,
 * add_2_way_shrouder for a two-way segment), in any order. The cost follows what the light can
 * see rather than the size of the set: occluders hidden behind nearer ones are not filled, far
 * hidden ones are not visited, and every shadowed pixel is written about once however many
 * shadows overlap on it. Casting honours the bitmap's clipping rectangle exactly as the
 * immediate calls do, and costs less when the rectangle is small. Pixels are the same in
 * Allegro's default solid drawing mode; in the other modes overlapping shadows would be drawn
 * again by the immediate calls, and are drawn once here. Bitmaps more than 4096 pixels wide or
 * high are cast one edge at a time, the same pixels at the immediate calls' cost.
 *
 * Adding and removing may allocate; casting and is_lit_by never do. A set, is_lit_by included,
 * is not safe to use from two threads at once, and casting shares the module's scratch state
 * with tenebrant.h's calls: call them from one thread at a time.
 */
#ifndef SHROUDER_SET_H
#define SHROUDER_SET_H

struct BITMAP;
struct shrouder_set;

/* An empty set, or NULL when memory runs out. */
shrouder_set *create_shrouder_set(void);

/* Frees the set and everything in it. NULL is fine. */
void destroy_shrouder_set(shrouder_set *set);

/* Adding returns the new member's id, zero or more and never reused within the set, or -1 with
 * the set unchanged when memory runs out or a coordinate lies beyond -524288 .. 524288 (2^19),
 * the range in which tenebrant.h's calls draw. */

/* A one-way segment from (x1, y1) to (x2, y2): casts when the light is on its right. */
int add_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2);

/* A two-way segment: casts from whichever side it is lit. */
int add_2_way_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2);

/* A closed outline of `count` points given as x0, y0, x1, y1, ...; -1 when count is below 2. */
int add_outline_to_set(shrouder_set *set, int count, const int *points);

/* Takes the member out of the set. An unknown or already removed id does nothing. */
void remove_from_shrouder_set(shrouder_set *set, int id);

/* Paints in solid black what the set's members hide from the light at (lx, ly), out to the
 * bitmap's border: the very pixels of one immediate call per member. A light beyond the
 * supported range casts nothing, as it does for the immediate calls. A NULL set paints
 * nothing. */
void cast_shrouder_set(BITMAP *bmp, const shrouder_set *set, int lx, int ly);

/* The same with the view at (view_x, view_y): members and light are in world coordinates, and
 * the bitmap's pixel (0, 0) shows the world point (view_x, view_y). Paints exactly what
 * cast_shrouder_set paints for every member and the light moved by (-view_x, -view_y), where
 * the moved coordinates lie within the supported range. A NULL set paints nothing. */
void cast_shrouder_set_in_view(BITMAP *bmp, const shrouder_set *set, int lx, int ly, int view_x,
                               int view_y);

/* Line of sight: false exactly when the closed segment from (lx, ly) to (x, y) meets an edge
 * that casts from that light (the light strictly on the edge's right; an outline's edges and
 * both directions of a two-way segment are edges), true otherwise. Exact integer arithmetic,
 * no bitmap involved; a point beyond the supported range is compared exactly all the same. */
bool is_lit_by(const shrouder_set *set, int lx, int ly, int x, int y);

#endif
