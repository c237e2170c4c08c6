/* The blockers of the rows' pixels, for the penumbra rows (penumbra_rows.cpp) to work out.
 *
 * The blockers are listed once for each tile of pixels the rows meet, and the list kept for the
 * later rows through the tile: those of the tile's directions, near enough the centre, that
 * some of the tile faces and lies inside the sides of their shadows (the lines through their
 * ends tangent to the disc). A stretch of a row sorts out its tiles' blockers exactly, each to
 * the pixels it may hide some of the disc from; a chunk of the stretch takes those that reach
 * it. */
#include "penumbra.h"

#include <algorithm>
#include <cmath>

/* Narrows first .. last - 1 to the i where v0 + slope i > limit, a stretch as the value is
 * linear in i; false when none is left. Exact for integers below 2^43: the values are, and
 * the quotient at the boundary rounds to no integer it does not equal. */
static bool keep_where(double v0, double slope, double limit, int *first, int *last) {
    const bool a = v0 + slope * *first > limit, b = v0 + slope * (*last - 1) > limit;
    if (a != b) {
        /* The boundary lies between the ends; floors by truncation, shifted off the
         * negatives. */
        const double shift = 1 << 20, q = (limit - v0) / slope;
        if (a)
            *last = std::min(*last, int(shift) - int(shift - q));
        else
            *first = std::max(*first, int(q + shift) - int(shift) + 1);
    }
    return (a || b) && *first < *last;
}

/* The chunk's pixels i, first <= i < last, that lie strictly on the left of the blocker's edge
 * (as a point light there would cast it), from exact arithmetic on integers: the line's
 * coordinates and the pixels' are integers relative to the centre. */
static void facing_lanes(const blocker &b, int64_t x0, int64_t y, int n, int *first, int *last) {
    /* f(i) = ldx (y - ly) - ldy (x0 + i - lx), strictly negative on the left: integers. */
    const double f0 = b.ldx * (double(y) - b.ly) - b.ldy * (double(x0) - b.lx);
    *first = 0;
    *last = n;
    if (!keep_where(-f0, b.ldy, 0, first, last))
        *last = *first = 0;
}

/* Whether the blocker lies in front of the disc for every pixel of the stretch from x0 to x1 of
 * row y (1), beyond it for every one (-1), or neither (0). The polar line of a pixel p,
 * x . p = size^2, parts the pixel's cone onto the disc into what lies in front of the disc
 * (x . p > size^2) and what lies beyond it. It moves with p linearly: the ends of the blocker
 * and of the stretch decide it for the whole stretch. */
static int polar_side(const blocker &b, double x0, double x1, double y, double s2) {
    const double g[4] = {b.x1 * x0 + b.y1 * y - s2, b.x1 * x1 + b.y1 * y - s2,
                         b.x2 * x0 + b.y2 * y - s2, b.x2 * x1 + b.y2 * y - s2};
    if (g[0] > 0 && g[1] > 0 && g[2] > 0 && g[3] > 0)
        return 1;
    return g[0] <= 0 && g[1] <= 0 && g[2] <= 0 && g[3] <= 0 ? -1 : 0;
}

namespace {
/* Tiles of pixels, relative to the centre, each listing once the blockers that may hide some of
 * the disc from its pixels, for all the rows that cross it. A tile is kept in the slot its
 * place picks (the rows of a box come in order: a slot is seldom taken back). */
const int tile_column_bits = 5, tile_row_bits = 4, tile_slot_bits = 5;
const int tile_width = 1 << tile_column_bits, tile_height = 1 << tile_row_bits;
const int segment = penumbra_segment;
static_assert(segment % tile_width == 0 && segment / tile_width < (1 << tile_slot_bits),
              "a segment is whole tiles, fewer than a row of slots");
} // namespace

/* The bins of the directions from the centre to the box [left, right] x [top, bottom], as the
 * first and a count: every bin when the box comes near the disc, as it may then surround the
 * centre; otherwise the box lies in a half-plane apart from the centre. */
