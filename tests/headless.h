/* Shared by the headless tests: Allegro without a display, and bitmaps compared byte for
 * byte. */
#ifndef TESTS_HEADLESS_H
#define TESTS_HEADLESS_H

#include <allegro.h>
#include <cstring>
#include <gtest/gtest.h>

/* Starts Allegro without a display before the first test of any program that includes this. */
class headless_allegro : public ::testing::Environment {
    void SetUp() override {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        /* Headless, the palette starts all black: 8-bit colours need a real one. */
        select_palette(default_palette);
    }
};
inline ::testing::Environment *const headless_allegro_environment =
    ::testing::AddGlobalTestEnvironment(new headless_allegro);

/* Two bitmaps of one size and colour depth hold the same pixels. */
inline bool same_pixels(BITMAP *a, BITMAP *b) {
    const size_t row = size_t(a->w) * ((bitmap_color_depth(a) + 7) / 8);
    for (int y = 0; y < a->h; y++)
        if (memcmp(a->line[y], b->line[y], row) != 0)
            return false;
    return true;
}

#endif
