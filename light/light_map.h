/*
 * light_map: coloured lamps over an ambient level, shadowed by shrouder sets, multiplied into
 * an Allegro 4 bitmap.
 *
 * Coordinates are integer pixels: x grows to the right, y grows downward. Lamps and occluders
 * are given in world coordinates; the map's pixel (i, j) is the world point (view_x + i,
 * view_y + j), its view being (0, 0) until set_light_map_view moves it. Applying the map puts
 * its pixel (i, j) on the bitmap's pixel (i, j).
 *
 * A light map is a grid of w x h pixels holding one level per channel (red, green, blue), each
 * from 0 (black) to 255 (full). For the pixel at the world point p, each channel holds
 *
 *     min(255, ambient + the sum over the lamps of colour x F(d) x K(p) x V(p)),
 *
 * where c is the lamp's centre, d = |p - c|, and every channel argument is first clamped to
 * 0 .. 255:
 *
 * - F, the falloff: FALLOFF_LINEAR is max(0, 1 - d / radius), FALLOFF_SMOOTH is
 *   (max(0, 1 - (d / radius)^2))^2.
 * - K, the cone: with D the angle in degrees between p - c and the cone's axis, K is 1 for
 *   D <= half_angle, 0 for D >= half_angle + edge, linear in between; 1 at p = c and for a
 *   lamp that lights all round.
 * - V, how much of the lamp p sees. A lamp of size 0 is a point: V is 1 or 0, exactly the
 *   pixels that cast_shrouder_set_in_view (shrouder_set.h) leaves unpainted from c on a bitmap
 *   of the map's size and view. A lamp of size s > 0 is the disc of radius s around c: for
 *   d <= s, V is 1; otherwise V is the share of the angle the disc fills as seen from p whose
 *   rays reach the disc before meeting a blocking edge. A blocking edge is a two-way segment,
 *   or a one-way segment or outline edge that has p strictly on its left (the hard rule, for
 *   every point of the disc). One straight edge gives an exactly linear ramp across the
 *   penumbra.
 *
 * The disc is not clipped by occluders: a lamp whose disc crosses a wall lights both sides with
 * the part of its disc on each side, and every point within `size` of its centre sees all of
 * it. Keep lamps at least `size` pixels clear of walls; a lamp whose disc crosses an edge is
 * also worked out the slow way, every pixel of its disc exactly.
 *
 * Lamps and occluders may lie anywhere within the shadow module's range (-524288 .. 524288)
 * after the view is taken off them, inside the map or off it. Any int is safe for a position, a
 * radius or a view: a lamp whose centre less the view lies beyond the range is not shadowed, as
 * the set casts nothing from it, but still lights what its radius reaches.
 *
 * Accuracy: a point lamp's shadows are the cast's very pixels and each channel lies within 1 of
 * the model per lamp reaching the pixel; a lamp with a size lies within 3 of it plus 1 per
 * lamp, off a pixel and a half around its occluders' edges and the rims and rays where the
 * model jumps. Applying the map rounds once more, to the bitmap's channel precision.
 *
 * Cost: a lamp works only inside its disc of reach clipped to the map, takes its hard shadows
 * from the set through a clipping rectangle of that size, and writes each pixel at most once.
 * A lamp with a size adds the exact share only in the wedges behind the corners it can see,
 * bounded by the lines tangent to its disc; a cone works only on the rows' stretches inside
 * it. Nothing is allocated after the first lamps of each kind (scratch grows to the largest
 * need, then stays).
 *
 * Drawing mode and clipping: the maps neither read nor change Allegro's drawing mode or any
 * bitmap's clipping rectangle, so the same lamps give the same map whatever mode the caller
 * left set.
 *
 * Threading: each map owns all the working memory its calls need, casting included. Calls on
 * different maps may run at the same time in different threads, and so may
 * share_of_light_seen calls (each thread has its own scratch for them), as long as no thread
 * changes a set they read meanwhile (adding, moving, removing or destroying; shrouder_set.h).
 * A map that is only read (as `baked`, or applied) may be read by several calls at once; a
 * map being changed (cleared, viewed, lit) is used by that one call alone. add_lights runs a
 * map's lamps on threads of its own (set_light_map_threads), and apply_light_map uses them too
 * for a memory bitmap once they are started.
 */
#ifndef LIGHT_MAP_H
#define LIGHT_MAP_H

struct BITMAP;
struct shrouder_set;
struct light_map;

enum light_falloff { FALLOFF_LINEAR, FALLOFF_SMOOTH };

/* A lamp. Zero-initialised but for its position, reach and colour, it is a point light with a
 * linear falloff that lights all round, as add_point_light adds. */
