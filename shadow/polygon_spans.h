/* Internal to the shadow module: the horizontal runs that Allegro's polygon() fills, without
 * filling them. A shrouder set unites the runs of many shadows and fills each pixel once, so its
 * runs must be exactly polygon()'s: this is the library's scanline filler step for step, with
 * each run clipped as its horizontal line routine clips it.
 *
 * The filler keeps x in fixed point with 18 fraction bits. Instantiated on int32_t it is the
 * library's own, wrapping included: exact on bitmaps narrower than 2^13 pixels, where nothing
 * wraps. Instantiated on int64_t it is the same filler without the wrapping, exact on every
 * bitmap the module draws on; on bitmaps narrower than 2^13 pixels both give the same runs. */
#ifndef POLYGON_SPANS_H
#define POLYGON_SPANS_H

#include <stdint.h>
#include <type_traits>

/* The clipping rectangle: columns left .. right - 1, rows top .. bottom - 1. */
struct span_clip {
    int left, top, right, bottom;
};

enum { polygon_fix_shift = 18, polygon_max_edges = 8 };

/* Bitmaps narrower than this are filled by the library's polygon() or its 32-bit twin. */
enum { polygon_exact_width = 1 << (31 - polygon_fix_shift) };

/* One edge of the filler, top to bottom, x in fixed point of type T. */
template <class T> struct span_edge {
    int top, bottom;
    T x, dx, w;
    int prev, next;
};

template <class T> static inline T wrapped_add(T a, T b) {
    typedef typename std::make_unsigned<T>::type U;
    return T(U(a) + U(b));
}

template <class T> static inline T wrapped_shift(T a, int s) {
    typedef typename std::make_unsigned<T>::type U;
    return T(U(a) << s);
}

template <class T> static inline T wrapped_abs(T a) {
    typedef typename std::make_unsigned<T>::type U;
    return a >= 0 ? a : T(U(0) - U(a));
}

template <class T> static inline span_edge<T> make_span_edge(const int *i1, const int *i2) {
    if (i2[1] < i1[1]) {
        const int *t = i1;
        i1 = i2;
        i2 = t;
    }
    span_edge<T> e;
    e.top = i1[1];
    e.bottom = i2[1];
    e.x = wrapped_add(wrapped_shift(T(i1[0]), polygon_fix_shift), T(1) << (polygon_fix_shift - 1));
    const T run = wrapped_shift(wrapped_add(T(i2[0]), T(-T(i1[0]))), polygon_fix_shift);
    e.dx = i2[1] != i1[1] ? run / (i2[1] - i1[1]) : wrapped_shift(run, 1);
    const T w = wrapped_add(wrapped_abs(e.dx), T(-1));
    e.w = w > 0 ? w : 0;
    e.prev = e.next = -1;
    if (e.dx < 0)
        e.x = wrapped_add(e.x, T(e.dx / 2));
    return e;
}

/* The filler's x of an edge on row c, top <= c <= bottom, as its row-by-row stepping leaves it:
 * the half step taken off after the top row of a rising edge and before the bottom row of a
 * falling one. */
template <class T> static inline T span_edge_x(const span_edge<T> &e, int c) {
    typedef typename std::make_unsigned<T>::type U;
    T x = wrapped_add(e.x, T(U(int64_t(c) - e.top) * U(e.dx)));
    if (e.dx > 0 && c > e.top)
        x = wrapped_add(x, T(-(e.dx / 2)));
    if (e.dx < 0 && c == e.bottom && c > e.top)
        x = wrapped_add(x, T(-(e.dx / 2)));
    return x;
}

/* Inserts into a list kept sorted by top (by_x false) or by x: before the first equal or larger
 * key, as the library does, or after the equal keys when `after_ties`. */
template <class T>
static inline int add_span_edge(span_edge<T> *edges, int list, int i, bool by_x,
                                bool after_ties = false) {
    const T key = by_x ? edges[i].x : T(edges[i].top);
    int pos = list, prev = -1;
    while (pos >= 0) {
        const T other = by_x ? edges[pos].x : T(edges[pos].top);
        if (after_ties ? other > key : other >= key)
            break;
        prev = pos;
        pos = edges[pos].next;
    }
    edges[i].next = pos;
    edges[i].prev = prev;
    if (pos >= 0)
        edges[pos].prev = i;
    if (prev >= 0) {
        edges[prev].next = i;
        return list;
    }
    return i;
}

template <class T> static inline int remove_span_edge(span_edge<T> *edges, int list, int i) {
    if (edges[i].next >= 0)
        edges[edges[i].next].prev = edges[i].prev;
    if (edges[i].prev >= 0) {
        edges[edges[i].prev].next = edges[i].next;
        return list;
    }
    return edges[i].next;
}

/* Moves every active edge on by `rows` plain steps and sorts the list again as stepping row by
 * row would have kept it: edges are straight in between, so two of them swap at most once, and
 * moving an edge back only past strictly larger x keeps ties in their order. */
template <class T> static inline int skip_span_rows(span_edge<T> *edges, int active, int rows) {
    typedef typename std::make_unsigned<T>::type U;
    for (int i = active; i >= 0; i = edges[i].next)
        edges[i].x = T(U(edges[i].x) + U(rows) * U(edges[i].dx));
    int sorted = -1;
    for (int i = active, next; i >= 0; i = next) {
        next = edges[i].next;
        sorted = add_span_edge(edges, sorted, i, true, true);
    }
    return sorted;
}

/* The row to jump to from row c, above the clip, or c + 1: every active edge must be strictly
 * inside its rows, with no half step on the way, and no edge may start before it. */
