/* A stand-in for a running utility: maps one top-level window whose WM_CLASS is the given
 * class name, says "ready" on standard output, and keeps the window until it is killed.
 *
 *   x11_window CLASS
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: x11_window CLASS\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "x11_window: no display\n");
        return 1;
    }
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
    XClassHint hint;
    hint.res_name = (char*)"utility";
    hint.res_class = argv[1];
    XSetClassHint(display, window, &hint);
    XStoreName(display, window, "A running utility");
    XMapWindow(display, window);
    XSync(display, False);
    printf("ready\n");
    fflush(stdout);
    for (;;) pause();
}
