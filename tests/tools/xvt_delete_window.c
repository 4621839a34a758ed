/* xvt-delete-window WINDOW-ID: sends the top-level window the
 * WM_DELETE_WINDOW client message that a window manager sends when the
 * user closes a window (there is no window manager under Xvfb).  Exit
 * status 0 when the message was sent, 1 on a bad argument or when the
 * display cannot be opened. */
#include <X11/Xlib.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: xvt-delete-window WINDOW-ID\n");
        return 1;
    }
    char *end = NULL;
    unsigned long id = strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || id == 0) {
        fprintf(stderr, "xvt-delete-window: not a window id: %s\n", argv[1]);
        return 1;
    }
    Display *dpy = XOpenDisplay(NULL);
    if (dpy == NULL) {
        fprintf(stderr, "xvt-delete-window: cannot open display\n");
        return 1;
    }
    XEvent ev = {0};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = (Window)id;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(dpy, (Window)id, False, NoEventMask, &ev);
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return sent != 0 ? 0 : 1;
}