template <class T>
static inline int quiet_until(const span_edge<T> *edges, int active, int inactive, int c,
                              int limit) {
    int next = limit;
    if (inactive >= 0 && edges[inactive].top < next)
        next = edges[inactive].top;
    for (int i = active; i >= 0; i = edges[i].next) {
        if (edges[i].top >= c)
            return c + 1;
        if (edges[i].bottom - 1 < next)
            next = edges[i].bottom - 1;
    }
    return next > c + 1 ? next : c + 1;
}

/* Rows c .. next - 1 crossed by two edges alone, neither starting nor ending on them: the
 * filler draws the pixels of the left edge, fills up to the right edge and draws its pixels,
 * never left of column 0, which makes one run from the leftmost pixel to the rightmost. */
template <class T, class Fill>
void two_edge_runs(const span_edge<T> &a, const span_edge<T> &b, int c, int next, Fill &fill) {
    const int shift = polygon_fix_shift;
    T xa = a.x, xb = b.x;
    for (int y = c; y < next; y++) {
        const int left = int((xa < xb ? xa : xb) >> shift);
        const int end_a = int(wrapped_add(xa, a.w) >> shift),
                  end_b = int(wrapped_add(xb, b.w) >> shift);
        const int lo = left > 0 ? left : 0, hi = end_a > end_b ? end_a : end_b;
        if (lo <= hi)
            fill(lo, y, hi);
        xa = wrapped_add(xa, a.dx);
        xb = wrapped_add(xb, b.dx);
    }
}

/* Calls run(y, x1, x2) for every run polygon() would fill, clipped; at most eight vertices.
 * Rows above the clip are stepped over in bulk where nothing happens on them. With T = int64_t
 * the points must lie within +/-2^24 so that no pixel column overflows an int. */
template <class T, class Run>
void polygon_spans(int count, const int *points, const span_clip &clip, Run run) {
    if (clip.left >= clip.right || clip.top >= clip.bottom)
        return;
    span_edge<T> edges[polygon_max_edges];
    int inactive = -1, active = -1, top = INT32_MAX, bottom = INT32_MIN;
    const int *i1 = points, *i2 = points + 2 * (count - 1);
    for (int c = 0; c < count; c++) {
        edges[c] = make_span_edge<T>(i1, i2);
        top = edges[c].top < top ? edges[c].top : top;
        bottom = edges[c].bottom > bottom ? edges[c].bottom : bottom;
        inactive = add_span_edge(edges, inactive, c, false);
        i2 = i1;
        i1 += 2;
    }
    if (bottom >= clip.bottom)
        bottom = clip.bottom - 1;
    auto fill = [&](int x1, int y, int x2) {
        x1 = x1 < clip.left ? clip.left : x1;
        x2 = x2 >= clip.right ? clip.right - 1 : x2;
        if (x1 <= x2 && y >= clip.top && y < clip.bottom)
            run(y, x1, x2);
    };
    const int shift = polygon_fix_shift;
    for (int c = top; c <= bottom; c++) {
        while (inactive >= 0 && edges[inactive].top == c) {
            const int e = inactive;
            inactive = remove_span_edge(edges, inactive, e);
            active = add_span_edge(edges, active, e, true);
        }
        if (c < clip.top) {
            const int next = quiet_until(edges, active, inactive, c, clip.top);
            if (next > c + 1) {
                active = skip_span_rows(edges, active, next - c);
                c = next - 1;
                continue;
            }
        } else if (active >= 0 && edges[active].next >= 0 && edges[edges[active].next].next < 0) {
            const int next = quiet_until(edges, active, inactive, c, bottom + 1);
            if (next > c + 1) {
                two_edge_runs(edges[active], edges[edges[active].next], c, next, fill);
                active = skip_span_rows(edges, active, next - c);
                c = next - 1;
                continue;
            }
        }
        int hid = 0, b1 = 0, up = 0, draw = 0;
        for (int i = active; i >= 0 && c >= clip.top; i = edges[i].next) {
            const span_edge<T> &e = edges[i];
            T w = e.w;
            if (e.bottom != c)
                up = 1 - up;
            else
                w = e.w >> 1;
            if (e.top == c)
                w = e.w >> 1;
            const int end = int(wrapped_add(e.x, w) >> shift), start = int(e.x >> shift);
            if (draw < 1 && up >= 1) {
                b1 = end;
            } else if (draw >= 1) {
                hid = hid > b1 + 1 ? hid : b1 + 1;
                if (hid <= start - 1)
                    fill(hid, c, start - 1);
                b1 = end;
            }
            hid = hid > start ? hid : start;
            if (hid <= end) {
                fill(hid, c, end);
                hid = end + 1;
            }
            draw = up;
        }
        for (int i = active, next; i >= 0; i = next) {
            span_edge<T> &e = edges[i];
            next = e.next;
            if (c >= e.bottom) {
                active = remove_span_edge(edges, active, i);
                continue;
            }
            e.x = wrapped_add(e.x, e.dx);
            if (e.top == c && e.dx > 0)
                e.x = wrapped_add(e.x, T(-(e.dx / 2)));
            if (e.bottom == c + 1 && e.dx < 0)
                e.x = wrapped_add(e.x, T(-(e.dx / 2)));
            while (e.prev >= 0 && e.x < edges[e.prev].x) {
                const int p = e.prev;
                if (e.next >= 0)
                    edges[e.next].prev = p;
                edges[p].next = e.next;
                e.next = p;
                e.prev = edges[p].prev;
                edges[p].prev = i;
                if (e.prev >= 0)
                    edges[e.prev].next = i;
                else
                    active = i;
            }
        }
    }
}

#endif
