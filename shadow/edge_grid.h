/* Internal to the shadow module: a uniform grid of square cells over a set's edges. Each cell
 * lists every edge that has a point in it (a point on a cell line belongs to the cell right of
 * it or below it), and possibly a few more. */
#ifndef EDGE_GRID_H
#define EDGE_GRID_H

#include <stddef.h>
#include <stdint.h>
#include <vector>

struct grid_entry {
    int edge, next;
};

struct edge_grid {
    int64_t x0 = 0, y0 = 0;
    int cell = 1, cols = 0, rows = 0;
    std::vector<int> heads; /* first entry of each cell, row by row, or -1 */
    std::vector<grid_entry> entries;

    /* An empty grid over the box from (min_x, min_y) to (max_x, max_y) with room around it,
     * its cells sized for about `edge_count` edges of a tile map. May throw std::bad_alloc. */
    void reset(int64_t min_x, int64_t min_y, int64_t max_x, int64_t max_y, int edge_count);

    bool covers(int x1, int y1, int x2, int y2) const;

    /* Lists edges 0 .. count - 1 in an empty grid, each cell's entries side by side in memory;
     * ends(i, xy) gives edge i as x1, y1, x2, y2. May throw std::bad_alloc. */
    template <class Ends> void fill(int count, Ends ends);

    /* Lists the edge in every cell that the segment touches. May throw std::bad_alloc. */
    void insert(int edge, int x1, int y1, int x2, int y2);

    int64_t cell_x(int64_t x) const {
        return floor_div(x - x0, cell);
    }
    int64_t cell_y(int64_t y) const {
        return floor_div(y - y0, cell);
    }

    /* Calls visit(cell index) for every cell of the grid that the closed segment touches. */
    template <class Visit>
    void for_each_cell(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Visit visit) const;

    static int64_t floor_div(int64_t a, int64_t b) {
        return a / b - (a % b != 0 && (a < 0) != (b < 0));
    }

  private:
    template <class Visit>
    void visit_column(int cx, int64_t y_from, int64_t y_to, Visit visit) const;
};

/* Floor of the y of the line through (x1, y1) and (x2, y2), x1 < x2, at x. */
static inline int64_t line_y_floor(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t x) {
    const __int128 num = __int128(y1) * (x2 - x1) + __int128(x - x1) * (y2 - y1);
    const __int128 den = x2 - x1;
    return int64_t(num / den - (num % den != 0 && num < 0));
}

template <class Visit>
void edge_grid::visit_column(int cx, int64_t y_from, int64_t y_to, Visit visit) const {
    int64_t from = cell_y(y_from < y_to ? y_from : y_to),
            to = cell_y(y_from < y_to ? y_to : y_from);
    from = from < 0 ? 0 : from;
    to = to >= rows ? rows - 1 : to;
    for (int64_t cy = from; cy <= to; cy++)
        visit(int(cy) * cols + cx);
}

template <class Visit>
void edge_grid::for_each_cell(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Visit visit) const {
    if (x2 < x1) {
        int64_t t = x1;
        x1 = x2;
        x2 = t;
        t = y1;
        y1 = y2;
        y2 = t;
    }
    const int64_t first = cell_x(x1) < 0 ? 0 : cell_x(x1);
    const int64_t last = cell_x(x2) >= cols ? cols - 1 : cell_x(x2);
    for (int cx = int(first); cx <= last; cx++) {
        if (x1 == x2) {
            visit_column(cx, y1, y2, visit);
            continue;
        }
        /* The part of the segment over this column of cells, ends included. */
        const int64_t left = x0 + int64_t(cx) * cell, right = left + cell;
        const int64_t a = x1 > left ? x1 : left, b = x2 < right ? x2 : right;
        visit_column(cx, line_y_floor(x1, y1, x2, y2, a), line_y_floor(x1, y1, x2, y2, b), visit);
    }
}

template <class Ends> void edge_grid::fill(int count, Ends ends) {
    std::vector<int> starts(heads.size() + 1, 0);
    auto each_cell = [&](int i, auto visit) {
        int xy[4];
        ends(i, xy);
        for_each_cell(xy[0], xy[1], xy[2], xy[3], visit);
    };
    for (int i = 0; i < count; i++)
        each_cell(i, [&](int cell) { starts[size_t(cell) + 1]++; });
    for (size_t c = 1; c < starts.size(); c++)
        starts[c] += starts[c - 1];
    entries.assign(size_t(starts.back()), grid_entry{0, -1});
    std::vector<int> next(starts.begin(), starts.end() - 1);
    for (int i = 0; i < count; i++)
        each_cell(i, [&](int cell) { entries[size_t(next[size_t(cell)]++)].edge = i; });
    for (size_t c = 0; c < heads.size(); c++) {
        if (starts[c] == starts[c + 1])
            continue;
        heads[c] = starts[c];
        for (int j = starts[c]; j + 1 < starts[c + 1]; j++)
            entries[size_t(j)].next = j + 1;
    }
}

#endif
