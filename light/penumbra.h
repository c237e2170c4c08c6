/* Internal to the light maps: how much of a lamp's disc a point sees, and where a lamp's
 * penumbrae can lie.
 *
 * Geometry is in double, relative to the lamp's centre: a blocker's or a point's coordinates
 * are world coordinates less the centre's, which a view does not change. */
#ifndef LIGHT_PENUMBRA_H
#define LIGHT_PENUMBRA_H

#include "set_edges.h"

#include <algorithm>
#include <stdint.h>
#include <utility>
#include <vector>

struct shrouder_set;

/* A piece of a directed edge outside the lamp's disc. It blocks a point strictly on the left
 * of its edge's line (through (lx, ly), direction (ldx, ldy)). */
struct blocker {
    double x1, y1, x2, y2;   /* the piece */
    double lx, ly, ldx, ldy; /* the whole edge's line */
    double near;             /* the piece's least distance to the centre */
};

/* A stretch of the map's row `row`, columns x0 .. x1, where the share must be worked out. */
struct exact_run {
    int row, x0, x1;
};

/* A triangle of a wedge, widened by `pad` each way, and the rows it spans once widened. Its
 * corners from the top one down (ty <= my <= by); at row y its side from the top corner to the
 * bottom one lies at tx + (y - ty) * slope, its other sides at tx + (y - ty) * upper_slope above
 * the middle corner and mx + (y - my) * lower_slope below (slopes of flat sides 0; a flat
 * triangle spans tx .. bx). */
struct wedge_triangle {
    double tx, ty, mx, my, bx, by;
    double slope, upper_slope, lower_slope;
    double pad, spread, upper_spread, lower_spread; /* spreads: the pad times the slopes */
    int first, last;                                /* rows */
};

/* A blocker that may cut a corner's wedge short: its first end (wx, wy) from the corner, its
 * edge (ex, ey), and its least distance to the corner. */
struct candidate {
    double wx, wy, ex, ey, near;
};

/* A direction (x, y) from a corner, a unit vector, and the sine of its angle from the wedge's
 * axis, which orders the directions of a wedge. */
struct wedge_look {
    double sine, x, y;
};

/* A blocker as a chunk of a row's pixels sees it: the chunk's pixels first .. last - 1 lie
 * strictly on its left, and `polar` says whether each pixel must tell whether the blocker lies in
 * front of the disc or beyond it (otherwise it lies in front for all of them). */
struct chunk_blocker {
    int index;
    int first, last;
    bool polar;
};

/* The bins a blocker lies in: first > last wraps around. */
struct bin_range {
    int first, last;
};

/* A tile of pixels and its blockers, tile_items[first ..] (row_blockers.cpp); count -1 for
 * none listed. */
struct row_tile {
    int64_t column, row;
    int first, count;
};

/* Lines n . p = c, n pointing away from the disc, that a point lies on the inner side of
 * (n . p >= c) when a blocker hides some of the disc from it (row_blockers.cpp), worked out
 * for the blockers gathered `gathering`-th. */
struct shadow_sides {
    uint32_t gathering;
    int count;
    double nx[4], ny[4], c[4];
    /* Lines n . p = c, n pointing away from the disc, that a point beyond the blocker lies
     * strictly on the disc's side of (n . p < c) when the blocker hides all of the disc from
     * it; their count is 2 when they bound its umbra, otherwise the umbra is not told. */
    int umbra_count;
    double ux[2], uy[2], uc[2];
};

/* Blockers are sorted into this many bins of the directions from the centre they can matter
 * for. */
static const int penumbra_bins = 128;

/* Rows' exact runs over the lamp's box, by row: row r's runs are runs[row_start[r - top]]
 * up to runs[row_start[r - top + 1]], in column order, not overlapping. */
struct penumbra_scratch {
    std::vector<set_edge_copy> listed;
    std::vector<blocker> blockers;
    std::vector<int> bin_start, bin_items; /* the blockers each bin of directions must look at */
    std::vector<double> lows, highs;       /* blocked stretches of one point's view */
    std::vector<chunk_blocker> chunk;      /* the blockers a chunk of a row works out */
    int chunk_count;
    std::vector<row_tile> tiles;       /* tiles of the rows' pixels, by place */
    std::vector<int> tile_items;       /* their blockers */
    std::vector<shadow_sides> shadows; /* each blocker's */
    uint32_t gathering = 0;            /* the gatherings the rows have seen */
    bool rows_ready = false; /* the tiles and shadows are kept for the blockers gathered */
    std::vector<chunk_blocker> run_blockers; /* the blockers of a stretch of a row */
    int run_count;
    int bin_stride;               /* the fewest bins in a row a blocker lies in, up to 3 */
    std::vector<uint32_t> stamps; /* each blocker's last listing, to list it once */
    uint32_t stamp;
    bool single; /* the box is small enough for rows to be worked out in single precision */
    /* The place in bin_items of the blocker that last hid all of the disc from a point, -1 for
     * none: the next points of a row are often in the same umbra. */
    int umbra;
    std::vector<std::pair<double, int>> order; /* distances and blockers, nearest first */
    std::vector<bin_range> ranges;             /* each blocker's bins */
    std::vector<double> corners;               /* x, y pairs */
    std::vector<int> corner_start; /* corner i's blockers: corner_items[corner_start[i] ..] */
    std::vector<int> corner_items;
    std::vector<int> corner_slots;         /* a table of the corners by their points */
    std::vector<int> end_corners;          /* each blocker's ends' corners */
    std::vector<candidate> candidates;     /* the blockers that may cut one wedge short */
    std::vector<wedge_look> looks;         /* directions from the corner to look along */
    std::vector<double> seen;              /* directions a corner sees the disc in */
    std::vector<double> cuts, kept;        /* its stretches of directions, cut and kept */
    std::vector<wedge_triangle> triangles; /* the sectors of its wedge */
    std::vector<int> chords;               /* each row's columns within reach, first and last */
    std::vector<int> open_runs;            /* a wedge's rows' last stretch, first and last column */
    std::vector<exact_run> unsorted, runs;
    std::vector<int> row_start;
    int top;
    double size;
    bool crossing; /* a blocker's edge meets the disc: every pixel is worked out exactly */
};

