/* The share of a lamp's disc seen from every pixel of a stretch of a row, many pixels at a time.
 *
 * A stretch's blockers are listed and sorted out a segment at a time (row_blockers.cpp); a chunk
 * of the segment takes those that reach it and works them out on every pixel of the chunk at
 * once, in plain loops the compiler turns into vector code. The blocked stretches are joined
 * without sorting: a stretch adds what lies beyond the farthest end of the stretches that start
 * before it. A chunk inside one blocker's umbra is dark without that work. */
/* The vector helpers are inlined into the entry points below, whatever the machine's vectors:
 * no call passes a vector across an ABI. */
#pragma GCC diagnostic ignored "-Wpsabi"
#include "penumbra.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#define inline_always inline __attribute__((always_inline))

namespace {

/* Pixels worked out together, at most. */
const int lanes = 16;
/* Blockers a chunk can keep; more (seldom) and its pixels are worked out one at a time. */
const int most_kept = 24;

/* Vectors of `bytes` bytes of `real`, and of integers as wide for their comparisons. */
template <typename real, int bytes> struct vectors {
    typedef real type __attribute__((vector_size(bytes)));
    typedef typename std::conditional<sizeof(real) == 4, int32_t, int64_t>::type integer;
    typedef integer mask __attribute__((vector_size(bytes)));
};

/* The `chunk` pixels of a chunk, relative to the centre, a vector at a time. */
template <typename real, int bytes, int chunk> struct chunk_pixels {
    typedef typename vectors<real, bytes>::type vec;
    static const int width = int(sizeof(vec) / sizeof(real)), count = chunk / width;
    vec x[count], y[count];
    vec t[count];       /* the tangent of the disc's half-angle, 0 for a pixel on the disc */
    vec index[count];   /* each pixel's place in the chunk */
    vec squared[count]; /* x^2 + y^2 */
    real row;           /* the pixels' y */
};

template <typename real, int bytes, int chunk> struct stretches {
    typedef typename vectors<real, bytes>::type vec;
    vec lo[most_kept][chunk_pixels<real, bytes, chunk>::count],
        hi[most_kept][chunk_pixels<real, bytes, chunk>::count];
};

} // namespace

/* The vector with every lane v. */
template <typename vec> inline_always static vec splat(float v) {
    vec lanes = {};
    return lanes + v;
}

/* atan(y / x) for y >= 0 and x > 0, with one division. */
template <typename vec> inline_always static vec atan_of_ratio(vec y, vec x) {
    const vec p = atan_to_one((y < x ? y : x) / (y < x ? x : y));
    return y > x ? 1.57079632679489662f - p : p;
}

template <typename vec> inline_always static vec vector_atan(vec v) {
    const vec r = atan_of_ratio(v < 0 ? -v : v, splat<vec>(1));
    return v < 0 ? -r : r;
}

/* The stretch of tangents the blocker hides from each pixel of the chunk, within [-t, t];
 * empty (lo = hi = t) where it hides none. */
template <typename real, int bytes, int chunk>
inline_always static void hidden_in_lanes(const blocker &b, const chunk_blocker &c,
                                          const chunk_pixels<real, bytes, chunk> &p, real s2,
                                          typename vectors<real, bytes>::type *lo,
                                          typename vectors<real, bytes>::type *hi) {
    typedef typename vectors<real, bytes>::type vec;
    typedef typename vectors<real, bytes>::mask mask;
    const real x1 = real(b.x1), y1 = real(b.y1), x2 = real(b.x2), y2 = real(b.y2);
    const real inf = real(HUGE_VAL), first = real(c.first), last = real(c.last);
    const real y = p.row;
    for (int k = 0; k < p.count; k++) {
        const vec px = p.x[k], py = p.y[k], t = p.t[k], pp = p.squared[k];
        /* Along the direction to the centre, -p, and across it: scaled by the distance, which
         * tangents do not see. For an end e, (e - p) . -p and (e - p) x -p; a row's pixels
         * share their y. */
        const vec a1 = pp - (x1 * px + y1 * y), b1 = x1 * y - y1 * px;
        const vec a2 = pp - (x2 * px + y2 * y), b2 = x2 * y - y2 * px;
        /* Seen from a pixel on its left, the first end lies to the right of the second: an end
         * behind the pixel leaves the stretch open on its side. */
        const vec k1 = a1 > 0 ? a1 : splat<vec>(1), k2 = a2 > 0 ? a2 : splat<vec>(1);
        const vec both = 1 / (k1 * k2); /* one division for the two ends */
        const vec t1 = a1 > 0 ? b1 * k2 * both : inf, t2 = a2 > 0 ? b2 * k1 * both : -inf;
        const vec l = t2 > -t ? t2 : -t, h = t1 < t ? t1 : t;
        mask hides = ((a1 > 0) | (a2 > 0)) & (l < h) & (p.index[k] >= first) & (p.index[k] < last);
        if (c.polar) {
            /* The blocker's point in the stretch's middle direction, m: in front of the disc
             * when on the pixel's side of its polar line. */
            const vec m = real(0.5) * (l + h);
            const vec across = (b2 - b1) - m * (a2 - a1);
            const vec g1 = x1 * px + y1 * py - s2, gl = (x2 - x1) * px + (y2 - y1) * py;
            const vec side = g1 * across + (m * a1 - b1) * gl;
            hides &= side * across > 0;
        }
        lo[k] = hides ? l : t;
        hi[k] = hides ? h : t;
    }
}

