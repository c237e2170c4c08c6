#include "tile_level.h"

#include "shrouder_set.h"

#include <algorithm>
#include <cstdlib>
#include <random>

tile_level make_tile_level(int screen_w, int screen_h, int cell, int boxes, unsigned seed) {
    const int columns = screen_w * 3 / 2 / cell, rows = screen_h * 3 / 2 / cell;
    /* The screen sits in the middle of the grid. */
    const int left = (screen_w - columns * cell) / 2, top = (screen_h - rows * cell) / 2;
    std::vector<int> cells(size_t(columns) * rows);
    for (size_t i = 0; i < cells.size(); i++)
        cells[i] = int(i);
    std::mt19937 random(seed);
    std::shuffle(cells.begin(), cells.end(), random);

    tile_level level{create_shrouder_set(), {}};
    if (!level.set)
        abort();
    for (size_t i = 0; i < cells.size(); i++) {
        const int x = left + cells[i] % columns * cell, y = top + cells[i] / columns * cell;
        if (int(i) < boxes) {
            const int box[] = {x, y, x + cell, y, x + cell, y + cell, x, y + cell};
            if (add_outline_to_set(level.set, 4, box) < 0)
                abort();
        } else if (x >= 0 && y >= 0 && x + cell <= screen_w && y + cell <= screen_h) {
            level.free_centres.push_back({x + cell / 2, y + cell / 2});
        }
    }
    return level;
}

void light_colour(int i, int *r, int *g, int *b) {
    static const int hues[][3] = {{255, 160, 60},  {80, 160, 255},  {255, 80, 200}, {120, 255, 100},
                                  {255, 240, 140}, {160, 100, 255}, {60, 230, 230}, {255, 90, 70}};
    const int *hue = hues[i % 8];
    *r = hue[0];
    *g = hue[1];
    *b = hue[2];
}
