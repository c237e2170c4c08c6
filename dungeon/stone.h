/* The dungeon's stone: the floor's slabs and the walls' bricks, drawn once for each level into
 * a bitmap of the world's size, pixel (x, y) showing the world point (x, y). */
#ifndef DUNGEON_STONE_H
#define DUNGEON_STONE_H

struct BITMAP;
struct dungeon;

void draw_stone(BITMAP *stone, const dungeon *level);

#endif
