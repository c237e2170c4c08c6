#include "edge_grid.h"

#include <math.h>

/* Cells per side at most: beyond it a grid would cost more memory than it saves time. */
static const int64_t max_cells_per_side = 1024;
static const int64_t min_cell = 8;

void edge_grid::reset(int64_t min_x, int64_t min_y, int64_t max_x, int64_t max_y, int edge_count) {
    const int64_t width = max_x - min_x + 1, height = max_y - min_y + 1;
    /* About one edge per cell on a tile map: a box's four edges share its cell and its
     * neighbours'. */
    const double per_edge = double(width) * double(height) / (edge_count > 0 ? edge_count : 1);
    int64_t size = int64_t(sqrt(per_edge));
    size = size < min_cell ? min_cell : size;
    /* Room to grow by a quarter on every side before the grid has to be made again. */
    const int64_t pad_x = width / 4 + size, pad_y = height / 4 + size;
    const int64_t span = (width > height ? width : height) + 2 * (pad_x > pad_y ? pad_x : pad_y);
    if (span / size > max_cells_per_side)
        size = span / max_cells_per_side + 1;
    cell = int(size);
    x0 = min_x - pad_x;
    y0 = min_y - pad_y;
    cols = int((width + 2 * pad_x) / size + 1);
    rows = int((height + 2 * pad_y) / size + 1);
    entries.clear();
    heads.assign(size_t(cols) * size_t(rows), -1);
}

bool edge_grid::covers(int x1, int y1, int x2, int y2) const {
    auto inside = [&](int x, int y) {
        return cell_x(x) >= 0 && cell_x(x) < cols && cell_y(y) >= 0 && cell_y(y) < rows;
    };
    return inside(x1, y1) && inside(x2, y2);
}

void edge_grid::insert(int edge, int x1, int y1, int x2, int y2) {
    for_each_cell(x1, y1, x2, y2, [&](int c) {
        entries.push_back(grid_entry{edge, heads[size_t(c)]});
        heads[size_t(c)] = int(entries.size()) - 1;
    });
}
