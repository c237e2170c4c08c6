/* Preloaded into the demo, counts heap allocations and frames. A frame is one call of the
 * library's `blit`, which the demo makes once a frame to copy the back buffer to the screen.
 * SIGUSR1 marks the end of the warm-up; at exit the counts from that mark to the last frame go
 * to the file named by ALLOC_COUNTER_FILE. Allocations are told apart by where they happen:
 * inside the library's `vsync` (under X a round trip to the server, which Xlib serves from the
 * heap), elsewhere on the frame loop's thread (the demo's own drawing and the module), and on
 * the library's background thread. Operator new and Xlib allocate through malloc, calloc and
 * realloc, so those three see every allocation that matters here. */
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>

struct BITMAP;

extern "C" void *__libc_malloc(size_t size);
extern "C" void *__libc_calloc(size_t count, size_t size);
extern "C" void *__libc_realloc(void *block, size_t size);

namespace {

enum Count { frames, vsyncs, in_vsync, in_frame_loop, in_background, count_kinds };
const char *const count_names[count_kinds] = {"frames", "vsyncs", "in_vsync", "in_frame_loop",
                                              "in_background"};

/* What is written stops at the last frame: the library's shutdown after it is not the loop's. */
using Counts = std::atomic<unsigned long>[count_kinds];
Counts total, at_warm_up, at_last_frame;

pthread_t main_thread;
/* Touched by the frame loop's thread only. */
bool main_thread_in_vsync = false;
const char *output_path;

using BlitFunction = void (*)(BITMAP *, BITMAP *, int, int, int, int, int, int);
using VsyncFunction = void (*)();
BlitFunction library_blit;
VsyncFunction library_vsync;

void copy(const Counts &from, Counts &to) {
    for (int kind = 0; kind < count_kinds; kind++)
        to[kind] = from[kind].load();
}

void count_allocation() {
    if (!pthread_equal(pthread_self(), main_thread))
        total[in_background]++;
    else if (main_thread_in_vsync)
        total[in_vsync]++;
    else
        total[in_frame_loop]++;
}

void mark_warm_up(int) {
    copy(total, at_warm_up);
}

__attribute__((constructor)) void start_counting() {
    main_thread = pthread_self();
    output_path = getenv("ALLOC_COUNTER_FILE");
    library_blit = reinterpret_cast<BlitFunction>(dlsym(RTLD_NEXT, "blit"));
    library_vsync = reinterpret_cast<VsyncFunction>(dlsym(RTLD_NEXT, "vsync"));
    struct sigaction action {};
    action.sa_handler = mark_warm_up;
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
}

__attribute__((destructor)) void write_counts() {
    if (!output_path)
        return;
    char text[256];
    int length = 0;
    for (int kind = 0; kind < count_kinds; kind++)
        length += snprintf(text + length, sizeof text - length, "%s %lu\n", count_names[kind],
                           at_last_frame[kind] - at_warm_up[kind]);
    const int fd = open(output_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    if (write(fd, text, length) != length)
        perror("alloc_counter");
    close(fd);
}

} // namespace

extern "C" void *malloc(size_t size) noexcept {
    count_allocation();
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size) noexcept {
    count_allocation();
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *block, size_t size) noexcept {
    count_allocation();
    return __libc_realloc(block, size);
}

extern "C" void blit(BITMAP *source, BITMAP *dest, int source_x, int source_y, int dest_x,
                     int dest_y, int width, int height) {
    library_blit(source, dest, source_x, source_y, dest_x, dest_y, width, height);
    total[frames]++;
    copy(total, at_last_frame);
}

extern "C" void vsync() {
    main_thread_in_vsync = true;
    library_vsync();
    main_thread_in_vsync = false;
    total[vsyncs]++;
}
