/* day_drag_source FILE...: a second program on the display of the day of
 * use. It shows a small window; pressed and moved, it drags the files as a
 * file manager would, by the XDND protocol (version 5, the files offered as
 * text/uri-list, copied). The run moves the pointer with xdotool; nothing
 * here knows the program that takes the drop.
 *
 * Plain Xlib rather than a toolkit: a Qt drag source moved by xdotool on
 * Xvfb cancels its own drag after its first moves, before the pointer has
 * left it; this one goes by the pointer's core events alone.
 *
 * Prints "drag started", then "drag ended copy" once the target has taken
 * the drop, or "drag ended none" (exit 1) when nothing took it. Gives up
 * after --timeout seconds (default 60), so that it never outlives a run that
 * went wrong. */
/* realpath */
#define _DEFAULT_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

enum { kVersion = 5 };

static Display* dpy;
static Window self;
static Atom aAware, aSelection, aEnter, aPosition, aStatus, aLeave, aDrop, aFinished, aCopy, aUriList, aTargets,
    aUtf8, aNetName;

static char* uri_list;
static const char* label = "";  /* the first file's name, shown in the window */

/* file:///path with everything but unreserved characters and "/" escaped. */
static void append_uri(char** out, size_t* len, const char* path) {
    char abs[4096];
    if (!realpath(path, abs)) {
        fprintf(stderr, "day_drag_source: no such file: %s\n", path);
        exit(2);
    }
    size_t need = *len + 7 + 3 * strlen(abs) + 3;
    *out = realloc(*out, need);
    char* p = *out + *len;
    p += sprintf(p, "file://");
    for (const unsigned char* s = (const unsigned char*)abs; *s; ++s) {
        if ((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z') || (*s >= '0' && *s <= '9') || strchr("/-._~", *s))
            *p++ = (char)*s;
        else
            p += sprintf(p, "%%%02X", *s);
    }
    p += sprintf(p, "\r\n");
    *len = (size_t)(p - *out);
}

static void send_message(Window target, Atom type, long l1, long l2, long l3, long l4) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.display = dpy;
    e.xclient.window = target;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)self;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy, target, False, NoEventMask, &e);
    XFlush(dpy);
}

static int is_aware(Window w) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(dpy, w, aAware, 0, 1, False, AnyPropertyType, &type, &format, &n, &after, &data) != Success)
        return 0;
    const int aware = type != None && n > 0;
    if (data) XFree(data);
    return aware;
}

/* The window that takes drops under a point of the screen: from the root
 * down through the window manager's frames to the first window that says
 * it is XDND-aware. */
static Window target_at(int x, int y) {
    Window root = DefaultRootWindow(dpy), w = root, child;
    int wx, wy;
    for (int depth = 0; depth < 16; ++depth) {
        if (w != root && w != self && is_aware(w)) return w;
        if (!XTranslateCoordinates(dpy, root, w, x, y, &wx, &wy, &child) || child == None) return None;
        w = child;
    }
    return None;
}

static void answer_selection(XSelectionRequestEvent* r) {
    XEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = r->display;
    reply.xselection.requestor = r->requestor;
    reply.xselection.selection = r->selection;
    reply.xselection.target = r->target;
    reply.xselection.time = r->time;
    reply.xselection.property = None;
    Atom property = r->property != None ? r->property : r->target;
    if (r->target == aUriList || r->target == XA_STRING || r->target == aUtf8) {
        XChangeProperty(dpy, r->requestor, property, r->target, 8, PropModeReplace, (unsigned char*)uri_list,
                        (int)strlen(uri_list));
        reply.xselection.property = property;
    } else if (r->target == aTargets) {
        Atom targets[] = {aTargets, aUriList, aUtf8, XA_STRING};
        XChangeProperty(dpy, r->requestor, property, XA_ATOM, 32, PropModeReplace, (unsigned char*)targets, 4);
        reply.xselection.property = property;
    }
    XSendEvent(dpy, r->requestor, False, NoEventMask, &reply);
    XFlush(dpy);
}

