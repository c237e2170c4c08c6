#include "tile_map.h"

#include "shrouder_set.h"

#include <random>

static const int tile_size = 24;

tile_map make_tile_map(int boxes, int width, int height, int lights, unsigned seed) {
    const int cols = width / tile_size, rows = height / tile_size;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> cell(0, cols * rows - 1);
    std::vector<bool> taken(size_t(cols) * size_t(rows), false);
    tile_map map{tile_size, {}, {}};
    for (int i = 0; i < boxes; i++) {
        const int c = cell(rng);
        taken[size_t(c)] = true;
        const int x = c % cols * tile_size, y = c / cols * tile_size;
        map.boxes.insert(map.boxes.end(),
                         {x, y, x + tile_size, y, x + tile_size, y + tile_size, x, y + tile_size});
    }
    while (int(map.lights.size()) < lights) {
        const int c = cell(rng);
        if (!taken[size_t(c)])
            map.lights.push_back(
                {c % cols * tile_size + tile_size / 2, c / cols * tile_size + tile_size / 2});
    }
    return map;
}

void add_boxes(shrouder_set *set, const tile_map &map) {
    for (size_t i = 0; i < map.boxes.size(); i += 8)
        add_outline_to_set(set, 4, &map.boxes[i]);
}
