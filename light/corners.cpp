/* Which corners of a lamp's blockers can end what a point behind them sees of the disc: the
 * corners listed once each with the edges meeting there, and the directions in which those
 * edges block one side of the line through the corner and not the other. */
#include "penumbra.h"

#include <algorithm>
#include <cmath>

/* The slot of the point (x, y) in a table of 2^bits slots: multiplicative hashing of its
 * integer parts (corners are whole points unless a blocker crosses the disc). */
static size_t corner_slot(double x, double y, int bits) {
    const uint64_t h =
        (uint64_t(int64_t(x)) * 0x9E3779B97F4A7C15u + uint64_t(int64_t(y))) * 0xC2B2AE3D27D4EB4Fu;
    return size_t(h >> (64 - bits));
}

/* The corner at the point (x, y), listed if new: the table s->corner_slots holds each listed
 * corner's index at its point's slot or the next free ones. */
static int corner_at(penumbra_scratch *s, double x, double y, int bits) {
    const size_t mask = (size_t(1) << bits) - 1;
    for (size_t k = corner_slot(x, y, bits);; k = (k + 1) & mask) {
        const int c = s->corner_slots[k];
        if (c < 0) {
            s->corner_slots[k] = int(s->corners.size() / 2);
            s->corners.insert(s->corners.end(), {x, y});
            s->corner_start.push_back(0);
            return s->corner_slots[k];
        }
        if (s->corners[2 * size_t(c)] == x && s->corners[2 * size_t(c) + 1] == y)
            return c;
    }
}

/* The corners of the blockers nearer the centre than `beyond`, each once, with the blockers
 * ending at each. */
void list_corners(penumbra_scratch *s, double beyond) {
    const size_t n = 2 * s->blockers.size();
    int bits = 4;
    while ((size_t(1) << bits) < 2 * n)
        bits++;
    s->corner_slots.assign(size_t(1) << bits, -1);
    s->corners.clear();
    s->corner_start.assign(1, 0);
    /* Each end's corner, -1 when beyond; corner_start[c + 1] counts corner c's ends. */
    std::vector<int> &end_corner = s->end_corners;
    end_corner.resize(n);
    for (size_t i = 0; i < n; i++) {
        const blocker &b = s->blockers[i / 2];
        const double x = (i & 1) ? b.x2 : b.x1, y = (i & 1) ? b.y2 : b.y1;
        end_corner[i] = x * x + y * y < beyond * beyond ? corner_at(s, x, y, bits) : -1;
        if (end_corner[i] >= 0)
            s->corner_start[size_t(end_corner[i]) + 1]++;
    }
    std::vector<int> &start = s->corner_start;
    const size_t corners = start.size() - 1;
    for (size_t c = 0; c < corners; c++)
        start[c + 1] += start[c];
    s->corner_items.resize(size_t(start[corners]));
    for (size_t i = 0; i < n; i++)
        if (end_corner[i] >= 0)
            s->corner_items[size_t(start[size_t(end_corner[i])]++)] = int(i / 2);
    for (size_t c = corners; c > 0; c--)
        start[c] = start[c - 1];
    start[0] = 0;
}

/* Whether the edges meeting at q (the blockers first .. last - 1) block exactly one side of the
 * line through q along the direction (dx, dy) (from a point behind q towards the disc): then q
 * ends a blocked stretch for the points behind it on that line. An edge blocks a side when it
 * leaves q towards that side and the points behind q lie strictly on its left. */
static bool one_side_blocked(const penumbra_scratch *s, const int *first, const int *last,
                             double qx, double qy, double dx, double dy) {
    bool blocked[2] = {false, false};
    for (const int *i = first; i < last; i++) {
        const blocker &b = s->blockers[size_t(*i)];
        if (b.ldx * dy - b.ldy * dx <= 0)
            continue;
        const bool from_first = b.x1 == qx && b.y1 == qy;
        const double ex = (from_first ? b.x2 : b.x1) - qx, ey = (from_first ? b.y2 : b.y1) - qy;
        const double side = ey * dx - ex * dy;
        if (side != 0)
            blocked[side > 0] = true;
    }
    return blocked[0] != blocked[1];
}

/* The directions towards the disc, as angles from the direction to the centre, in which the
 * corner q at distance d ends a blocked stretch by the edges meeting at q alone, in s->kept:
 * that only changes where their lines pass, seldom inside the disc's narrow angle, and then
 * all directions are kept or none. Their count of stretches. */
size_t corner_ends(penumbra_scratch *s, size_t corner, double qx, double qy, double d) {
    const int *first = s->corner_items.data() + s->corner_start[corner];
    const int *last = s->corner_items.data() + s->corner_start[corner + 1];
    const double vx = -qx / d, vy = -qy / d;
    std::vector<double> &cuts = s->cuts, &kept = s->kept;
    kept.clear();
    cuts.clear();
    /* The sines of the cuts' angles, within the disc's angle (widened) or a little beyond. */
    const double inside = s->size / d + corner_slack;
    for (const int *i = first; i < last; i++) {
        const blocker &b = s->blockers[size_t(*i)];
        const double length = std::sqrt(b.ldx * b.ldx + b.ldy * b.ldy);
        const double across = (vx * b.ldy - vy * b.ldx) / length, along = vx * b.ldx + vy * b.ldy;
        if (std::fabs(across) < inside)
            cuts.push_back(along > 0 ? across : -across);
    }
    if (cuts.empty()) {
        if (one_side_blocked(s, first, last, qx, qy, vx, vy))
            kept.insert(kept.end(), {-HUGE_VAL, HUGE_VAL});
        return kept.size() / 2;
    }
    const double half = std::asin(s->size / d) + corner_slack;
    size_t n = 0;
    for (double sine : cuts)
        if (std::fabs(std::asin(sine)) < half)
            cuts[n++] = std::asin(sine);
    cuts.resize(n);
    cuts.insert(cuts.end(), {-half, half});
    std::sort(cuts.begin(), cuts.end());
    for (size_t c = 0; c + 1 < cuts.size(); c++) {
        if (!(cuts[c + 1] > cuts[c]))
            continue;
        const double middle = 0.5 * (cuts[c] + cuts[c + 1]);
        const double cm = std::cos(middle), sm = std::sin(middle);
        if (!one_side_blocked(s, first, last, qx, qy, vx * cm - vy * sm, vx * sm + vy * cm))
            continue;
        if (!kept.empty() && kept.back() == cuts[c])
            kept.back() = cuts[c + 1];
        else
            kept.insert(kept.end(), {cuts[c], cuts[c + 1]});
    }
    return kept.size() / 2;
}

/* Keeps of s->seen only the directions s->kept holds too. */
void keep_ends(penumbra_scratch *s) {
    const std::vector<double> &seen = s->seen, &ends = s->kept;
    std::vector<double> &both = s->cuts;
    both.clear();
    for (size_t i = 0, j = 0; i < seen.size() && j < ends.size();) {
        const double from = std::max(seen[i], ends[j]), to = std::min(seen[i + 1], ends[j + 1]);
        if (from < to)
            both.insert(both.end(), {from, to});
        if (seen[i + 1] < ends[j + 1])
            i += 2;
        else
            j += 2;
    }
    s->seen.swap(both);
}
