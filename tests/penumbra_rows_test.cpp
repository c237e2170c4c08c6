/* Penumbra rows worked out many pixels at a time, against the library's one-point share: every
 * pixel of rows across lamps of each kind, with both vector widths. */
#include "lamp_model.h"
#include "penumbra.h"

#include <random>

namespace {

using namespace lamp_model;

/* Random walls of up to `length` each way, clockwise boxes of that side, or walls of that
 * length one below the other, staggered: more than a chunk keeps lie between some pixels and
 * the lamp. */
enum layout { SEGMENTS, BOXES, STACK };

struct row_case {
    const char *name;
    unsigned seed;
    int walls, length;
    layout kind;
    int size, reach; /* the lamp's; past 4096 its rows are worked out in double */
    int step;        /* every step-th row of the box */
    /* How far the walls and the rows reach each way: 120 and 140 px (or the lamp's reach) when
     * 0. Far enough, rows and columns of tiles of pixels meet in the same slots. */
    int far;
};

const row_case row_cases[] = {
    {"segments", 1, 25, 60, SEGMENTS, 8, 120, 3, 0},
    {"boxes", 2, 40, 14, BOXES, 8, 120, 3, 0},
    {"small lamp", 3, 40, 14, BOXES, 1, 100, 4, 0},
    {"large lamp", 4, 30, 20, BOXES, 24, 120, 4, 0},
    {"lamp crossing walls", 5, 60, 40, SEGMENTS, 16, 100, 4, 0},
    {"crowded", 6, 400, 8, BOXES, 6, 90, 5, 0},
    {"wide reach, in double", 7, 30, 40, SEGMENTS, 5, 5000, 47, 0},
    {"walls far longer than the reach", 8, 40, 3000, SEGMENTS, 6, 120, 3, 0},
    {"many walls behind one another", 9, 36, 5, STACK, 8, 120, 3, 0},
    {"rows and walls far apart", 10, 300, 14, BOXES, 8, 700, 41, 700},
};

std::vector<wall> walls_of(const row_case &c) {
    std::mt19937 random(c.seed);
    std::vector<wall> walls;
    const int far = c.far ? c.far : 120;
    const auto coordinate = [&] { return int(random() % unsigned(2 * far)) - far; };
    for (int i = 0; i < c.walls; i++) {
        const int x = coordinate(), y = coordinate();
        if (c.kind == STACK) {
            const int left = -8 + (i * 3) % 16, row = 10 + 2 * i;
            walls.push_back({left, row, left + c.length, row, true});
        } else if (c.kind == BOXES) {
            const int s = c.length;
            walls.insert(walls.end(), {{x, y, x + s, y, false},
                                       {x + s, y, x + s, y + s, false},
                                       {x + s, y + s, x, y + s, false},
                                       {x, y + s, x, y, false}});
        } else {
            const int dx = int(random() % unsigned(2 * c.length + 1)) - c.length;
            const int dy = int(random() % unsigned(2 * c.length + 1)) - c.length;
            walls.push_back({x, y, x + dx, y + dy, i % 3 == 0});
        }
    }
    return walls;
}

const int piece_lengths[] = {1, 7, 16, 17, 40, 9};

TEST(PenumbraRows, MatchOnePointAtATime) {
    std::vector<float> shares(size_t(2 * 700 + 1));
    /* One scratch for every lamp: what the rows keep of a lamp's blockers must not outlive
     * them. */
    penumbra_scratch s;
    for (const row_case &c : row_cases) {
        const Set set = make_set(walls_of(c));
        /* The lamp at (3, -2); rows over at most 140 px each way of it, or far. */
        const int cx = 3, cy = -2, span = c.far ? c.far : std::min(c.reach, 140);
        gather_blockers(&s, set.get(), cx, cy, c.size, cx - c.reach, cy - c.reach, cx + c.reach,
                        cy + c.reach);
        int compared = 0, partial = 0;
        double worst = 0;
        /* Whole rows down, then up in stretches of many lengths: tiles of pixels are met again
         * out of order, and chunks start anywhere. */
        for (row_vectors vectors : {WIDEST_VECTORS, SSE2_VECTORS})
            for (bool whole : {true, false})
                for (int r = -span; r <= span; r += c.step) {
                    const int dy = whole ? r : -r;
                    for (int x = -span, piece = 0; x <= span; piece++) {
                        const int n =
                            whole ? 2 * span + 1 : std::min(span + 1 - x, piece_lengths[piece % 6]);
                        seen_shares_of_row(&s, x, dy, n, shares.data(), vectors);
                        for (int i = 0; i < n; i++) {
                            const double v = seen_share(&s, x + i, dy);
                            worst = std::max(worst, std::fabs(shares[size_t(i)] - v));
                            compared++;
                            partial += v > 0 && v < 1;
                        }
                        x += n;
                    }
                }
        EXPECT_LT(worst, 1e-4) << c.name;
        EXPECT_GT(partial, compared / 50) << c.name << ": too few pixels in a penumbra";
    }
}

} // namespace
