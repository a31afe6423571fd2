/* A desktop window, as file managers draw the desktop: a window of the
 * screen's size, of type _NET_WM_WINDOW_TYPE_DESKTOP, which window managers
 * keep below all others, showing the root window's background pixmap
 * (_XROOTPMAP_ID, which scripts/lib.sh's set_desktop sets) and following
 * it when it changes. Many compositors do not paint that pixmap themselves
 * (mutter, KWin, the Wayland ones); over this window, they all show the
 * same desktop. Runs until it is killed, or its X server goes.
 *
 * usage: rgba_desktop_window
 */
#include <stdio.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

static Pixmap
root_pixmap (Display *display, Window root, Atom property)
{
  Atom type;
  int format;
  unsigned long items, left;
  unsigned char *data = NULL;
  Pixmap pixmap = None;
  if (XGetWindowProperty (display, root, property, 0, 1, False, XA_PIXMAP, &type, &format, &items,
                          &left, &data)
          == Success
      && type == XA_PIXMAP && format == 32 && items == 1)
    pixmap = *(Pixmap *) data;
  if (data != NULL)
    XFree (data);
  return pixmap;
}

static void
show (Display *display, Window window, Window root, Atom property)
{
  Pixmap pixmap = root_pixmap (display, root, property);
  if (pixmap != None)
    XSetWindowBackgroundPixmap (display, window, pixmap);
  else
    XSetWindowBackground (display, window, BlackPixel (display, DefaultScreen (display)));
  XClearWindow (display, window);
  XFlush (display);
}

int
main (int argc, char **argv)
{
  (void) argc;
  Display *display = XOpenDisplay (NULL);
  if (display == NULL)
    {
      fprintf (stderr, "%s: cannot open the display\n", argv[0]);
      return 2;
    }
  int screen = DefaultScreen (display);
  Window root = RootWindow (display, screen);
  unsigned width = (unsigned) DisplayWidth (display, screen);
  unsigned height = (unsigned) DisplayHeight (display, screen);
  Atom property = XInternAtom (display, "_XROOTPMAP_ID", False);

  Window window = XCreateSimpleWindow (display, root, 0, 0, width, height, 0, 0,
                                       BlackPixel (display, screen));
  XStoreName (display, window, "desktop");
  XClassHint class_hint = { "desktop", "RgbaDesktop" };
  XSetClassHint (display, window, &class_hint);
  XSizeHints size_hints = { 0 };
  size_hints.flags = USPosition | USSize;
  XSetWMNormalHints (display, window, &size_hints);
  Atom desktop = XInternAtom (display, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  XChangeProperty (display, window, XInternAtom (display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                   32, PropModeReplace, (unsigned char *) &desktop, 1);

  XSelectInput (display, root, PropertyChangeMask);
  show (display, window, root, property);
  XMapWindow (display, window);
  XFlush (display);

  for (;;)
    {
      XEvent event;
      XNextEvent (display, &event);
      if (event.type == PropertyNotify && event.xproperty.atom == property)
        show (display, window, root, property);
    }
}