int main(int argc, char** argv) {
    int timeout = 60;
    size_t len = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) timeout = atoi(argv[++i]);
        else {
            append_uri(&uri_list, &len, argv[i]);
            if (!*label) label = strrchr(argv[i], '/') ? strrchr(argv[i], '/') + 1 : argv[i];
        }
    }
    if (!uri_list) {
        fprintf(stderr, "usage: day_drag_source [--timeout SECONDS] FILE...\n");
        return 2;
    }
    dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "day_drag_source: no display\n");
        return 2;
    }
    const char* names[] = {"XdndAware",      "XdndSelection", "XdndEnter", "XdndPosition", "XdndStatus",
                           "XdndLeave",      "XdndDrop",      "XdndFinished", "XdndActionCopy", "text/uri-list",
                           "TARGETS",        "UTF8_STRING",   "_NET_WM_NAME"};
    Atom atoms[13];
    XInternAtoms(dpy, (char**)names, 13, False, atoms);
    aAware = atoms[0], aSelection = atoms[1], aEnter = atoms[2], aPosition = atoms[3], aStatus = atoms[4];
    aLeave = atoms[5], aDrop = atoms[6], aFinished = atoms[7], aCopy = atoms[8], aUriList = atoms[9];
    aTargets = atoms[10], aUtf8 = atoms[11], aNetName = atoms[12];

    const int screen = DefaultScreen(dpy);
    /* A colour of its own, so that a picture of the screen shows where it is. */
    self = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 1040, 80, 220, 120, 0, BlackPixel(dpy, screen), 0xffec8c);
    const char* title = "Day drag source";
    XStoreName(dpy, self, title);
    XChangeProperty(dpy, self, aNetName, aUtf8, 8, PropModeReplace, (const unsigned char*)title, (int)strlen(title));
    XSelectInput(dpy, self, ButtonPressMask | ButtonReleaseMask | PointerMotionMask | ExposureMask);
    XMapWindow(dpy, self);
    XFlush(dpy);

    int pressed = 0, dragging = 0, status_pending = 0, accepted = 0, dropped = 0, move_pending = 0;
    int press_x = 0, press_y = 0, last_x = 0, last_y = 0;
    Window target = None;
    Time last_time = CurrentTime;
    const time_t deadline = time(NULL) + timeout;
    const int fd = ConnectionNumber(dpy);
    for (;;) {
        while (!XPending(dpy)) {
            if (time(NULL) >= deadline) {
                fprintf(stderr, "day_drag_source: no drag within the time\n");
                return 1;
            }
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(fd, &fds);
            struct timeval tv = {0, 200000};
            select(fd + 1, &fds, NULL, NULL, &tv);
        }
        XEvent e;
        XNextEvent(dpy, &e);
        switch (e.type) {
        case Expose:
            XDrawString(dpy, self, DefaultGC(dpy, screen), 12, 60, label, (int)strlen(label));
            break;
        case ButtonPress:
            if (e.xbutton.button == Button1 && !dragging) {
                pressed = 1;
                press_x = e.xbutton.x_root;
                press_y = e.xbutton.y_root;
            }
            break;
        case MotionNotify:
            last_x = e.xmotion.x_root;
            last_y = e.xmotion.y_root;
            last_time = e.xmotion.time;
            if (pressed && !dragging && abs(last_x - press_x) + abs(last_y - press_y) >= 6) {
                dragging = 1;
                XSetSelectionOwner(dpy, aSelection, self, last_time);
                XGrabPointer(dpy, self, False, PointerMotionMask | ButtonReleaseMask, GrabModeAsync, GrabModeAsync, None,
                             None, last_time);
                printf("drag started\n");
                fflush(stdout);
            }
            if (!dragging) break;
            {
                const Window now = target_at(last_x, last_y);
                if (now != target) {
                    if (target != None) send_message(target, aLeave, 0, 0, 0, 0);
                    target = now;
                    accepted = 0;
                    status_pending = 0;
                    if (target != None) send_message(target, aEnter, (long)kVersion << 24, (long)aUriList, 0, 0);
                }
            }
            if (target == None) break;
            if (status_pending) {
                move_pending = 1;  /* one position at a time, as the protocol asks */
                break;
            }
            send_message(target, aPosition, 0, ((long)last_x << 16) | (last_y & 0xffff), (long)last_time, (long)aCopy);
            status_pending = 1;
            break;
        case ClientMessage:
            if (e.xclient.message_type == aStatus && (Window)e.xclient.data.l[0] == target) {
                accepted = (e.xclient.data.l[1] & 1) != 0;
                status_pending = 0;
                if (move_pending && !dropped) {
                    move_pending = 0;
                    send_message(target, aPosition, 0, ((long)last_x << 16) | (last_y & 0xffff), (long)last_time,
                                 (long)aCopy);
                    status_pending = 1;
                }
            } else if (e.xclient.message_type == aFinished) {
                printf("drag ended copy\n");
                fflush(stdout);
                return 0;
            }
            break;
        case ButtonRelease:
            if (e.xbutton.button != Button1 || !dragging) {
                pressed = 0;
                break;
            }
            XUngrabPointer(dpy, e.xbutton.time);
            if (target != None && accepted) {
                dropped = 1;
                send_message(target, aDrop, 0, (long)e.xbutton.time, 0, 0);
            } else {
                if (target != None) send_message(target, aLeave, 0, 0, 0, 0);
                printf("drag ended none\n");
                fflush(stdout);
                return 1;
            }
            break;
        case SelectionRequest:
            answer_selection(&e.xselectionrequest);
            break;
        default:
            break;
        }
    }
}