/* Starts a new list of blockers, each to be taken once: a blocker is listed when its stamp is
 * not yet the scratch's. */
inline void start_listing(penumbra_scratch *s) {
    if (++s->stamp == 0) {
        std::fill(s->stamps.begin(), s->stamps.end(), 0u);
        s->stamp = 1;
    }
}

/* Lists the blockers of the lamp of the given size centred at (cx, cy) (world) that can stand
 * between the disc and a point of the world box [left, right] x [top, bottom]. */
void gather_blockers(penumbra_scratch *s, const shrouder_set *set, int64_t cx, int64_t cy,
                     double size, int64_t left, int64_t top, int64_t right, int64_t bottom);

/* The share of the disc the point (px, py), relative to the centre, sees past the gathered
 * blockers. */
double seen_share(penumbra_scratch *s, double px, double py);

/* The shares of the disc seen from the n pixels from (x0, y), relative to the centre, along a
 * row, as seen_share gives them to within 1e-4. With the machine's widest vectors it knows
 * (AVX2), or with SSE2's, which every x86-64 has. */
enum row_vectors { WIDEST_VECTORS, SSE2_VECTORS };
void seen_shares_of_row(penumbra_scratch *s, int64_t x0, int64_t y, int n, float *shares,
                        row_vectors vectors = WIDEST_VECTORS);

/* Rows are listed a segment of this many pixels at a time (row_blockers.cpp). */
const int penumbra_segment = 256;

/* Lists the blockers of the n pixels from (x0, y), at most a segment, each once, with the
 * pixels they may hide some of the disc from. */
void list_segment_blockers(penumbra_scratch *s, int64_t x0, int64_t y, int n);

/* Sorts out the segment's blockers for its chunk of n pixels from x0, `offset` pixels into the
 * segment, into s->chunk; true, leaving the list, when one of them hides all of the disc from
 * every pixel of the chunk. */
bool list_chunk_blockers(penumbra_scratch *s, int offset, int64_t x0, int64_t y, int n);

/* The least distance from the origin to the segment from (x1, y1) to (x2, y2). */
double distance_to_origin(double x1, double y1, double x2, double y2);

/* The bin of the direction (dx, dy) from the centre. */
int direction_bin(double dx, double dy);

/* The directions in which the corner (qx, qy), outside the disc, sees the disc past every
 * blocker that does not end at it: s->seen holds their count of stretches, each as two angles
 * in radians from the direction to the centre, in order. */
int seen_directions(penumbra_scratch *s, double qx, double qy);

/* atan on [0, 1] within 2e-6 radians, several times cheaper than the library's (a minimax
 * polynomial), for a number or for a vector of them (penumbra_rows.cpp). */
template <typename real> inline __attribute__((always_inline)) real atan_to_one(real x) {
    const real x2 = x * x;
    return x * (0.99997726f +
                x2 * (-0.33262347f +
                      x2 * (0.19354346f +
                            x2 * (-0.11643287f + x2 * (0.05265332f - x2 * 0.01172120f)))));
}

/* The lamp seen from the map: its centre in map columns and rows, its reach, and the rows and
 * columns of its box on the map. */
struct lamp_box {
    int64_t x, y, radius;
    int64_t left, top, right, bottom;
};

/* Whether the blocker ends at the point (x, y). */
bool ends_at(const blocker &b, double x, double y);

/* Directions a corner sees the disc in are widened by this many radians, over rounding. */
static const double corner_slack = 1e-6;

/* Lists in s->corners the corners of the gathered blockers nearer the centre than `beyond`,
 * each once, with the blockers ending at each (corners.cpp). */
void list_corners(penumbra_scratch *s, double beyond);

/* The directions towards the disc, as angles from the direction to the centre, in which the
 * corner of that index, at q and d from the centre, ends a blocked stretch by the edges meeting
 * there alone, in s->kept (all of them as -HUGE_VAL .. HUGE_VAL); their count of stretches. */
size_t corner_ends(penumbra_scratch *s, size_t corner, double qx, double qy, double d);

/* Keeps of s->seen only the directions s->kept holds too. */
void keep_ends(penumbra_scratch *s);

/* The rows of the exact runs (wedge_rows.cpp): adds the triangle of the three points (x, then
 * y, on the map) to s->triangles, its pixels those whose centres it holds or that lie within
 * `pad` of it; starts the box's runs, none yet; adds every pixel within reach; adds the pixels
 * of the triangles in s->triangles within reach and clears them; sorts the runs into s->runs
 * and s->row_start, joining those that overlap. */
void add_triangle(penumbra_scratch *s, const double xs[3], const double ys[3], double pad);
void start_runs(penumbra_scratch *s, const lamp_box &box);
void add_whole_rows(penumbra_scratch *s, const lamp_box &box);
void add_triangles(penumbra_scratch *s, const lamp_box &box);
void sort_runs(penumbra_scratch *s, const lamp_box &box);

/* Fills s->runs and s->row_start with the pixels of the box whose share may lie strictly
 * between 0 and 1, from the gathered blockers: the parts of the wedges behind the corners the
 * disc can see that their corners see, with the pixels within a pixel and a half of the hard
 * shadow's edge through each corner; or every pixel when a blocker's edge meets the disc. */
void find_exact_runs(penumbra_scratch *s, const lamp_box &box);

#endif
