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
 * again by the immediate calls, and are drawn once here. Every bitmap size that tenebrant.h
 * draws on is cast this way, wide and tall ones included.
 *
 * Worlds larger than the bitmap: members and lights may be given in world coordinates and cast
 * through a view (cast_shrouder_set_in_view), which costs what the cast it equals costs however
 * large the world. Members move with move_in_shrouder_set. The memory and the time of every
 * call follow the members alive now, not how many were ever added, moved or removed.
 *
 * Memory: adding, moving and removing may allocate (and free). Casting allocates only in a
 * thread's first cast (its working memory, about 300 KB, freed when the thread ends) and when a
 * set has more edges than any set that thread cast before (4 bytes an edge); if that memory
 * cannot be had, the first cast paints nothing and a later one still paints exactly. is_lit_by
 * never allocates.
 *
 * Threads: casting and is_lit_by only read the set, and each thread casts with working memory
 * of its own: any number of casts and is_lit_by calls, on one set or several, may run at the
 * same time in different threads, as long as no thread changes that set meanwhile (adding,
 * moving, removing or destroying), and as long as threads that cast onto one bitmap at once
 * each cast onto a sub-bitmap of their own, none sharing pixels (a clipping rectangle belongs
 * to its bitmap, so two threads must not change or rely on one bitmap's clip at once). Calls that
 * change a set must not run at the same time as any other call on that set. The immediate calls of
 * tenebrant.h share a buffer of their own and remain for one thread at a time; casting a set
 * does not use it.
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
 * the range in which tenebrant.h's calls draw. Ids count the adds: 0, 1, 2 ... up to
 * 2^31 - 2; after 2^31 - 1 adds to one set, adding returns -1 from then on (the members kept
 * still move, cast and can be removed). */

/* A one-way segment from (x1, y1) to (x2, y2): casts when the light is on its right. */
int add_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2);

/* A two-way segment: casts from whichever side it is lit. */
int add_2_way_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2);

/* A closed outline of `count` points given as x0, y0, x1, y1, ...; -1 when count is below 2. */
int add_outline_to_set(shrouder_set *set, int count, const int *points);

/* Takes the member out of the set. An unknown or already removed id does nothing. */
void remove_from_shrouder_set(shrouder_set *set, int id);

/* Moves a live member by (dx, dy), keeping its id: a sliding door, a crate pushed, an enemy
 * walking. Returns 0; or -1 with the set unchanged for an unknown or removed id, when a moved
 * coordinate would leave -524288 .. 524288, or when memory runs out. After any sequence of
 * adds, moves and removes, casts equal those of a fresh set of the live members where they
 * now are. */
int move_in_shrouder_set(shrouder_set *set, int id, int dx, int dy);

/* Paints in solid black what the set's members hide from the light at (lx, ly), out to the
 * bitmap's border: the very pixels of one immediate call per member. A light beyond the
 * supported range casts nothing, as it does for the immediate calls. A NULL set paints
 * nothing. */
void cast_shrouder_set(BITMAP *bmp, const shrouder_set *set, int lx, int ly);

/* The same with the view at (view_x, view_y): members and light are in world coordinates, and
 * the bitmap's pixel (0, 0) shows the world point (view_x, view_y). Paints exactly, byte for
 * byte, what cast_shrouder_set paints on the same bitmap for a set holding every member moved
 * by (-view_x, -view_y), with the light moved likewise, wherever the moved coordinates lie
 * within -524288 .. 524288: an edge with a moved coordinate beyond it casts nothing, and a
 * light moved beyond it casts nothing at all, as for the immediate calls. cast_shrouder_set
 * is this call with the view at (0, 0). A NULL set paints nothing. Its cost is that of the
 * cast it equals: what the light can see within the bitmap, not the size of the world. */
void cast_shrouder_set_in_view(BITMAP *bmp, const shrouder_set *set, int lx, int ly, int view_x,
                               int view_y);

/* Line of sight, in world coordinates (the members' own; no view is involved): false exactly
 * when the closed segment from (lx, ly) to (x, y) meets an edge that casts from that light (the
 * light strictly on the edge's right; an outline's edges and both directions of a two-way
 * segment are edges), true otherwise. Exact integer arithmetic,
 * no bitmap involved; a point beyond the supported range is compared exactly all the same. A
 * NULL set hides nothing. */
bool is_lit_by(const shrouder_set *set, int lx, int ly, int x, int y);

#endif