/* The angle hidden from each pixel, in hidden: what each stretch adds beyond the farthest end of
 * those that start before it (ties broken by order). While the disc's half-angle is below 45
 * degrees, the angles added sum to less than a right angle: they are summed as the arguments of
 * complex numbers, by multiplying these, into hidden (real part) and across (imaginary); otherwise
 * with two atans a stretch. */
template <typename real, int bytes, int chunk>
inline_always static void hidden_angles(const stretches<real, bytes, chunk> &s, int kept,
                                        bool narrow, typename vectors<real, bytes>::type *hidden,
                                        typename vectors<real, bytes>::type *across) {
    typedef typename vectors<real, bytes>::type vec;
    const int count = chunk_pixels<real, bytes, chunk>::count;
    for (int v = 0; v < count; v++) {
        vec re = splat<vec>(1), im = splat<vec>(0), sum = splat<vec>(0);
        for (int k = 0; k < kept; k++) {
            const vec lk = s.lo[k][v], h = s.hi[k][v];
            vec from = lk;
            for (int j = 0; j < kept; j++) {
                if (j == k)
                    continue;
                const vec lj = s.lo[j][v], hj = s.hi[j][v];
                const auto before = j < k ? lj <= lk : lj < lk;
                from = (before & (hj > from)) ? hj : from;
            }
            if (narrow) {
                /* atan(h) - atan(from) is the argument of 1 + h from + (h - from) i. */
                const vec gap = h > from ? h - from : splat<vec>(0), along = 1 + h * from;
                const vec r = re * along - im * gap;
                im = re * gap + im * along;
                re = r;
            } else {
                sum += h > from ? vector_atan(h) - vector_atan(from) : splat<vec>(0);
            }
        }
        hidden[v] = narrow ? re : sum;
        across[v] = im;
    }
}

