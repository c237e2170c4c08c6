#include "scene_shadows.h"

#include "scene.h"
#include "tenebrant.h"

void cast_scene_shadows(BITMAP *bmp, light l) {
    const int *two_way = two_way_segment, *one_way = one_way_segment;
    add_2_way_shrouder(bmp, l.x, l.y, two_way[0], two_way[1], two_way[2], two_way[3]);
    add_shrouder(bmp, l.x, l.y, one_way[0], one_way[1], one_way[2], one_way[3]);
    add_shrouder(bmp, l.x, l.y, foo2_count, foo2);
    add_shrouder(bmp, l.x, l.y, foo_count, foo);
    add_shrouder(bmp, l.x, l.y, spiral_maze_count, spiral_maze);
}
