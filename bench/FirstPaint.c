/* vantrel-first-paint PROGRAM [ARGUMENT...]: starts a program on $DISPLAY and
 * tells, from just before its start, when its first top-level window was
 * mapped and painted, as the X server saw it. The paints are the DAMAGE
 * extension's reports for the root window (every rectangle drawn on the
 * screen), so nothing is asked of the program and nothing is polled:
 *
 *   mapped    the window manager's frame (or the window) was mapped;
 *   first     the first rectangle drawn inside it after that;
 *   painted   the rectangles drawn inside it since the map cover 90 % of it;
 *   settled   the last rectangle drawn inside it before one second without any.
 *
 * Prints one line of milliseconds and ends the program with SIGTERM.
 * Only the few protocol requests needed are spoken directly: the DAMAGE
 * client library is not needed. */

#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xlibint.h>
#include <X11/extensions/damageproto.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int damageOpcode;
static int damageEvent;

typedef struct
{
    int type;
    unsigned long serial;
    Bool send_event;
    Display* display;
    short x, y;
    unsigned short width, height;
} PaintEvent;

static Bool wireToPaint(Display* display, XEvent* event, xEvent* wire)
{
    const xDamageNotifyEvent* notify = (const xDamageNotifyEvent*)wire;
    PaintEvent* paint = (PaintEvent*)event;
    paint->type = notify->type & 0x7F;
    paint->serial = _XSetLastRequestRead(display, (xGenericReply*)wire);
    paint->send_event = (notify->type & 0x80) != 0;
    paint->display = display;
    paint->x = notify->area.x;
    paint->y = notify->area.y;
    paint->width = notify->area.width;
    paint->height = notify->area.height;
    return True;
}

/* The request macros of Xlibint.h name the display dpy. */
static void damageQueryVersion(Display* dpy)
{
    xDamageQueryVersionReq* request;
    xDamageQueryVersionReply reply;
    LockDisplay(dpy);
    GetReq(DamageQueryVersion, request);
    request->reqType = (CARD8)damageOpcode;
    request->damageReqType = X_DamageQueryVersion;
    request->majorVersion = 1;
    request->minorVersion = 1;
    _XReply(dpy, (xReply*)&reply, 0, xTrue);
    UnlockDisplay(dpy);
    SyncHandle();
}

static void damageCreate(Display* dpy, Drawable drawable)
{
    xDamageCreateReq* request;
    LockDisplay(dpy);
    GetReq(DamageCreate, request);
    request->reqType = (CARD8)damageOpcode;
    request->damageReqType = X_DamageCreate;
    request->damage = (CARD32)XAllocID(dpy);
    request->drawable = (CARD32)drawable;
    request->level = 0; /* raw rectangles: every one drawn */
    UnlockDisplay(dpy);
    SyncHandle();
}

static double milliseconds(const struct timespec* from)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)(now.tv_sec - from->tv_sec) * 1e3 + (double)(now.tv_nsec - from->tv_nsec) / 1e6;
}

static long overlap(int x, int y, int w, int h, int rx, int ry, int rw, int rh)
{
    const int left = x > rx ? x : rx, top = y > ry ? y : ry;
    const int right = x + w < rx + rw ? x + w : rx + rw;
    const int bottom = y + h < ry + rh ? y + h : ry + rh;
    return right > left && bottom > top ? (long)(right - left) * (bottom - top) : 0;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: vantrel-first-paint PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    int errorBase = 0;
    if (!display || !XQueryExtension(display, "DAMAGE", &damageOpcode, &damageEvent, &errorBase)) {
        fprintf(stderr, "vantrel-first-paint: no display with the DAMAGE extension\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XESetWireToEvent(display, damageEvent, wireToPaint);
    damageQueryVersion(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    damageCreate(display, root);
    XSync(display, False);

    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }

    Window window = 0;
    int wx = 0, wy = 0, ww = 0, wh = 0;
    double mapped = -1, first = -1, painted = -1, settled = -1;
    long covered = 0;
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !window && !event.xmap.override_redirect) {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(display, event.xmap.window, &attributes)) {
                    window = event.xmap.window;
                    wx = attributes.x;
                    wy = attributes.y;
                    ww = attributes.width;
                    wh = attributes.height;
                    mapped = milliseconds(&start);
                }
            } else if (event.type == ConfigureNotify && event.xconfigure.window == window) {
                wx = event.xconfigure.x;
                wy = event.xconfigure.y;
                ww = event.xconfigure.width;
                wh = event.xconfigure.height;
            } else if (event.type == damageEvent + XDamageNotify && window) {
                const PaintEvent* paint = (const PaintEvent*)&event;
                const long area =
                    overlap(paint->x, paint->y, paint->width, paint->height, wx, wy, ww, wh);
                if (area == 0)
                    continue;
                settled = milliseconds(&start);
                if (first < 0)
                    first = settled;
                covered += area;
                if (painted < 0 && covered * 10 >= (long)ww * wh * 9)
                    painted = settled;
            }
        }
        struct pollfd watched = {fd, POLLIN, 0};
        /* Before the first paint the program may take its time (30 s); after
         * it, one second without a paint ends the measurement. */
        const int wait = painted < 0 ? 30000 : 1000;
        if (poll(&watched, 1, wait) == 0)
            break;
    }
    kill(child, SIGTERM);
    waitpid(child, NULL, 0);
    if (painted < 0) {
        fprintf(stderr, "vantrel-first-paint: no painted window within 30 s\n");
        return 1;
    }
    printf("mapped %.1f first %.1f painted %.1f settled %.1f\n", mapped, first, painted, settled);
    XCloseDisplay(display);
    return 0;
}