static void bins_of_box(double left, double top, double right, double bottom, double size,
                        int *first, int *count) {
    *first = 0;
    *count = penumbra_bins;
    if (left <= size && right >= -size && top <= size && bottom >= -size)
        return;
    const int a = direction_bin(left, top);
    const int others[3] = {direction_bin(right, top), direction_bin(left, bottom),
                           direction_bin(right, bottom)};
    int low = 0, high = 0;
    for (int o : others) {
        const int turn =
            (o - a + penumbra_bins + penumbra_bins / 2) % penumbra_bins - penumbra_bins / 2;
        low = std::min(low, turn);
        high = std::max(high, turn);
    }
    if (high - low + 1 >= penumbra_bins / 2)
        return;
    *first = (a + low + penumbra_bins) % penumbra_bins;
    *count = high - low + 1;
}

/* How far a point must be past a blocker's shadow side to be left out: far above rounding. */
const double shadow_margin = 1e-6;

/* Adds to sh the lines through the end e tangent to the disc that part the disc from the
 * blocker's other end f. A point whose cone onto the disc the blocker crosses lies beyond the
 * blocker from a point of the disc, so on f's side of such a line, or on it.
 *
 * The other line, with the disc and f on one side, bounds the umbra: a point beyond the
 * blocker sees e past the disc's edge when on the disc's side of it. Kept in sh->umbra when
 * it is the only such line through e. */
static void add_shadow_sides(shadow_sides *sh, double ex, double ey, double fx, double fy,
                             double size) {
    const double d2 = ex * ex + ey * ey;
    if (d2 <= size * size) {
        sh->umbra_count = -2;
        return;
    }
    const double d = std::sqrt(d2), ux = -ex / d, uy = -ey / d;
    const double c = std::sqrt(d2 - size * size) / d, sn = size / d;
    int umbra = 0;
    for (int turn = -1; turn <= 1; turn += 2) {
        const double dx = ux * c - turn * uy * sn, dy = turn * ux * sn + uy * c;
        /* The normal pointing away from the disc. */
        const double flip = dx * ey - dy * ex > 0 ? 1 : -1;
        const double nx = -dy * flip, ny = dx * flip;
        if (nx * (fx - ex) + ny * (fy - ey) > 0) {
            sh->nx[sh->count] = nx;
            sh->ny[sh->count] = ny;
            sh->c[sh->count] = nx * ex + ny * ey;
            sh->count++;
        } else {
            const int u = std::max(sh->umbra_count, 0);
            sh->ux[u] = nx;
            sh->uy[u] = ny;
            sh->uc[u] = nx * ex + ny * ey;
            umbra++;
        }
    }
    sh->umbra_count = umbra == 1 ? sh->umbra_count + 1 : -2;
}

/* The blocker's shadow sides, worked out the first time they are asked for. */
static const shadow_sides &shadow_of(penumbra_scratch *s, int index) {
    shadow_sides &sh = s->shadows[size_t(index)];
    if (sh.gathering != s->gathering) {
        sh.gathering = s->gathering;
        const blocker &b = s->blockers[size_t(index)];
        sh.count = 0;
        sh.umbra_count = 0;
        add_shadow_sides(&sh, b.x1, b.y1, b.x2, b.y2, s->size);
        add_shadow_sides(&sh, b.x2, b.y2, b.x1, b.y1, s->size);
        /* An umbra needs all of the disc off the side of the line its pixels lie on. */
        const double centre = b.ldy * b.lx - b.ldx * b.ly; /* positive on the right */
        const double s2 = s->size * s->size;
        if (centre <= 0 || centre * centre < s2 * (b.ldx * b.ldx + b.ldy * b.ldy))
            sh.umbra_count = -2;
    }
    return sh;
}

/* Whether the stretch from (x0, y) to (x1, y) lies inside the umbra's sides, by the margin. */
static bool in_umbra(const shadow_sides &sh, double x0, double x1, double y) {
    if (sh.umbra_count != 2)
        return false;
    for (int k = 0; k < 2; k++)
        if (sh.ux[k] * x0 + sh.uy[k] * y - sh.uc[k] >= -shadow_margin ||
            sh.ux[k] * x1 + sh.uy[k] * y - sh.uc[k] >= -shadow_margin)
            return false;
    return true;
}

/* A box of pixels, relative to the centre. */
struct pixel_box {
    double left, top, right, bottom;
};

/* The greatest of a x + b y + c over the box: at a corner. */
static double greatest_over(const pixel_box &box, double a, double b, double c) {
    return c + a * (a > 0 ? box.right : box.left) + b * (b > 0 ? box.bottom : box.top);
}