struct light_source {
    int x, y;    /* the lamp's centre */
    int radius;  /* reach: nothing is lit beyond it */
    int r, g, b; /* colour, each clamped to 0 .. 255 */
    int size;    /* radius of the lamp's disc; 0 is a point, with add_point_light's hard shadows */
    light_falloff falloff;
    double direction;  /* cone axis in degrees, clockwise on screen from +x (y grows downward) */
    double half_angle; /* degrees; 0 or less, or 180 or more, lights all round */
    double edge; /* degrees over which the cone fades out beyond half_angle; 0 is a sharp edge */
};

/* A map of w x h pixels, all black until cleared, viewed from (0, 0). NULL when w or h is
 * below 1, when a side is above 524288 or the map above 2^28 pixels, or when memory runs out.
 * Allegro must be installed (install_allegro or allegro_init) first. */
light_map *create_light_map(int w, int h);

/* Frees the map. NULL is fine. */
void destroy_light_map(light_map *map);

/* Sets every pixel of the map to the ambient level (r, g, b), each clamped to 0 .. 255: the
 * start of a frame. The map remembers it as its last clear level. A NULL map is ignored. */
void clear_light_map(light_map *map, int r, int g, int b);

/* From now on the map's pixel (i, j) is the world point (view_x + i, view_y + j). The levels
 * already in the map stay as they are. A NULL map is ignored. */
void set_light_map_view(light_map *map, int view_x, int view_y);

/* Starts a frame from lamps worked out once: each pixel takes the level `baked` holds at the
 * same world point (both maps' views count), and pixels `baked` does not cover take baked's
 * last clear level, which becomes the map's last clear level too. The maps may differ in size
 * and view; `baked` may be the map itself. Costs a copy of the map's rows. NULL for either
 * does nothing. Typical use: bake a level's fixed lamps once into a world-sized map, then
 * start each frame from it and add only the lamps that move. */
void clear_light_map_from(light_map *map, const light_map *baked);

/* Adds the lamp to every pixel of the map, as the model above says, saturating at 255. The
 * set's members hide what lies behind them from this lamp; a NULL set hides nothing. Bad
 * values: a size below 0 counts as 0; a radius below 1 adds nothing; a NaN or infinite
 * direction, half_angle or edge lights all round, and an edge below 0 counts as 0; a NULL map
 * or light does nothing. The set is only read. */
void add_light(light_map *map, const shrouder_set *set, const light_source *light);

/* add_light with a point lamp of the given radius and colour, a linear falloff, all round. */
void add_point_light(light_map *map, const shrouder_set *set, int x, int y, int radius, int r,
                     int g, int b);

/* Adds the `count` lamps of the array in order: the map ends exactly, byte for byte, as add_light
 * called on each of them in turn leaves it. The work is shared among threads (see
 * set_light_map_threads): the map's rows are cut into one band a thread, each band about as
 * much work as the others, and each thread adds every lamp that reaches its band, with working
 * memory of its own. The threads are started at the map's first add_lights and kept until the
 * map is destroyed or its thread count changed; a thread's working memory is allocated then
 * too, and nothing after. Where threads or memory cannot be had, the lamps are added on the
 * calling thread alone. A NULL map or array, or a count below 1, does nothing. */
void add_lights(light_map *map, const shrouder_set *set, const light_source *lights, int count);

/* How many threads add_lights (and apply_light_map) uses on this map, the caller's included: 0 (a
 * new map's choice) for one a processor core, 1 for the calling thread alone, n for n (at most 64).
 * Never more threads than the map has rows. Stops the threads already started. A NULL map is
 * ignored. */
void set_light_map_threads(light_map *map, int threads);

/* V for the lamp of the given size centred at (lx, ly) and the point (x, y), all in world
 * coordinates: from 0.0 (the point sees none of the disc) to 1.0 (all of it). With a size of
 * 0 or less it is 1.0 when is_lit_by(set, lx, ly, x, y) holds and 0.0 otherwise. A NULL set
 * hides nothing: 1.0. Exact up to double rounding; never allocates after a thread's first
 * calls; only reads the set. */
double share_of_light_seen(const shrouder_set *set, int lx, int ly, int size, int x, int y);

/* Multiplies each channel c of each pixel in the overlap of the bitmap and the map (both from
 * (0, 0), ignoring the clipping rectangle) by the map's level: c x level / 255, rounded; other
 * bits of a pixel (the alpha byte at 32 bpp) stay as they are. Works at 15, 16, 24 and 32 bpp on
 * memory bitmaps and on linear video or screen bitmaps (lines reached through bmp_write_line), and
 * returns 0. Returns -1, with the bitmap unchanged, for an 8 bpp bitmap (its colours are palette
 * indices), for any other depth, for a bitmap that is not linear, or for a NULL argument. On a
 * memory bitmap, once add_lights has started the map's threads, they apply a band of rows each
 * (several applies of one map at once: the first takes the threads, the others work alone). */
int apply_light_map(BITMAP *bmp, const light_map *map);

#endif