template <typename real, int bytes, int chunk>
inline_always static void shares_of_chunk(penumbra_scratch *s, const chunk_blocker *chosen,
                                          int count, int64_t x0, int64_t y, int n, float *shares) {
    typedef typename vectors<real, bytes>::type vec;
    chunk_pixels<real, bytes, chunk> p;
    const int width = p.width;
    const real size = real(s->size), s2 = size * size;
    real xs[chunk], ys[chunk], ts[chunk], places[chunk];
    const real x = real(x0), yy = real(y);
    /* Pixels past the n-th repeat the last one. */
    for (int i = 0; i < chunk; i++) {
        xs[i] = x + real(i < n ? i : n - 1);
        ys[i] = yy;
        places[i] = real(i);
        const real beyond = xs[i] * xs[i] + yy * yy - s2;
        const real t = size / std::sqrt(beyond > 0 ? beyond : real(1));
        ts[i] = beyond > 0 ? t : real(0);
    }
    memcpy(p.x, xs, sizeof xs);
    memcpy(p.y, ys, sizeof ys);
    memcpy(p.t, ts, sizeof ts);
    typename vectors<real, bytes>::mask wide = {};
    for (int v = 0; v < p.count; v++)
        wide |= p.t[v] >= 1;
    uint64_t words[sizeof wide / 8], any = 0;
    memcpy(words, &wide, sizeof words);
    for (uint64_t w : words)
        any |= w;
    const bool narrow = any == 0;
    memcpy(p.index, places, sizeof places);
    p.row = yy;
    for (int v = 0; v < p.count; v++)
        p.squared[v] = p.x[v] * p.x[v] + yy * yy;
    /* Every chosen blocker may hide some of the disc from some pixel: its stretches are all
     * kept, the empty ones adding nothing. */
    stretches<real, bytes, chunk> st;
    for (int k = 0; k < count; k++)
        hidden_in_lanes(s->blockers[size_t(chosen[k].index)], chosen[k], p, real(s2), st.lo[k],
                        st.hi[k]);
    vec hidden[p.count], across[p.count];
    hidden_angles(st, count, narrow, hidden, across);
    for (int v = 0; v < p.count; v++) {
        const vec t = p.t[v];
        vec seen;
        if (narrow) {
            /* 1 - atan(across / hidden) / (2 atan(t)), t < 1, with one division. */
            const vec re = hidden[v] > 0 ? hidden[v] : splat<vec>(0), im = across[v];
            const vec big = im > re ? im : re, small = im > re ? re : im;
            const vec twice = 2 * atan_to_one(t), inverse = 1 / (big * twice);
            const vec p = atan_to_one(small * twice * inverse);
            const vec angle = im > re ? 1.57079632679489662f - p : p;
            seen = t > 0 ? 1 - angle * big * inverse : splat<vec>(1);
        } else {
            seen = t > 0 ? 1 - hidden[v] / (2 * vector_atan(t)) : splat<vec>(1);
        }
        const vec share = seen < 0 ? splat<vec>(0) : (seen > 1 ? splat<vec>(1) : seen);
        for (int i = 0; i < width && v * width + i < n; i++)
            shares[v * width + i] = float(share[i]);
    }
}

/* The chunk's shares in vectors of that many bytes, single or double as the lamp needs. */
template <int bytes>
inline_always static void shares_in(penumbra_scratch *s, int64_t x0, int64_t y, int n,
                                    float *shares) {
    const chunk_blocker *chosen = s->chunk.data();
    const int count = s->chunk_count;
    /* Half as many lanes for a short chunk. */
    if (s->single && n > lanes / 2)
        shares_of_chunk<float, bytes, lanes>(s, chosen, count, x0, y, n, shares);
    else if (s->single)
        shares_of_chunk<float, bytes, lanes / 2>(s, chosen, count, x0, y, n, shares);
    else if (n > lanes / 2)
        shares_of_chunk<double, bytes, lanes>(s, chosen, count, x0, y, n, shares);
    else
        shares_of_chunk<double, bytes, lanes / 2>(s, chosen, count, x0, y, n, shares);
}

/* With the machine's widest vectors: AVX2 where the processor has it, SSE2 (every x86-64)
 * otherwise. */
__attribute__((target("avx2,fma"))) static void shares_avx2(penumbra_scratch *s, int64_t x0,
                                                            int64_t y, int n, float *shares) {
    shares_in<32>(s, x0, y, n, shares);
}

static void shares_sse2(penumbra_scratch *s, int64_t x0, int64_t y, int n, float *shares) {
    shares_in<16>(s, x0, y, n, shares);
}

static bool has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

void seen_shares_of_row(penumbra_scratch *s, int64_t x0, int64_t y, int n, float *shares,
                        row_vectors vectors) {
    static const bool has = has_avx2();
    const bool avx2 = has && vectors == WIDEST_VECTORS;
    if (s->blockers.empty()) {
        std::fill(shares, shares + n, 1.0f);
        return;
    }
    for (int start = 0; start < n; start += penumbra_segment) {
        const int length = std::min(penumbra_segment, n - start);
        list_segment_blockers(s, x0 + start, y, length);
        for (int from = start; from < start + length; from += lanes) {
            const int count = std::min(lanes, start + length - from);
            const int64_t x = x0 + from;
            if (list_chunk_blockers(s, from - start, x, y, count)) {
                std::fill(shares + from, shares + from + count, 0.0f);
            } else if (s->chunk_count > most_kept) {
                for (int i = 0; i < count; i++)
                    shares[from + i] = float(seen_share(s, double(x + i), double(y)));
            } else if (avx2) {
                shares_avx2(s, x, y, count, shares + from);
            } else {
                shares_sse2(s, x, y, count, shares + from);
            }
        }
    }
}
