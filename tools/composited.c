/* Says whether a compositing manager runs on the default screen of
 * $DISPLAY, the way GTK asks (the owner of _NET_WM_CM_S<n>): prints yes
 * and exits 0, or prints no and exits 1.
 */
#include <stdio.h>

#include <gdk/gdk.h>

int
main (int argc, char **argv)
{
  if (!gdk_init_check (&argc, &argv))
    {
      fprintf (stderr, "%s: cannot open the display\n", argv[0]);
      return 2;
    }
  gboolean composited = gdk_screen_is_composited (gdk_screen_get_default ());
  puts (composited ? "yes" : "no");
  return composited ? 0 : 1;
}
