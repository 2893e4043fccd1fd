/* A pointer for a Wayland compositor that has none (a headless sway): a client of wlroots'
 * virtual-pointer protocol reading one command a line from standard input,
 *     move X Y        (layout coordinates, 0 <= X < WIDTH, 0 <= Y < HEIGHT)
 *     click BUTTON    (left or right: a press and a release)
 * and answering "ok" once the compositor has handled it, so the caller can look right after.
 * usage: wl-pointer WIDTH HEIGHT (the size of the output layout) */
#define _POSIX_C_SOURCE 200809L
#include "wlr-virtual-pointer-client.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

enum { BTN_LEFT = 0x110, BTN_RIGHT = 0x111 }; /* linux/input-event-codes.h */

static struct wl_seat *seat;
static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
    (void)data, (void)version;
    if (strcmp(interface, wl_seat_interface.name) == 0)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data, (void)registry, (void)name;
}

static uint32_t now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

int main(int argc, char **argv)
{
    struct wl_display *display = argc == 3 ? wl_display_connect(NULL) : NULL;
    static const struct wl_registry_listener listener = {global, global_remove};
    if (display) {
        wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
        wl_display_roundtrip(display);
    }
    if (!manager) {
        fprintf(stderr, "usage: wl-pointer WIDTH HEIGHT, on a compositor with virtual pointers\n");
        return 1;
    }
    const uint32_t width = (uint32_t)atoi(argv[1]), height = (uint32_t)atoi(argv[2]);
    struct zwlr_virtual_pointer_v1 *pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    char line[128], name[16];
    unsigned x, y;
    while (fgets(line, sizeof line, stdin)) {
        int ok = 1;
        if (sscanf(line, "move %u %u", &x, &y) == 2 && x < width && y < height) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
        } else if (sscanf(line, "click %15s", name) == 1 &&
                   (!strcmp(name, "left") || !strcmp(name, "right"))) {
            const uint32_t button = strcmp(name, "left") ? BTN_RIGHT : BTN_LEFT;
            zwlr_virtual_pointer_v1_button(pointer, now_ms(), button, 1);
            zwlr_virtual_pointer_v1_frame(pointer);
            wl_display_roundtrip(display); /* the press and the release in separate frames */
            zwlr_virtual_pointer_v1_button(pointer, now_ms(), button, 0);
        } else {
            ok = 0;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        if (wl_display_roundtrip(display) < 0)
            return 1; /* the compositor went away */
        if (ok)
            puts("ok");
        else
            printf("error: %s", line);
        fflush(stdout);
    }
    return 0;
}
