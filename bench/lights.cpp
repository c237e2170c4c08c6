#include "lights.h"

#include "bitmaps.h"

static const int grid_cells = 8;

std::vector<light> light_grid() {
    const int cell_w = demo_width / grid_cells, cell_h = demo_height / grid_cells;
    std::vector<light> lights;
    for (int row = 0; row < grid_cells; row++)
        for (int column = 0; column < grid_cells; column++)
            lights.push_back({column * cell_w + cell_w / 2, row * cell_h + cell_h / 2});
    return lights;
}
