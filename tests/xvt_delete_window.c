/* xvt-delete-window WINDOW-ID: sends the window the WM_DELETE_WINDOW message
 * that a window manager sends when the user closes it (Xvfb has none). */
#include <X11/Xlib.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    Display *dpy = argc == 2 ? XOpenDisplay(NULL) : NULL;
    Window id = argc == 2 ? strtoul(argv[1], NULL, 0) : 0;
    if (dpy == NULL || id == 0)
        return 1;
    XEvent ev = {.xclient = {.type = ClientMessage, .window = id, .format = 32,
                             .message_type = XInternAtom(dpy, "WM_PROTOCOLS", False)}};
    ev.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    Status sent = XSendEvent(dpy, id, False, NoEventMask, &ev);
    XCloseDisplay(dpy); /* flushes the request; an unknown window is an X error, status 1 */
    return sent ? 0 : 1;
}
