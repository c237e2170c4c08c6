#include "tile_map.h"

#include "shrouder_set.h"

#include <algorithm>
#include <math.h>
#include <random>

static const int tile_size = 24;
static const double filled_share = 0.28;

tile_map make_tile_map(int boxes, int width, int height, int lights, unsigned seed) {
    const int base_cols = width / tile_size, base_rows = height / tile_size;
    const double grow = std::max(1.0, sqrt(boxes / filled_share / (base_cols * base_rows)));
    const int cols = int(ceil(base_cols * grow)), rows = int(ceil(base_rows * grow));
    const int x0 = (width - cols * tile_size) / 2, y0 = (height - rows * tile_size) / 2;

    std::vector<int> cells(size_t(cols) * size_t(rows));
    for (size_t i = 0; i < cells.size(); i++)
        cells[i] = int(i);
    std::mt19937 rng(seed);
    std::shuffle(cells.begin(), cells.end(), rng);

    tile_map map{tile_size, {}, {}};
    for (size_t i = 0; i < cells.size(); i++) {
        const int x = x0 + cells[i] % cols * tile_size, y = y0 + cells[i] / cols * tile_size;
        if (int(i) < boxes) {
            map.boxes.insert(map.boxes.end(), {x, y, x + tile_size, y, x + tile_size, y + tile_size,
                                               x, y + tile_size});
            continue;
        }
        const int cx = x + tile_size / 2, cy = y + tile_size / 2;
        const bool on_bitmap = cx >= 0 && cy >= 0 && cx < width && cy < height;
        if (on_bitmap && int(map.lights.size()) < lights)
            map.lights.push_back({cx, cy});
    }
    return map;
}

void add_boxes(shrouder_set *set, const tile_map &map) {
    for (size_t i = 0; i < map.boxes.size(); i += 8)
        add_outline_to_set(set, 4, &map.boxes[i]);
}