/* Whether all the box lies past one of the shadow's sides. */
static bool outside_shadow(const shadow_sides &sh, const pixel_box &box) {
    bool past = false;
    for (int k = 0; k < sh.count; k++)
        past |= greatest_over(box, sh.nx[k], sh.ny[k], -sh.c[k]) < -shadow_margin;
    return past;
}

/* Narrows the chunk's pixels first .. last - 1, from (x0, y) along the row, to those on the
 * inner side of every side of the shadow; false when none is. */
static bool within_shadow(const shadow_sides &sh, int64_t x0, int64_t y, int *first, int *last) {
    for (int k = 0; k < sh.count; k++)
        if (!keep_where(sh.nx[k] * double(x0) + sh.ny[k] * double(y) - sh.c[k], sh.nx[k],
                        -shadow_margin, first, last))
            return false;
    return true;
}

/* The stretch's view of the blocker: false when it hides nothing from any of its pixels. The
 * tiles' lists hold no blocker beyond the disc from all of their pixels: the polar side seldom
 * leaves one out, and is asked last. */
static bool sort_out(penumbra_scratch *s, int index, int64_t x0, int64_t y, int n,
                     chunk_blocker *out) {
    const blocker &b = s->blockers[size_t(index)];
    facing_lanes(b, x0, y, n, &out->first, &out->last);
    if (out->first >= out->last ||
        !within_shadow(shadow_of(s, index), x0, y, &out->first, &out->last))
        return false;
    const int side = polar_side(b, double(x0), double(x0 + n - 1), double(y), s->size * s->size);
    out->index = index;
    out->polar = side == 0;
    return side >= 0;
}

/* Whether the blocker hides nothing from any point of the box: the box lies on the right of
 * its line, or beyond the disc, or the disc on the left of the line. */
static bool hides_nothing_from(const blocker &b, const pixel_box &box, double size) {
    const double s2 = size * size;
    /* ldx (y - ly) - ldy (x - lx), negative on the left: integers, exact. */
    const double centre = b.ldy * b.lx - b.ldx * b.ly;
    const bool right = -greatest_over(box, b.ldy, -b.ldx, -centre) >= 0;
    const bool beyond =
        greatest_over(box, b.x1, b.y1, -s2) <= 0 && greatest_over(box, b.x2, b.y2, -s2) <= 0;
    return right || beyond ||
           (centre < 0 && centre * centre > s2 * (b.ldx * b.ldx + b.ldy * b.ldy));
}

/* Appends to s->tile_items the blockers that may hide some of the disc from a pixel of the
 * tile: those of the bins of its directions that lie nearer the centre than its farthest
 * corner, within the box of the tile and the disc, with some of the tile inside their
 * shadows' sides. */
static void list_tile(penumbra_scratch *s, int64_t column, int64_t row) {
    const double size = s->size;
    const double left = double(column * tile_width), right = left + (tile_width - 1);
    const double top = double(row * tile_height), bottom = top + (tile_height - 1);
    int first, count;
    bins_of_box(left, top, right, bottom, size, &first, &count);
    const pixel_box box = {left, top, right, bottom};
    const double far_x = std::max(-left, right), far_y = std::max(-top, bottom);
    const double far2 = far_x * far_x + far_y * far_y;
    const double box_left = std::min(left, -size), box_right = std::max(right, size);
    const double box_top = std::min(top, -size), box_bottom = std::max(bottom, size);
    start_listing(s);
    /* Locals: the stamps written do not make the compiler read the others again. */
    const blocker *blockers = s->blockers.data();
    const int *starts = s->bin_start.data(), *items = s->bin_items.data();
    uint32_t *stamps = s->stamps.data();
    const uint32_t stamp = s->stamp;
    /* Every blocker lies in bin_stride bins in a row at least: one bin in so many, and the
     * last, meet all those of the tile's bins. */
    for (int c = 0; c < count; c = c + s->bin_stride < count ? c + s->bin_stride
                                   : c + 1 < count           ? count - 1
                                                             : count) {
        const int bin = (first + c) % penumbra_bins;
        for (int k = starts[bin]; k < starts[bin + 1]; k++) {
            const int index = items[k];
            const blocker &b = blockers[index];
            if (b.near * b.near >= far2)
                break;
            if (stamps[index] == stamp)
                continue;
            stamps[index] = stamp;
            if (std::max(b.x1, b.x2) < box_left || std::min(b.x1, b.x2) > box_right ||
                std::max(b.y1, b.y2) < box_top || std::min(b.y1, b.y2) > box_bottom ||
                hides_nothing_from(b, box, size) || outside_shadow(shadow_of(s, index), box))
                continue;
            s->tile_items.push_back(index);
        }
    }
}

/* The tile's blockers, listed the first time it is asked for. The tiles are kept while the
 * gathered blockers are. */
static const row_tile &tile(penumbra_scratch *s, int64_t column, int64_t row) {
    if (!s->rows_ready) {
        s->rows_ready = true;
        s->tiles.assign(size_t(1) << (2 * tile_slot_bits), row_tile{0, 0, 0, -1});
        s->shadows.resize(s->blockers.size());
        s->run_blockers.resize(s->blockers.size());
        /* Shadows of other blockers are told apart by the gathering they were worked out for. */
        if (++s->gathering == 0) {
            for (shadow_sides &sh : s->shadows)
                sh.gathering = 0;
            s->gathering = 1;
        }
        s->bin_stride = 3;
        for (const bin_range &r : s->ranges)
            s->bin_stride =
                std::min(s->bin_stride, (r.last - r.first + penumbra_bins) % penumbra_bins + 1);
        s->tile_items.clear();
    }
    const int64_t mask = (int64_t(1) << tile_slot_bits) - 1;
    row_tile &t = s->tiles[size_t(((row & mask) << tile_slot_bits) | (column & mask))];
    if (t.count < 0 || t.column != column || t.row != row) {
        const size_t from = s->tile_items.size();
        list_tile(s, column, row);
        t = {column, row, int(from), int(s->tile_items.size() - from)};
    }
    return t;
}

/* Lists in s->run_blockers the blockers of the tiles of the n pixels from (x0, y), at most a
 * segment, each once, with the pixels they may hide some of the disc from. */
void list_segment_blockers(penumbra_scratch *s, int64_t x0, int64_t y, int n) {
    /* Shifts floor negative places too. */
    const int64_t row = y >> tile_row_bits, first = x0 >> tile_column_bits,
                  last = (x0 + n - 1) >> tile_column_bits;
    /* The tiles first: listing one restamps the blockers. */
    for (int64_t column = first; column <= last; column++)
        tile(s, column, row);
    start_listing(s);
    s->run_count = 0;
    for (int64_t column = first; column <= last; column++) {
        const row_tile &t = tile(s, column, row);
        for (int k = t.first; k < t.first + t.count; k++) {
            const int index = s->tile_items[size_t(k)];
            if (s->stamps[size_t(index)] == s->stamp)
                continue;
            s->stamps[size_t(index)] = s->stamp;
            chunk_blocker &c = s->run_blockers[size_t(s->run_count)];
            if (sort_out(s, index, x0, y, n, &c))
                s->run_count++;
        }
    }
}

/* Sorts out the segment's blockers for its chunk of n pixels from x0, `offset` pixels into the
 * segment, into s->chunk. True, leaving the list, when one of them hides all of the disc from
 * every pixel of the chunk. */
bool list_chunk_blockers(penumbra_scratch *s, int offset, int64_t x0, int64_t y, int n) {
    const double s2 = s->size * s->size, xa = double(x0), xb = double(x0 + n - 1);
    const double ya = double(y);
    /* Whether the chunk lies off the disc, nearest point included. */
    const double nearest = xa > 0 ? xa : (xb < 0 ? xb : 0);
    const bool off = nearest * nearest + ya * ya > s2;
    s->chunk_count = 0;
    for (int k = 0; k < s->run_count; k++) {
        const chunk_blocker &r = s->run_blockers[size_t(k)];
        const int first = std::max(r.first - offset, 0), last = std::min(r.last - offset, n);
        if (first >= last)
            continue;
        int side = 1;
        if (r.polar) {
            side = polar_side(s->blockers[size_t(r.index)], xa, xb, ya, s2);
            if (side < 0)
                continue;
        }
        if (off && side == 1 && first == 0 && last == n &&
            in_umbra(s->shadows[size_t(r.index)], xa, xb, ya))
            return true;
        s->chunk[size_t(s->chunk_count++)] = {r.index, first, last, side == 0};
    }
    return false;
}
